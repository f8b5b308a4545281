#include "print/papernames.h"

#include <QRegularExpression>

QString paperName(const QString &pwg, const QString &localized)
{
    // CUPS's catalog names the common papers; without one for the language it gives the
    // size in figures ("210 x 297 mm", "8.5 x 11 \""), which the PWG name says better.
    static const QRegularExpression figures(QStringLiteral("^[0-9.]+ x [0-9.]+ ?(mm|in|\"|cm)$"));
    if (!localized.isEmpty() && !figures.match(localized).hasMatch())
        return localized;
    static const QRegularExpression form(QStringLiteral("^[a-z]+_([a-z0-9.-]+)_([0-9.]+)x([0-9.]+)(mm|in)$"));
    const QRegularExpressionMatch m = form.match(pwg);
    if (!m.hasMatch())
        return localized.isEmpty() ? pwg : localized;
    const QString name = m.captured(1);
    // Where the name alone would mislead.
    if (pwg.startsWith(QLatin1String("jis_b")))
        return QStringLiteral("JIS ") + name.toUpper();
    if (pwg.startsWith(QLatin1String("na_invoice")))
        return QStringLiteral("Statement");
    static const QRegularExpression iso(QStringLiteral("^(a|b|c|ra|sra)[0-9]+$"));
    if (iso.match(name).hasMatch() || name == QLatin1String("dl"))
        return name.toUpper();
    if (name.startsWith(QLatin1String("number-")))
        return QStringLiteral("Envelope #") + name.mid(7);
    if (!name.contains(QLatin1Char('-')) && !name.at(0).isDigit())
        return name.at(0).toUpper() + name.mid(1);
    return QStringLiteral("%1 x %2 %3").arg(m.captured(2), m.captured(3), m.captured(4));
}

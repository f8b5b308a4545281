#include "settings/sheetoptions.h"

#include "settings/settingsfile.h"

#include <QRegularExpression>

namespace {

// Each kind of value and its text.
void fromText(const QString &text, bool &value)
{
    value = text == QLatin1String("1");
}
QString toText(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

void fromText(const QString &text, int &value)
{
    value = text.toInt();
}
QString toText(int value)
{
    return QString::number(value);
}

void fromText(const QString &text, double &value)
{
    value = text.toDouble();
}
QString toText(double value)
{
    return QString::fromStdString(numberWord(value));
}

void fromText(const QString &text, std::string &value)
{
    value = text.toStdString();
}
QString toText(const std::string &value)
{
    return QString::fromStdString(value);
}

// Both sides: the edge the printer turns the sheet on.
void fromText(const QString &text, Duplex &value)
{
    value = text == QLatin1String("long edge") ? Duplex::Long : text == QLatin1String("short edge") ? Duplex::Short
                                                                                                   : Duplex::None;
}
QString toText(Duplex value)
{
    return value == Duplex::Long ? QStringLiteral("long edge") : value == Duplex::Short ? QStringLiteral("short edge")
                                                                                        : QStringLiteral("off");
}

void fromText(const QString &text, Fit &value)
{
    value = text == QLatin1String("actual size") ? Fit::Actual : text == QLatin1String("shrink only") ? Fit::Shrink
                                                                                                      : Fit::Fit;
}
QString toText(Fit value)
{
    return value == Fit::Actual ? QStringLiteral("actual size") : value == Fit::Shrink ? QStringLiteral("shrink only")
                                                                                       : QStringLiteral("fit");
}

void fromText(const QString &text, Folds &value)
{
    value = text == QLatin1String("quarto") ? Folds::Quarto : text == QLatin1String("octavo") ? Folds::Octavo : Folds::One;
}
QString toText(Folds value)
{
    return value == Folds::Quarto ? QStringLiteral("quarto") : value == Folds::Octavo ? QStringLiteral("octavo")
                                                                                      : QStringLiteral("one fold");
}

// The order of a scan's sides.
void fromText(const QString &text, ScanOrder &value)
{
    value = text == QLatin1String("fronts, then backs")            ? ScanOrder::FrontsFirst
            : text == QLatin1String("fronts, then backs reversed") ? ScanOrder::BacksReversed
                                                                   : ScanOrder::Alternate;
}
QString toText(ScanOrder value)
{
    return value == ScanOrder::FrontsFirst     ? QStringLiteral("fronts, then backs")
           : value == ScanOrder::BacksReversed ? QStringLiteral("fronts, then backs reversed")
                                               : QStringLiteral("front, back");
}

// A poster's size: "3 x 2 sheets", or a paper's name.
void fromText(const QString &text, PosterSize &value)
{
    static const QRegularExpression grid(QStringLiteral("^(\\d+) x (\\d+) sheets$"));
    const QRegularExpressionMatch m = grid.match(text);
    value = PosterSize{};
    if (m.hasMatch() && m.captured(1).toInt() > 0 && m.captured(2).toInt() > 0) {
        value.columns = m.captured(1).toInt();
        value.rows = m.captured(2).toInt();
    } else if (!text.isEmpty()) {
        value.paper = text.toStdString();
    }
}
QString toText(const PosterSize &value)
{
    return value.columns > 0 ? QStringLiteral("%1 x %2 sheets").arg(value.columns).arg(value.rows)
                             : QString::fromStdString(value.paper);
}

struct Row
{
    const char *key;
    void (*read)(SheetChoices &, const QString &);
    QString (*write)(const SheetChoices &);
};

const Row kRows[] = {
#define PLYJOIN_SHEET_OPTION_CODEC(name, member, key, value, control, option, words)                                \
    {key, [](SheetChoices &c, const QString &text) { fromText(text, c.member); },                                   \
     [](const SheetChoices &c) { return toText(c.member); }},
    PLYJOIN_SHEET_OPTIONS(PLYJOIN_SHEET_OPTION_CODEC)
#undef PLYJOIN_SHEET_OPTION_CODEC
};

const Row *rowOf(const char *key)
{
    for (const Row &row : kRows) {
        if (qstrcmp(row.key, key) == 0)
            return &row;
    }
    return nullptr;
}

} // namespace

QList<const char *> sheetOptionKeys()
{
    QList<const char *> keys;
    for (const Row &row : kRows)
        keys << row.key;
    return keys;
}

QString sheetOptionText(const SheetChoices &choices, const char *key)
{
    const Row *row = rowOf(key);
    return row ? row->write(choices) : QString();
}

void setSheetOptionText(SheetChoices &choices, const char *key, const QString &text)
{
    if (const Row *row = rowOf(key))
        row->read(choices, text);
}

SheetChoices readSheetChoices(const SettingsFile &file)
{
    SheetChoices c;
    for (const Row &row : kRows)
        row.read(c, file.read(row.key));
    // A booklet's edge as an earlier version kept it.
    if (c.booklet && !file.contains(SettingKey::BothSides) && file.read(SettingKey::Duplex) == QLatin1String("long edge"))
        c.bothSides = Duplex::Long;
    return c;
}

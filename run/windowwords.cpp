#include "run/windowwords.h"

#include "settings/sheetoptiontable.h"

#include <QList>
#include <QPair>
#include <QRegularExpression>

namespace {

// The switches of the options string and the controls that give them: the main window's and
// the page options', then the sheets window's.
struct SwitchControl
{
    const char *option, *control;
};
const SwitchControl kSwitchControls[] = {
    {"-l", "Left margin"},       {"-r", "Right margin"},  {"-t", "Top margin"}, {"-b", "Bottom margin"},
    {"-gx", "Gutter X"},         {"-gy", "Gutter Y"},     {"-per", "Pages per Sheet"},
    {"-order", "Order"},         {"-rt", "Angle"},        {"-pr", "Page Num."},
    {"-scale", "Scale"},         {"-size", "Page Size"},  {"-addline", "Line Color"},
#define PLYJOIN_SHEET_OPTION_WORDS(name, member, key, value, control, option, words) {option, words},
    PLYJOIN_SHEET_OPTIONS(PLYJOIN_SHEET_OPTION_WORDS)
#undef PLYJOIN_SHEET_OPTION_WORDS
};
} // namespace

QString ruleInWindowWords(const std::string &reason)
{
    // Each switch as a word of its own (not "-b" in "-booklet"), compiled once.
    static const QList<QPair<QRegularExpression, QString>> kWords = [] {
        QList<QPair<QRegularExpression, QString>> words;
        for (const SwitchControl &c : kSwitchControls)
            words.append({QRegularExpression(QStringLiteral("(?<![\\w-])%1(?![\\w-])")
                                                 .arg(QRegularExpression::escape(QLatin1String(c.option)))),
                          QLatin1Char('"') + QLatin1String(c.control) + QLatin1Char('"')});
        return words;
    }();
    QString text = QString::fromStdString(reason);
    for (const auto &[word, control] : kWords)
        text.replace(word, control);
    return text;
}

QString inWindowWords(const QString &reason)
{
    static const QRegularExpression after(QStringLiteral("\\(after (-[a-z]+)\\)"));
    QString text = reason;
    // A way out the tool names by its switch and value, named by the control and its choice.
    static const struct { const char *option, *choice; } kChoices[] = {
        {"-fit shrink", "Fit: shrink only"}, {"-fit actual", "Fit: actual size"}, {"-fit fit", "Fit: fit"}};
    for (const auto &c : kChoices)
        text.replace(QLatin1String(c.option), QLatin1String(c.choice));
    QRegularExpressionMatch m;
    qsizetype from = 0;
    while ((m = after.match(text, from)).hasMatch()) {
        QString control;
        for (const SwitchControl &c : kSwitchControls) {
            if (m.captured(1) == QLatin1String(c.option))
                control = QLatin1String(c.control);
        }
        if (control.isEmpty()) {
            from = m.capturedEnd();
            continue;
        }
        text.replace(m.capturedStart(), m.capturedLength(), QLatin1Char('(') + control + QLatin1Char(')'));
        from = m.capturedStart() + control.size() + 2;
    }
    return text;
}

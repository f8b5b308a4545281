#include "run/optionsstring.h"

#include "settings/settingsfile.h"

#include <QRegularExpression>

namespace {

const QString kOne = QStringLiteral("1");

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
const QString kZero = QStringLiteral("0");

// A colour component clamped to 0..255; a text that is no number passes unchanged.
QString colourComponent(const QString &text)
{
    const int value = text.toInt();
    if (value > 255)
        return QStringLiteral("255");
    if (value < 0)
        return QStringLiteral("0");
    return text;
}

QString scalePercent(const QString &text)
{
    const int value = text.toInt();
    return value >= 1 && value <= 99 ? text : QStringLiteral("100");
}

QString sheetLength(const QString &text, const char *fallback)
{
    return text.toFloat() > 0 ? text : QString::fromLatin1(fallback);
}

// Width and height parts of " -size Custom ". They differ only in the leading blank of
// the "cm" and plain-unit forms, which the width leaves to " -size Custom ".
QString sheetSizePart(const QString &value, const QString &unit, bool leadingBlank)
{
    const QString blank = leadingBlank ? QStringLiteral(" ") : QString();
    if (unit == QLatin1String("cm"))
        return blank + QString::number(qint64(value.toInt()) * 10) + QStringLiteral(" mm");
    if (unit == QLatin1String("point"))
        return QStringLiteral(" ") + value + QStringLiteral(" pt");
    if (unit == QLatin1String("inch"))
        return QStringLiteral(" ") + value + QStringLiteral(" in");
    return blank + value + QStringLiteral(" ") + unit;
}

QString rotationValue(QString text)
{
    return text.remove(QStringLiteral("degrees")).remove(QStringLiteral("degree"));
}

QString gridCount(const QString &text)
{
    const int value = text.toInt();
    return QString::number(value > 0 ? value : 1);
}

} // namespace

PageOptions PageOptions::fromSettings(const SettingsFile &file)
{
    namespace K = SettingKey;
    PageOptions p;
    p.addLine = file.read(K::AddLine);
    p.red = file.read(K::ColorR);
    p.green = file.read(K::ColorG);
    p.blue = file.read(K::ColorB);
    p.remainOriginalSize = file.read(K::RemainOriginalSize);
    p.scaling = file.read(K::Scaling);
    p.scalingPercent = file.read(K::ScalingPercent);
    p.fitToPageSize = file.read(K::FitToPageSize);
    p.pageSize = file.read(K::PageSize);
    p.width = file.read(K::PageWidth);
    p.widthUnit = file.read(K::PageWidthUnit);
    p.height = file.read(K::PageHeight);
    p.heightUnit = file.read(K::PageHeightUnit);
    p.allPages = file.read(K::AllPages);
    p.oddPages = file.read(K::OddPages);
    p.evenPages = file.read(K::EvenPages);
    p.pageList = file.read(K::PageList);
    p.pageListText = file.read(K::PageListText);
    p.rotate = file.read(K::Rotate);
    return p;
}

PageOptions PageOptions::defaults()
{
    namespace K = SettingKey;
    PageOptions p;
    p.addLine = settingDefault(K::AddLine);
    p.red = p.green = p.blue = settingDefault(K::ColorR);
    p.remainOriginalSize = settingDefault(K::RemainOriginalSize);
    p.scaling = settingDefault(K::Scaling);
    p.scalingPercent = settingDefault(K::ScalingPercent);
    p.fitToPageSize = settingDefault(K::FitToPageSize);
    p.pageSize = settingDefault(K::PageSize);
    p.width = settingDefault(K::PageWidth);
    p.widthUnit = settingDefault(K::PageWidthUnit);
    p.height = settingDefault(K::PageHeight);
    p.heightUnit = settingDefault(K::PageHeightUnit);
    p.allPages = settingDefault(K::AllPages);
    p.oddPages = settingDefault(K::OddPages);
    p.evenPages = settingDefault(K::EvenPages);
    p.pageList = settingDefault(K::PageList);
    p.pageListText = settingDefault(K::PageListText);
    p.rotate = settingDefault(K::Rotate);
    return p;
}

ScalingMode scalingMode(const PageOptions &page)
{
    if (page.remainOriginalSize == kOne)
        return ScalingMode::OriginalSize;
    if (page.remainOriginalSize != kZero)
        return ScalingMode::None;
    if (page.scaling == kOne)
        return ScalingMode::Scale;
    if (page.scaling == kZero && page.fitToPageSize == kOne)
        return ScalingMode::FitToPageSize;
    return ScalingMode::None;
}

PageRange pageRange(const PageOptions &page)
{
    const QString *values[] = {&page.allPages, &page.oddPages, &page.evenPages, &page.pageList};
    const PageRange ranges[] = {PageRange::All, PageRange::Odd, PageRange::Even, PageRange::List};
    for (int i = 0; i < 4; ++i) {
        if (*values[i] == kOne)
            return ranges[i];
        if (*values[i] != kZero)
            return PageRange::None;
    }
    return PageRange::None;
}

QString buildOptionsString(const PageOptions &page, const LayoutValues &layout)
{
    QString s;

    if (page.addLine == kOne) {
        s += QStringLiteral(" -addline ") + colourComponent(page.red) + QLatin1Char(' ')
             + colourComponent(page.green) + QLatin1Char(' ') + colourComponent(page.blue);
    }

    switch (scalingMode(page)) {
    case ScalingMode::Scale:
        s += QStringLiteral(" -scale ") + scalePercent(page.scalingPercent);
        break;
    case ScalingMode::FitToPageSize:
        s += QStringLiteral(" -size Custom ") + sheetSizePart(sheetLength(page.width, "210"), page.widthUnit, false)
             + sheetSizePart(sheetLength(page.height, "297"), page.heightUnit, true);
        break;
    case ScalingMode::OriginalSize:
    case ScalingMode::None:
        break;
    }

    QString pageText = page.pageListText;
    if (pageText == kZero || pageText.isEmpty())
        pageText = QStringLiteral("1-2");
    switch (pageRange(page)) {
    case PageRange::Odd: s += QStringLiteral(" -odd "); break;
    case PageRange::Even: s += QStringLiteral(" -even "); break;
    case PageRange::List: s += QStringLiteral(" -pr ") + pageText; break;
    case PageRange::All:
    case PageRange::None: break;
    }

    s += QStringLiteral(" -rt ") + rotationValue(page.rotate);

    s += QStringLiteral(" -order ");
    switch (layout.order) {
    case FillOrder::Horizontal: s += QStringLiteral("H "); break;
    case FillOrder::HorizontalReversed: s += QStringLiteral("HR "); break;
    case FillOrder::Vertical: s += QStringLiteral("V "); break;
    case FillOrder::VerticalReversed: s += QStringLiteral("VR "); break;
    case FillOrder::None: break;
    }

    static const char *const kLengthOptions[6] = {" -l ", " -r ", " -t ", " -b ", " -gx ", " -gy "};
    for (int i = 0; i < 6; ++i) {
        const Length &len = layout.lengths[i];
        if (len.text.isEmpty() || len.text == kZero)
            continue;
        s += QLatin1String(kLengthOptions[i]);
        if (len.unit == QLatin1String("cm"))
            s += QString::number(qint64(len.text.toInt()) * 10) + QStringLiteral(" mm");
        else
            s += len.text + QLatin1Char(' ') + len.unit;
    }

    s += QStringLiteral(" -per ") + gridCount(layout.columns) + QLatin1Char('*') + gridCount(layout.rows);
    return s;
}

const QList<SheetOptions::Field> &SheetOptions::fields()
{
    static const QList<Field> kFields = {
#define PLYJOIN_SHEET_OPTION_FIELD(name, member, key, value, control, option, words) {key, &SheetOptions::member},
        PLYJOIN_SHEET_OPTIONS(PLYJOIN_SHEET_OPTION_FIELD)
#undef PLYJOIN_SHEET_OPTION_FIELD
    };
    return kFields;
}

QString SheetOptions::textOf(const char *key) const
{
    for (const Field &f : fields()) {
        if (qstrcmp(f.key, key) == 0)
            return this->*f.text;
    }
    return QString();
}

void SheetOptions::setTextOf(const char *key, const QString &text)
{
    for (const Field &f : fields()) {
        if (qstrcmp(f.key, key) == 0)
            this->*f.text = text;
    }
}

SheetOptions SheetOptions::fromSettings(const SettingsFile &file)
{
    SheetOptions o;
    for (const Field &f : fields())
        o.*f.text = file.read(f.key);
    // A booklet's edge as an earlier version kept it.
    if (o.bookletOn() && !file.contains(SettingKey::BothSides)
        && file.read(SettingKey::Duplex) == QLatin1String("long edge"))
        o.bothSides = QStringLiteral("long edge");
    return o;
}

QStringList SheetOptions::summary() const
{
    QStringList on;
    if (bookletOn())
        on << (fold == QLatin1String("quarto") || fold == QLatin1String("octavo") ? QStringLiteral("booklet (%1)").arg(fold)
                                                                                    : QStringLiteral("booklet"));
    // A booklet is two-sided: its edge is said only where it is not the usual one.
    if (!bothSides.isEmpty() && bothSides != QLatin1String("off")
        && !(bookletOn() && bothSides == QLatin1String("short edge")))
        on << QStringLiteral("both sides (%1)").arg(bothSides);
    if (!bookletOn() && stack == kOne)
        on << QStringLiteral("cut and stack");
    if (!bookletOn() && repeat == kOne)
        on << QStringLiteral("step and repeat");
    if (bleed == kOne)
        on << QStringLiteral("bleed");
    if (cropMarks == kOne)
        on << QStringLiteral("crop marks");
    if (frame == kOne)
        on << QStringLiteral("frame");
    if (slug == kOne)
        on << QStringLiteral("slug line");
    if (fit == QLatin1String("actual size") || fit == QLatin1String("shrink only"))
        on << fit;
    if (autoRotate == kOne)
        on << QStringLiteral("pages turned to fit");
    return on;
}

Chosen SheetOptions::chosen() const
{
    Chosen c;
    c.booklet = bookletOn();
    c.fold = c.booklet && (fold == QLatin1String("quarto") || fold == QLatin1String("octavo"));
    c.stack = stack == kOne;
    c.repeat = repeat == kOne;
    c.bleed = bleed == kOne;
    c.sheetSize = true;
    c.duplex = bothSides == QLatin1String("short edge") || bothSides == QLatin1String("long edge");
    return c;
}

Duplex SheetOptions::edge() const
{
    const Duplex chosen = bothSides == QLatin1String("long edge")    ? Duplex::Long
                          : bothSides == QLatin1String("short edge") ? Duplex::Short
                                                                     : Duplex::None;
    return bookletOn() ? bookletEdge(chosen) : chosen;
}

bool SheetOptions::stackMade() const
{
    Chosen c = chosen();
    c.stack = c.repeat = false;
    return stack == kOne && whyNot(c, Switch::Stack).empty();
}

bool SheetOptions::repeatMade() const
{
    Chosen c = chosen();
    c.stack = stackMade();
    c.repeat = false;
    return repeat == kOne && whyNot(c, Switch::Repeat).empty();
}

QList<ImpliedValue> impliedValues(const SheetOptions &o)
{
    namespace K = SettingKey;
    QList<ImpliedValue> implied;
    Chosen made = o.chosen();
    made.stack = o.stackMade();
    made.repeat = o.repeatMade();
    if (defaultFit(made) == Fit::Actual)
        implied.append({K::Fit, QStringLiteral("fit"), QStringLiteral("actual size")});
    if (o.bookletOn())
        implied.append({K::BothSides, QStringLiteral("off"),
                        bookletEdge(Duplex::None) == Duplex::Long ? QStringLiteral("long edge")
                                                                   : QStringLiteral("short edge")});
    return implied;
}

QString foldingInstruction(const SheetOptions &o, bool brief)
{
    if (!o.bookletOn())
        return QString();
    if (brief) {
        const QString down = o.rightToLeft == kOne ? QStringLiteral("down, right half back")
                                                   : QStringLiteral("down, left half back");
        const QString across = QStringLiteral("across, top half back");
        if (o.fold == QLatin1String("quarto"))
            return QStringLiteral("Fold 1. %1, 2. %2 (spine)").arg(across, down);
        if (o.fold == QLatin1String("octavo"))
            return QStringLiteral("Fold 1. %1, 2. %2, 3. %1 (spine)").arg(down, across);
        return QStringLiteral("Fold %1 (spine)").arg(down);
    }
    const QString half = o.rightToLeft == kOne ? QStringLiteral("the right half") : QStringLiteral("the left half");
    const QString down = QStringLiteral("down the middle, %1 back").arg(half);
    const QString across = QStringLiteral("across the middle, the top half back behind the bottom one (the heads meet)");
    QString folds;
    if (o.fold == QLatin1String("quarto"))
        folds = QStringLiteral("first %1, then %2: that fold is the spine").arg(across, down);
    else if (o.fold == QLatin1String("octavo"))
        folds = QStringLiteral("first %1, then %2, then %1 again: that fold is the spine").arg(down, across);
    else
        folds = QStringLiteral("%1: the fold is the spine").arg(down);
    const bool together = o.signature.toInt() != 1;
    return QStringLiteral("Fold %1 with the front of the first sheet towards you: %2.")
        .arg(together ? QStringLiteral("the sheets of each signature together, in order,") : QStringLiteral("each sheet alone"),
             folds);
}

QString sheetOptionsWords(const SheetOptions &o)
{
    QString s;
    const bool booklet = o.bookletOn();
    if (booklet) {
        s += QStringLiteral(" -booklet");
        if (o.signature.toInt() > 0)
            s += QStringLiteral(" -signature ") + o.signature;
        if (o.creep.toFloat() > 0)
            s += QStringLiteral(" -creep ") + o.creep + QLatin1Char(' ') + o.creepUnit;
        if (o.rightToLeft == kOne)
            s += QStringLiteral(" -rtl");
        if (o.fold == QLatin1String("quarto"))
            s += QStringLiteral(" -fold 8");
        else if (o.fold == QLatin1String("octavo"))
            s += QStringLiteral(" -fold 16");
        if (o.spineMarks == kOne)
            s += QStringLiteral(" -spinemarks");
        if (o.sewing.toInt() > 0)
            s += QStringLiteral(" -sewing ") + QString::number(o.sewing.toInt());
        if (o.foldMarks == kOne)
            s += QStringLiteral(" -foldmarks");
    }
    // The edge, said unless it is the one a booklet is printed for anyway.
    const Duplex edge = o.edge();
    if (edge != Duplex::None && !(booklet && edge == bookletEdge(Duplex::None)))
        s += edge == Duplex::Long ? QStringLiteral(" -duplex long") : QStringLiteral(" -duplex short");
    if (o.twoSided() && (o.backShiftX.toFloat() != 0 || o.backShiftY.toFloat() != 0))
        s += QStringLiteral(" -backshift ") + o.backShiftX + QLatin1Char(' ') + o.backShiftY + QLatin1Char(' ')
             + o.backShiftUnit;
    const bool stack = o.stackMade(), repeat = o.repeatMade();
    if (stack)
        s += QStringLiteral(" -stack");
    if (repeat)
        s += QStringLiteral(" -repeat");
    const bool bleed = o.bleed == kOne;
    if (bleed)
        s += QStringLiteral(" -bleed ") + o.bleedLength + QLatin1Char(' ') + o.bleedUnit;
    if (o.cropMarks == kOne)
        s += QStringLiteral(" -cropmarks ") + o.cropMarksLength + QLatin1Char(' ') + o.cropMarksUnit;
    if (o.frame == kOne)
        s += QStringLiteral(" -frame ") + o.frameWidth;
    if (o.slug == kOne)
        s += QStringLiteral(" -slug");
    // The fit shown is the fit made: said where the tool would choose another (step and
    // repeat with a bleed keeps the cards' size).
    Chosen made = o.chosen();
    made.stack = stack;
    made.repeat = repeat;
    if (o.fit == QLatin1String("actual size"))
        s += QStringLiteral(" -fit actual");
    else if (o.fit == QLatin1String("shrink only"))
        s += QStringLiteral(" -fit shrink");
    else if (defaultFit(made) != Fit::Fit)
        s += QStringLiteral(" -fit fit");
    if (o.autoRotate == kOne)
        s += QStringLiteral(" -autorotate");
    return s;
}

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

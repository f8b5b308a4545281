#include "run/optionsstring.h"

#include "settings/settingsfile.h"

#include <QRegularExpression>

namespace {

const QString kOne = QStringLiteral("1");

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

QString sheetOptionsWords(const SheetChoices &choices)
{
    QString s;
    for (const std::string &word : toArguments(choices))
        s += QLatin1Char(' ') + QString::fromStdString(word);
    return s;
}

// The tiling tool's options string, built from the page options (settings file) and the
// layout (main window controls), and the sheet options' words after it. Pure: tests call
// buildOptionsString directly.
#pragma once

#include "sheetchoices.h"

#include <QList>
#include <QStringList>
#include <QString>

class SettingsFile;

// Fill order of the grid; None when no order button is checked.
enum class FillOrder { None, Horizontal, HorizontalReversed, Vertical, VerticalReversed };

// A length as the user typed it, with its unit box's text.
struct Length
{
    QString text;
    QString unit;
};

// The layout controls of the main window, as text.
struct LayoutValues
{
    FillOrder order = FillOrder::Horizontal;
    // left, right, top, bottom, column gutter, row gutter
    Length lengths[6];
    QString columns;
    QString rows;

    enum Index { Left, Right, Top, Bottom, GutterX, GutterY };
};

// The page options as stored in the settings file (texts, not yet interpreted).
struct PageOptions
{
    QString addLine, red, green, blue;
    QString remainOriginalSize, scaling, scalingPercent, fitToPageSize;
    QString pageSize, width, widthUnit, height, heightUnit;
    QString allPages, oddPages, evenPages, pageList, pageListText;
    QString rotate;

    static PageOptions fromSettings(const SettingsFile &file);
    static PageOptions defaults();
};

// The choices the stored radio texts make. Each is a cascade: a value is tested only when
// every earlier one is exactly "0", and a combination that reaches no "1" chooses nothing.
enum class ScalingMode { None, OriginalSize, Scale, FitToPageSize };
enum class PageRange { None, All, Odd, Even, List };
ScalingMode scalingMode(const PageOptions &page);
PageRange pageRange(const PageOptions &page);

QString buildOptionsString(const PageOptions &page, const LayoutValues &layout);

// The words the sheet options (typed, as the sheets window keeps them) add after the options
// string, each after a blank: " -booklet -signature 3 -cropmarks 5 mm" ...; empty when all
// are off. What the choices imply takes effect here, derived from them.
QString sheetOptionsWords(const SheetChoices &choices);

#include <QMetaType>
Q_DECLARE_METATYPE(LayoutValues)

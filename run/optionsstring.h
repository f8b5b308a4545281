// The tiling tool's options string, built from the page options (settings file) and the
// layout (main window controls). Pure: tests call buildOptionsString directly.
#pragma once

#include "optionrules.h"
#include "settings/sheetoptiontable.h"

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

// The sheet options of the sheets window, as stored in the settings file (texts): one member
// for each row of the sheet options' table.
struct SheetOptions
{
#define PLYJOIN_SHEET_OPTION_MEMBER(name, member, key, value, control, option, words) QString member;
    PLYJOIN_SHEET_OPTIONS(PLYJOIN_SHEET_OPTION_MEMBER)
#undef PLYJOIN_SHEET_OPTION_MEMBER

    // Every option with its key: the one list that reading and writing them go through.
    struct Field
    {
        const char *key;
        QString SheetOptions::*text;
    };
    static const QList<Field> &fields();
    // The text stored under `key` (empty for a key that is no sheet option), and setting it.
    QString textOf(const char *key) const;
    void setTextOf(const char *key, const QString &text);

    static SheetOptions fromSettings(const SettingsFile &file);
    bool bookletOn() const { return booklet == QLatin1String("1"); }
    // Printed on both sides: fronts and backs.
    bool twoSided() const { return hasBacks(chosen()); }
    // What is on, in words for a person: "booklet, crop marks"; empty when nothing is.
    QStringList summary() const;
    // What the tool's rules see chosen: everything ticked, on a sheet of a size (the window's
    // fit is that of a sheet).
    Chosen chosen() const;
    // The edge chosen in Both sides; the one a booklet is printed for, where it is one.
    Duplex edge() const;
    // What of cut and stack and step and repeat is made: in a booklet neither, and where both
    // are ticked (which the window does not let happen) cut and stack, as the rules allow.
    bool stackMade() const;
    bool repeatMade() const;
};

// A value that one sheet option takes by itself because of others: Fit becomes "actual size"
// for step and repeat with a bleed (cards keep their trim size), Both sides shows the
// booklet's edge ("short edge") for a booklet, which is always two-sided. Each is taken only
// from its neutral value (`from`), and given back when the reason goes.
struct ImpliedValue
{
    const char *key;
    QString from;
    QString value;
};
// The values the options imply now.
QList<ImpliedValue> impliedValues(const SheetOptions &options);

// How a person folds the sheets of a booklet, in words: with the front towards them, which
// fold first and which half goes back; empty without a booklet. `brief`: the folds alone,
// in a line or two.
QString foldingInstruction(const SheetOptions &options, bool brief = false);

// The words the sheet options add after the options string, each only when its control
// asks for something: " -booklet", " -signature N", " -creep X UNIT", " -rtl" (these with the
// booklet on), " -duplex long" (or short, for N-up), " -backshift X Y UNIT" (on both sides),
// " -stack" or " -repeat" (not in a booklet), " -bleed X UNIT", " -cropmarks X UNIT",
// " -frame W", " -slug", " -fit actual" or " -fit shrink" (and " -fit fit" where the tool
// would choose otherwise), " -autorotate". Empty when all are off.
QString sheetOptionsWords(const SheetOptions &sheet);

// A reason of the tool in the window's words: the switch it names ("(after -l)") becomes
// the control that gives it ("(Left margin)"); the rest stays as the tool said it.
QString inWindowWords(const QString &reason);
// A rule's reason in the window's words: every switch it names becomes its control.
QString ruleInWindowWords(const std::string &reason);

#include <QMetaType>
Q_DECLARE_METATYPE(LayoutValues)

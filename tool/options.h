// The tool's command line: pdfplyjoin [options] INPUT OUTPUT, read into the options of a
// run, grouped by what changes together. Lengths are in points.
#pragma once

#include "errors.h"
#include "optionrules.h"
#include "pagerange.h"

#include <string>
#include <vector>

enum class Order { H, HR, V, VR };

// The cells of a sheet and the order pages fill them.
struct Grid
{
    int columns = 2;
    int rows = 2;
    Order order = Order::H;
};

// The sheet's margins and the gutters between its cells.
struct Margins
{
    double left = 0, right = 0, top = 0, bottom = 0, gutterX = 0, gutterY = 0;
};

// Which pages are placed, and turned how.
struct PageChoice
{
    Selection selection = Selection::All;
    PageList list;     // with Selection::List
    int rotation = 0;  // clockwise degrees: 0, 90, 180 or 270
    // Pages cut apart, and a poster's tiles, on which nothing is drawn are left out (and
    // named in a warning).
    bool dropBlank = false;
};

// How a page is sized in its cell: scaled to fill it, at its own size (at the scale given),
// or scaled down only where it is larger than its cell.

// How large the sheet and the pages on it are: a scale of the pages (the original size at
// 100), or a sheet of a given size whose cells the pages are fitted into.
struct Sizing
{
    double scalePercent = 100;
    bool customSize = false;
    double sheetWidth = 0, sheetHeight = 0;  // with customSize
    // Unless given: with a sheet size, fit (actual for step and repeat with a bleed: cards at
    // their trim size); without one, actual (the cells are as large as the largest page).
    Fit fit = Fit::Actual;
    // A page whose orientation differs from its cell's is turned by 90 degrees where that
    // lets it be larger (clockwise, anticlockwise on backs).
    bool autoRotate = false;
};

// A booklet: the pages in the order that folds into sections; a sheet folded once (a folio,
// two pages a side), twice (a quarto, 2x2 a side) or three times (an octavo, 4x2 a side).
struct BookletOptions
{
    bool on = false;
    int fold = 4;             // pages a sheet holds, both sides: 4, 8 or 16
    int signatureSheets = 0;  // sheets per signature; 0: the whole booklet is one
    double creep = 0;         // on the innermost sheet
    bool rightToLeft = false;
};

// Both sides: odd sides are fronts, even sides backs laid out behind them; a booklet's backs
// are turned for a printer that turns the sheet on its long edge.
struct TwoSided
{
    Duplex duplex = Duplex::None;
    double backShiftX = 0, backShiftY = 0;  // every back side moved by this much
};

// What is drawn besides the pages.
struct Marks
{
    bool lines = false;  // separator lines, and the frame's colour
    int lineRed = 0, lineGreen = 0, lineBlue = 0;
    double cropMarks = 0;   // length of the trim marks; 0: none
    double frameWidth = 0;  // 0: no frame
    bool slug = false;      // a line of text in the bottom margin: file, sheet, side, date
    // A binder's marks, in booklets: a collation mark on each signature's spine, stepped
    // down from one signature to the next; sewing stations on the middle spread's fold, the
    // outer two (kettle stitches) `kettle` from the head and the foot; short dashed lines at
    // the ends of every fold, in the margin.
    bool spineMarks = false;
    int sewingStations = 0;
    double kettle = 72 * 10 / 25.4;
    bool foldMarks = false;
};

// The print room's arrangements of the pages.
struct PrintRoom
{
    bool stack = false;   // cut and stack: the piles of each cell read in order
    bool repeat = false;  // step and repeat: each page fills every cell of its own sheet
    // Placement by the trim box, with the artwork running this far beyond it.
    bool trim = false;
    double bleed = 0;
};

// Cutting imposed sheets back into their pages: each side of INPUT is a sheet whose cells
// (the grid's, or a booklet's) become the pages of OUTPUT, in reading order. The other
// options say how the sheets were imposed: -cut undoes them.
struct CutApart
{
    bool on = false;
    ScanOrder scan = ScanOrder::Alternate;
};

// A poster: each selected page enlarged across a grid of sheets, which overlap by `overlap`
// to be glued.
struct Poster
{
    bool on = false;
    int columns = 0, rows = 0;      // the grid of sheets; 0 where the poster's size is given
    double width = 0, height = 0;   // the enlarged page's size, in points; 0 with a grid
    double overlap = 72 * 10 / 25.4;
    bool overview = false;          // a first sheet with the whole page, the tiles drawn on it
};

// The margins of a poster's sheets where none is given: room for its marks and names, and
// for most printers' border.
constexpr double kPosterMargin = 72 * 10 / 25.4;

// What is read and what is written.
struct Files
{
    std::string input;
    std::string output;
    // Only these sheets (output pages, from 1) are made, as a proof of them.
    bool proof = false;
    PageList proofSheets;
};

struct Options
{
    Grid grid;
    Margins margins;
    PageChoice pages;
    Sizing sizing;
    BookletOptions booklet;
    TwoSided twoSided;
    Marks marks;
    PrintRoom room;
    CutApart cut;
    Poster poster;
    Files files;
};

// Calibrate writes a test sheet for measuring how the printer registers the back on the
// front; it has OUTPUT only.
enum class Action { Run, Help, Version, Calibrate };

struct CommandLine
{
    Action action = Action::Run;
    Options options;
    // Options given that have no effect with the others, in words for the user.
    std::vector<std::string> warnings;
    // What the rules saw chosen: the one place it is decided.
    Chosen chosen;
};

CommandLine parseCommandLine(const std::vector<std::string> &args);

// Points in one unit ("mm", "cm", "inch", "in", "point", "pt"); 0 for an unknown unit.
double pointsPerUnit(const std::string &unit);

const char *usageText();

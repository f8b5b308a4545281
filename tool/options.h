// The tool's command line: pdfplyjoin [options] INPUT OUTPUT.
#pragma once

#include "pagerange.h"

#include <stdexcept>
#include <string>
#include <vector>

enum class Order { H, HR, V, VR };
// Printing on both sides: the edge the printer turns the sheet about.
enum class Duplex { None, Short, Long };

struct Options
{
    int columns = 2;
    int rows = 2;
    Order order = Order::H;
    int rotation = 0;  // clockwise degrees: 0, 90, 180 or 270
    // In points.
    double left = 0, right = 0, top = 0, bottom = 0, gutterX = 0, gutterY = 0;
    Selection selection = Selection::All;
    PageList pageList;  // with Selection::List
    double scalePercent = 100;  // original size when 100 and no sheet size
    bool customSize = false;
    double sheetWidth = 0, sheetHeight = 0;  // points, with customSize
    bool lines = false;
    int lineRed = 0, lineGreen = 0, lineBlue = 0;
    // Booklets: two pages a side in the order that folds into a booklet.
    bool booklet = false;
    int signatureSheets = 0;  // sheets per signature; 0: the whole booklet is one
    double creep = 0;         // points, on the innermost sheet
    bool rightToLeft = false;
    // Marks: trim marks of this length (0: none) and a frame of this width (0: none).
    double cropMarks = 0;
    double frameWidth = 0;
    // Both sides: odd sheets are fronts, even sheets backs laid out behind them; a booklet's
    // backs are turned for a printer that turns the sheet on its long edge.
    Duplex duplex = Duplex::None;
    double backShiftX = 0, backShiftY = 0;  // points, every back side moved by this much
    bool stack = false;   // cut and stack: the piles of each cell read in order
    bool repeat = false;  // step and repeat: each page fills every cell of its own sheet
    // Placement by the trim box, with the artwork running this far beyond it (points).
    bool trim = false;
    double bleed = 0;
    bool slug = false;  // a line of text in the bottom margin: file, sheet, side, date
    // Only these sheets (output pages, from 1) are made, as a preview of them.
    bool someSheets = false;
    PageList sheetList;
    std::string input;
    std::string output;
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
};

// A command line that cannot be understood; the message names the offending word.
struct UsageError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

CommandLine parseCommandLine(const std::vector<std::string> &args);

// Points in one unit ("mm", "cm", "inch", "in", "point", "pt"); 0 for an unknown unit.
double pointsPerUnit(const std::string &unit);

const char *usageText();

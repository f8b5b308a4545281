// The rules between the tool's options, decided here once: what may be chosen together, the
// fit a sheet takes when none is named, the edge a booklet is printed for. The tool reads its
// command line by them; the window, which links this alone, greys out what they refuse (with
// their reason) and writes its options string by them.
#pragma once

#include <string>

// Printing on both sides: the edge the printer turns the sheet about.
enum class Duplex { None, Short, Long };
// How a page is scaled into its cell.
enum class Fit { Fit, Actual, Shrink };
// The sides of a scan in the order a scanner gives them: front, back, front, back (a
// two-sided scan); all fronts, then all backs in the same order; or all fronts, then the backs
// last to first (a one-sided feeder, the stack turned over between the two passes).
enum class ScanOrder { Alternate, FrontsFirst, BacksReversed };

// What is chosen, as far as the rules look.
struct Chosen
{
    bool booklet = false;    // -booklet
    bool fold = false;       // -fold (a booklet too)
    bool grid = false;       // -per
    bool stack = false;      // -stack
    bool repeat = false;     // -repeat
    bool bleed = false;      // -bleed
    bool sheetSize = false;  // -size
    bool scale = false;      // -scale
    bool duplex = false;     // -duplex
    bool cut = false;        // -cut
    bool poster = false;     // -poster
};

// The options the rules speak of: refused beside others, or of no effect without them (the
// booklet's own options, the binder's marks, the back shift).
// With -cut and -poster: the scan's order, leaving out blank pages, a poster's own options,
// and the marks drawn beside the pages.
// Sizing: the scale, the sheet's size, the fit and a bleed, which -cut and -poster decide
// themselves; BothSides: -duplex, which a poster has none of.
enum class Switch { Stack, Repeat, Fold, Scale, Size, BookletOnly, BinderMarks, BackShift, Cut, Poster, Scan,
                    DropBlank, PosterOnly, Marks, Sizing, BothSides };

// Why the options chosen cannot go together, in the tool's words; empty when they can.
std::string refusal(const Chosen &chosen);
// Why `option` cannot be chosen (or has no effect) beside the others; empty when it can.
std::string whyNot(const Chosen &chosen, Switch option);
// The fit where none is named: with a sheet size the pages fill their cells, except step and
// repeat with a bleed, whose cards keep their trim size; without one, each at its own size.
Fit defaultFit(const Chosen &chosen);
// Whether the sheets have backs: printed on both sides, as every booklet is.
bool hasBacks(const Chosen &chosen);
// The edge a booklet is printed for: the short one unless the long one is asked.
Duplex bookletEdge(Duplex asked);

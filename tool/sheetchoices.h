// The options the sheets window adds to a run, typed: what the person chose there (a booklet,
// marks, both sides, the print room's arrangements), each length with the unit it was given
// in. The window reads them into one value and everything follows from it: the tool's words
// (toArguments, which the tool's own parser reads back: tested option by option), what the
// rules see chosen (chosenOf, decided by that same parser), the values they imply.
//
// A value implied by others (a booklet is printed on both sides; step and repeat with a bleed
// keeps the cards' own size) is never a choice: inEffect() derives it from its reason each
// time, so that it goes when its reason goes, however long ago it was shown.
#pragma once

#include "optionrules.h"

#include <string>
#include <vector>

// How often a sheet of a booklet is folded: the pages it holds, both sides.
enum class Folds { One = 4, Quarto = 8, Octavo = 16 };

// How large a poster is: a grid of sheets, or a paper's size by its name ("A2").
struct PosterSize
{
    int columns = 0, rows = 0;  // a grid, where above 0
    std::string paper = "A2";
    // The tool's word: "3*2", "A2".
    std::string word() const;
    bool operator==(const PosterSize &o) const { return columns == o.columns && rows == o.rows && paper == o.paper; }
};

struct SheetChoices
{
    // Binding.
    bool booklet = false;
    int signature = 0;  // sheets per signature; 0: the whole booklet is one
    double creep = 0;
    std::string creepUnit = "mm";
    bool rightToLeft = false;
    Folds fold = Folds::One;
    bool spineMarks = false;
    bool foldMarks = false;
    int sewing = 0;
    // Marks.
    bool cropMarks = false;
    double cropMarksLength = 5;
    std::string cropMarksUnit = "mm";
    bool frame = false;
    double frameWidth = 0.5;
    // Both sides and the print room.
    Duplex bothSides = Duplex::None;
    double backShiftX = 0, backShiftY = 0;
    std::string backShiftUnit = "mm";
    bool stack = false;
    bool repeat = false;
    bool bleed = false;
    double bleedLength = 3;
    std::string bleedUnit = "mm";
    bool slug = false;
    Fit fit = Fit::Fit;  // "fit" is also the neutral value, whose effect the others decide
    bool autoRotate = false;
    // The way back and the way up: sheets cut apart into their pages (as the grid and the
    // booklet say they were imposed), a page enlarged to a poster.
    bool cut = false;
    ScanOrder scan = ScanOrder::Alternate;
    bool dropBlank = false;
    bool poster = false;
    PosterSize posterSize;
    double overlap = 10;
    std::string overlapUnit = "mm";
    bool overview = false;
};

bool operator==(const SheetChoices &a, const SheetChoices &b);
inline bool operator!=(const SheetChoices &a, const SheetChoices &b) { return !(a == b); }

// The choices as they take effect: a booklet's Both sides shows the edge it is printed for
// (where none is chosen), step and repeat with a bleed keeps the cards' size (where no other
// fit is chosen); cut and stack, step and repeat are not made in a booklet, nor both at once;
// a poster is made of neither a booklet nor cut sheets.
SheetChoices inEffect(const SheetChoices &chosen);

// The tool's words for the choices in effect, each only where it asks for something:
// "-booklet", "-signature", "3", ...
std::vector<std::string> toArguments(const SheetChoices &chosen);

// What the tool's rules see chosen, on a sheet of a size (as the window's sheets are): the
// tool's own parser reads the words, so that the window and the tool never judge apart.
Chosen chosenOf(const SheetChoices &chosen);

// A number as the tool's words write it: the shortest text that reads back as the same value.
std::string numberWord(double value);

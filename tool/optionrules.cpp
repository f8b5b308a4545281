#include "optionrules.h"

namespace {

const char kScaleAndSize[] = "-scale and -size exclude each other: with -size the pages are fitted to the sheet's cells";
const char kStackAndRepeat[] = "-stack and -repeat exclude each other: a page is either in one pile or on every cell";
const char kFold[] = "-fold cannot go with -per, -stack or -repeat: a folded section has its own grid and order";
const char kInBooklet[] = "-stack and -repeat are ignored in a booklet, which has its own order";
const char kBookletOnly[] = "-signature, -creep and -rtl are ignored without -booklet";
const char kBinderMarks[] = "-spinemarks, -sewing and -foldmarks are ignored without -booklet or -fold: no sheet is folded";
const char kBackShift[] = "-backshift is ignored without -duplex or -booklet: no sheet has a back";

} // namespace

std::string refusal(const Chosen &c)
{
    if (c.scale && c.sheetSize)
        return kScaleAndSize;
    if (c.stack && c.repeat)
        return kStackAndRepeat;
    // Beside -booklet (as the window, which always names a grid, gives it) a grid is ignored,
    // as in any booklet.
    if (c.fold && (c.stack || c.repeat || (c.grid && !c.booklet)))
        return kFold;
    return std::string();
}

std::string whyNot(const Chosen &c, Switch option)
{
    Chosen with = c;
    switch (option) {
    case Switch::Stack:
    case Switch::Repeat:
        if (c.booklet || c.fold)
            return kInBooklet;
        (option == Switch::Stack ? with.stack : with.repeat) = true;
        break;
    case Switch::Fold: with.fold = true; break;
    case Switch::BookletOnly: return c.booklet || c.fold ? std::string() : kBookletOnly;
    case Switch::BinderMarks: return c.booklet || c.fold ? std::string() : kBinderMarks;
    case Switch::BackShift: return hasBacks(c) ? std::string() : kBackShift;
    case Switch::Scale: with.scale = true; break;
    case Switch::Size: with.sheetSize = true; break;
    }
    return refusal(with);
}

Fit defaultFit(const Chosen &c)
{
    return c.sheetSize && !(c.repeat && c.bleed) ? Fit::Fit : Fit::Actual;
}

bool hasBacks(const Chosen &c)
{
    return c.booklet || c.fold || c.duplex;
}

Duplex bookletEdge(Duplex asked)
{
    return asked == Duplex::None ? Duplex::Short : asked;
}

#include "optionrules.h"

namespace {

const char kScaleAndSize[] = "-scale and -size exclude each other: with -size the pages are fitted to the sheet's cells";
const char kStackAndRepeat[] = "-stack and -repeat exclude each other: a page is either in one pile or on every cell";
const char kFold[] = "-fold cannot go with -per, -stack or -repeat: a folded section has its own grid and order";
const char kInBooklet[] = "-stack and -repeat are ignored in a booklet, which has its own order";
const char kBookletOnly[] = "-signature, -creep and -rtl are ignored without -booklet";
const char kBinderMarks[] = "-spinemarks, -sewing and -foldmarks are ignored without -booklet or -fold: no sheet is folded";
const char kBackShift[] = "-backshift is ignored without -duplex or -booklet: no sheet has a back";
const char kCutAndPoster[] = "-cut and -poster exclude each other: one cuts sheets into pages, the other a page into sheets";
const char kPosterOrder[] = "-poster cannot go with -booklet, -fold, -stack or -repeat: a poster's sheets have an order of their own";
const char kScan[] = "-scan is ignored without -cut and -duplex or -booklet: no sheet has a back to scan";
const char kDropBlank[] = "-dropblank is ignored without -cut or -poster";
const char kPosterOnly[] = "-overlap and -overview are ignored without -poster";
const char kMarksCut[] = "-cropmarks, -frame, -slug and -addline are ignored with -cut: the pages cut out carry no marks";
const char kMarksPoster[] = "-cropmarks, -frame, -slug and -addline are ignored with -poster, which marks its sheets itself";
const char kSizingCut[] = "-scale, -size, -fit and -bleed are ignored with -cut: each page is as large as its cell";
const char kSizingPoster[] = "-scale, -fit, -bleed and -duplex are ignored with -poster: the page is enlarged to the poster, "
                             "printed on one side";
const char kBinderMarksCut[] = "-spinemarks, -sewing and -foldmarks are ignored with -cut: the pages cut out carry no marks";

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
    if (c.cut && c.poster)
        return kCutAndPoster;
    if (c.poster && (c.booklet || c.fold || c.stack || c.repeat))
        return kPosterOrder;
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
    case Switch::BinderMarks:
        if (c.cut)
            return kBinderMarksCut;
        return c.booklet || c.fold ? std::string() : kBinderMarks;
    case Switch::Cut: with.cut = true; break;
    case Switch::Poster: with.poster = true; break;
    case Switch::Scan: return c.cut && hasBacks(c) ? std::string() : kScan;
    case Switch::DropBlank: return c.cut || c.poster ? std::string() : kDropBlank;
    case Switch::PosterOnly: return c.poster ? std::string() : kPosterOnly;
    case Switch::Marks: return c.cut ? kMarksCut : c.poster ? kMarksPoster : std::string();
    case Switch::Sizing: return c.cut ? kSizingCut : c.poster ? kSizingPoster : std::string();
    case Switch::BothSides: return c.poster ? kSizingPoster : std::string();
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
    return !c.poster && (c.booklet || c.fold || c.duplex);
}

Duplex bookletEdge(Duplex asked)
{
    return asked == Duplex::None ? Duplex::Short : asked;
}

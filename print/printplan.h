// What printing the sheets asks of the printer, decided without a printer: the sides the
// sheets were made for, the IPP words for them, and the jobs of two-sided printing by hand.
#pragma once

#include <QList>
#include <QString>

struct SheetOptions;

// One-sided, or two-sided turned on the long or the short edge.
enum class Sides { OneSided, LongEdge, ShortEdge };

// The sides the sheets were made for: a booklet on the short edge unless told the long one,
// two-sided N-up on the edge chosen, anything else one-sided.
Sides sidesOfSheets(const SheetOptions &options);
// IPP's name: "one-sided", "two-sided-long-edge", "two-sided-short-edge".
QString sidesKeyword(Sides sides);
// In words: "one-sided", "two-sided on the long edge".
QString sidesInWords(Sides sides);

// Pages (from 1, in any order) as an ascending IPP page-ranges text: "1-3,5".
QString pageRanges(QList<int> pages);

// One job of printing by hand: the pages, in ascending page-ranges, printed in that order or
// the other way round, with a blank page for a sheet that has no back (before or after them,
// as that sheet is fed first or last).
struct HandJob
{
    QString pageRanges;
    bool reverse = false;
    bool blankFirst = false;
    bool blankLast = false;
    int pages = 0;
};
struct HandTwoSided
{
    HandJob fronts, backs;
    int sheets = 0;
};
// Two-sided printing by hand of pages `from` to `to` (1 to `count`, widened to whole sheets):
// the fronts first; then the stack, turned over on the sheets' edge, goes back into the tray
// and takes the backs. A printer that lays its output face down hands back the first sheet on
// top, so the backs go in order; one that lays it face up, the last, so they go the other way
// round. Where the last sheet has no back, a blank page takes its turn.
HandTwoSided handTwoSided(int count, int from, int to, bool faceUp);

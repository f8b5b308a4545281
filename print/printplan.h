// What printing the sheets asks of the printer, decided without a printer: the sides the
// sheets were made for, the IPP words for them, and the jobs of two-sided printing by hand.
#pragma once

#include <QList>
#include <QMarginsF>
#include <QRectF>
#include <QSizeF>
#include <QString>

struct SheetChoices;

// One-sided, or two-sided turned on the long or the short edge.
enum class Sides { OneSided, LongEdge, ShortEdge };

// The sides the sheets were made for: a booklet on the short edge unless told the long one,
// two-sided N-up on the edge chosen, anything else one-sided.
Sides sidesOfSheets(const SheetChoices &options);
// IPP's name: "one-sided", "two-sided-long-edge", "two-sided-short-edge".
QString sidesKeyword(Sides sides);
// In words: "one-sided", "two-sided on the long edge".
QString sidesInWords(Sides sides);

// The pages printed of a file of `count` pages: `from` to `to` (each 0: the first, the last),
// within the file.
QList<int> pagesToPrint(int count, int from, int to);

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
    int pageCount = 0;  // pages sent, blanks apart
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

// The jobs of printing by hand as lists of pages, each job's pages in the order they are
// fed, a blank sheet as 0: fronts, then backs.
QList<QList<int>> handJobPages(const HandTwoSided &plan);

// How the stack is turned over between fronts and backs, decided once for the words and the
// picture: about an upright line (from left to right, as a page of a book turns) or about a
// line across (from top to bottom, as a wall calendar turns), and the sheet's edge that stays
// in place while it turns.
struct StackTurn
{
    bool asABook = true;
    enum Hinge { RightEdge, BottomEdge } hinge = RightEdge;
};
// A sheet lying as it was printed (portrait or landscape), turned on the edge the sheets were
// made for: a portrait sheet's long edges are upright, a landscape sheet's short ones.
StackTurn stackTurn(Sides edge, bool portraitSheet);
// "turn it over from left to right (as a page of a book turns)" or "... from top to bottom
// (as a wall calendar turns)".
QString stackTurnWords(const StackTurn &turn);

// A paper a printer has: its name ("Letter", "iso_a4_210x297mm"), its size upright and the
// border it cannot print on, in points.
struct Paper
{
    QString name;    // the printer's (PWG) name
    QSizeF size;
    QMarginsF border;
    QString words;   // as people name it ("A4", "Envelope #10"); empty: by its name
};
// Where the sheets are printed: on a paper of their own size as they are, or scaled to fit a
// paper of the printer's, centred, turned as the sheet lies.
struct PaperChoice
{
    bool found = false;      // the printer has a paper at all
    bool asTheyAre = false;  // a paper of the sheets' size
    Paper paper;
    bool landscape = false;  // the paper lies as a landscape sheet
    double scale = 1;
    QMarginsF margins;       // around the sheet on the paper (the printable area's, symmetric)
};
// The paper for sheets of `sheet` points: the printer's paper of that size where it has one;
// else `wanted` (by name) where it has that; else the paper, turned as the sheet lies, that
// holds the sheet at the largest scale (the first listed on a tie), of those in its trays
// (`ready`, by name) where it says which. With `fitPrintable` the sheet is scaled into the
// paper's printable area, the same border on opposite sides so that backs stay behind their
// fronts.
PaperChoice choosePaper(const QSizeF &sheet, const QList<Paper> &papers, const QString &wanted = QString(),
                        bool fitPrintable = false, const QStringList &ready = QStringList());
// "printed on Letter at 65%"; empty as they are.
QString paperWords(const PaperChoice &choice);
// Where ink on the sheet (`ink`, points from the sheet's top left) falls into the printer's
// border on the chosen paper: "the sheets' marks and pages fall 3 mm into the printer's 4 mm
// border"; empty where it does not.
QString borderWords(const QRectF &ink, const QSizeF &sheet, const PaperChoice &choice);

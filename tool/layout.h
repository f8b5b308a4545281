// The layout of the sheets, pure maths without any PDF: the turn of a page, the cells of the
// grid in filling order, which page each side holds, and the plan of a side: where exactly
// each page lands and what is drawn beside it. Lengths are in points unless a name says
// otherwise.
#pragma once

#include "geometry.h"
#include "options.h"

#include <string>
#include <vector>

// Maps a page's visible box, drawn in user units of `userUnit` points, to the origin,
// turned clockwise by `rotation` degrees: the result spans (0,0) to its size in points.
Matrix orientPage(const Box &visible, int rotation, double userUnit = 1);

// Largest page side that PDF allows in user space units; larger sheets use /UserUnit.
constexpr double kMaxPageUnits = 14400;

struct SheetLayout
{
    double sheetWidth = 0, sheetHeight = 0;  // points
    double cellWidth = 0, cellHeight = 0;
    // Points in one unit of the sheet's user space: 1, or more for sheets larger than
    // PDF's largest page.
    double userUnit = 1;
    // Lower-left corner of each cell in filling order (columns*rows of them).
    std::vector<std::pair<double, double>> cells;
    // Separator line segments (x0, y0, x1, y1), empty without lines.
    std::vector<Box> lines;
};

// The sheet for pages of the given oriented sizes (points); throws LayoutError when no room
// is left.
SheetLayout computeLayout(const Grid &grid, const Margins &margins, const Sizing &sizing, bool lines,
                          const std::vector<std::pair<double, double>> &pageSizes);

// Where slot `slot` of the filling order lies on the grid: (row, column), counted from the
// top left; and the slot of a place.
std::pair<int, int> cellPlace(const Grid &grid, int slot);
int cellSlot(const Grid &grid, int row, int column);

// Scale of a page of size (w, h) in a cell of the layout.
double pageScale(const Sizing &sizing, const SheetLayout &layout, double w, double h);

// The grid the pages are placed on: a booklet is a grid of two columns, one row, filled left
// to right.
Grid placementGrid(const Options &options);

// The line a two-sided sheet is turned over about: by the printer, as its duplex edge says
// (a portrait sheet's long edges are upright, a landscape sheet's short ones), or by the
// reader, about the spine fold.
enum class Axis { Upright, Across };
// The axis the printer turns a sheet about; without an edge, the short edge (booklets'
// default).
Axis printerAxis(Duplex duplex, bool portraitSheet);
// Whether a back is turned by 180 degrees: exactly when the printer turns the sheet about
// another axis than the reader turns the leaf about, so that the back reads upright behind
// its front.
bool backTurned(Duplex duplex, bool portraitSheet, Axis spine = Axis::Upright);

// One side of an output sheet: what each cell of the grid holds (by slot of the filling
// order), whether it is the back of a sheet printed on both sides, and for booklets how far
// the pages move towards the fold (creep) and whether the side is turned upside down.
struct SheetSide
{
    static constexpr int kBlank = -1;
    std::vector<int> cells;  // indices into the selected pages, or kBlank
    double creep = 0;        // points: the left page moves right by this much, the right one left
    bool back = false;
    bool halfTurned = false;  // the whole side turned by 180 degrees
    // Folded sections: each slot's page turned by 180 degrees (its head towards a head fold),
    // and moved sideways by this many points (creep, towards the spine); empty elsewhere.
    std::vector<bool> upsideDown;
    std::vector<double> shifts;
    // In booklets: the signature the side belongs to (from 0), and the two slots that meet
    // at the spine on the signature's outside (the first and the last page) and at its
    // middle spread, where the side has them.
    int signature = -1;
    std::vector<size_t> spineOutside, middleSpread;
};

// The folds of a section, in the order they are made: 'V' down the middle (the left half
// goes back, or with right-to-left binding the right half), 'H' across it (the top half goes
// back behind the bottom one). The last is the spine.
std::string foldSequence(int fold);

// The sides in output order: a function from (side, slot) to a selected page.
//
// N-up: the selected pages fill the cells in turn, the last side only as far as they go.
// With -duplex the even sides are backs: the slot that lies behind slot k of the front
// holds the back's page k, so that each page lies behind the one it follows a sheet's worth
// of pages later (a portrait sheet turned about its long edge mirrors the columns, about
// its short edge the rows; a landscape sheet the other way round). With -stack, slot k of
// side s holds page s + k x sides, so that the cut piles read in order; with -duplex the
// pages go in front-and-back pairs (page 2i on a front, 2i + 1 behind it), pair s + k x
// sheets. With -repeat, each page fills every slot of its own side; with -duplex, the page
// after it fills the back.
//
// Booklet: each signature (the whole booklet without -signature) padded with blank pages to
// a multiple of four; sheet k (from the outside) of a signature of n pages shows, front then
// back, (n - 2k, 2k + 1) and (2k + 2, n - 2k - 1), counted from 1 in the signature, each
// pair swapped for right-to-left binding; the backs are turned where the printer turns the
// sheet about another axis than the upright fold (backTurned).
std::vector<SheetSide> planSides(const Options &options, size_t selectedCount, bool portraitSheet = true);

// A page as it is placed in a cell: its visible box, its total clockwise turn and the
// points in one of its user units.
struct PageGeometry
{
    Box visible;  // where it is placed: what shows, or with a bleed its trim
    Box art;      // what may show of it: the visible area, or with a bleed its media
    int rotation = 0;
    double userUnit = 1;
    int number = 0;  // the page's number in its document, from 1 (0 where not known)
    // Oriented size in points.
    double width() const;
    double height() const;
};

// The matrix from the page's user space to the sheet (in points) that draws the page,
// scaled and centred in cell `cell` of the layout, then moved `shiftX` points sideways.
Matrix placePage(const Sizing &sizing, const SheetLayout &layout, size_t cell, const PageGeometry &page,
                 double shiftX = 0);

// Trim marks, `length` long, at the four corners of each box: two per corner, on the lines
// of its edges, starting `offset` outside the box. Where a mark would cross another box it
// is cut short, so that no mark is drawn over a neighbouring page. Segments (x0, y0, x1, y1).
// With `outer` (one box around each of `boxes`, its bleed), marks start `offset` outside
// the outer box and keep clear of the other outer boxes.
std::vector<Box> cropMarks(const std::vector<Box> &boxes, double length, double offset,
                           const std::vector<Box> &outer = {});

// The areas the pages' artwork may cover with a bleed: each trim grown by `bleed` on every
// side, but never over another trim (a gutter narrower than the bleed stops it at the
// neighbour's edge).
std::vector<Box> bleedAreas(const std::vector<Box> &trims, double bleed);
// How far trim marks start outside their page.
constexpr double kCropMarkOffset = 3;

// The slug line: text of this size, in a bottom margin of at least kSlugRoom.
constexpr double kSlugSize = 6;
constexpr double kSlugRoom = 10;

// The whole document's sheets: their layout, the grid the pages are placed on, and which
// page each side holds.
struct SheetPlan
{
    Grid grid;
    SheetLayout layout;
    // The layout of the backs: the sheet turned over, its margins seen from the other side
    // (left and right swapped where the columns mirror, top and bottom where the rows do),
    // so that every page lies exactly behind its front.
    SheetLayout backLayout;
    Margins backMargins;
    std::vector<SheetSide> sides;
    std::vector<bool> quarterTurned;  // by the selected page: turned by 90 degrees by -autorotate
    std::vector<size_t> tooLarge;   // selected pages larger than their cells
    bool slug = false;      // asked for, and the fronts' bottom margin has room for it
    bool backSlug = false;  // the same on the backs
    // What the plan warns of: pages larger than their cells, a margin too small for the
    // slug line.
    std::vector<std::string> warnings;
};

// The margins of a back: the sheet turned over, its margins seen from the other side (left
// and right swapped where the columns mirror, top and bottom where the rows do).
Margins backMargins(const Options &options, bool portraitSheet);

// Plans the sheets for the selected pages, in the order they are selected. Throws
// LayoutError when no room is left, UsageError for a creep wider than the pages and for
// pages at their own size larger than their cells with a bleed (they would cover the
// neighbours' trims).
SheetPlan planSheets(const Options &options, const std::vector<PageGeometry> &selected);

// Where everything of one side lands, in points on the sheet.
struct Landing
{
    size_t slot;     // in the filling order
    int page;        // index into the selected pages
    Matrix cm;       // from the page's user space to the sheet
    int rotation;    // the page's total clockwise turn on the sheet
    Box landed;      // its visible box on the sheet
    bool clipped = false;
    Box clip;        // with a bleed: what its artwork may cover
};
struct SidePlan
{
    // The side as a whole: a booklet's back turned for a long-edge printer, a back moved by
    // the printer's error; everything below has it applied.
    Matrix frame;
    std::vector<Landing> pages;
    std::vector<Box> lines;   // separator segments (x0, y0, x1, y1)
    // The rectangles stroked round the pages, centred on their line: x, y, width, height.
    struct Rectangle
    {
        double x, y, width, height;
    };
    std::vector<Rectangle> frames;
    std::vector<Box> marks;   // trim mark segments
    // A binder's marks: filled collation blocks, sewing station segments, and the ends of
    // the folds (dashed segments).
    std::vector<Box> spineBlocks, sewing, foldEnds;
    bool slug = false;            // a slug line, starting at:
    double slugX = 0, slugY = 0;
    bool slugTurned = false;      // upside down, with its side
};
SidePlan planSide(const Options &options, const SheetPlan &plan, size_t side, const std::vector<PageGeometry> &selected);
// The binder's marks of a side (spine blocks, sewing stations, fold ends), into `plan`, whose
// frame is already set.
void binderMarks(const Options &options, const Grid &grid, const SheetLayout &layout, const SheetSide &side,
                 SidePlan &plan);

// How far (in the sheet's user units) rounding may move anything drawn on the sheet.
double sheetTolerance(const SheetLayout &layout);

#include "layout.h"

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

// Rounding may move a placement by this much at most: half of the hundredth of a point that
// placements are held to, and far below what any print or screen shows.
constexpr double kTolerancePoints = 0.005;

} // namespace

Matrix orientPage(const Box &v, int rotation, double u)
{
    Matrix m;
    switch (((rotation % 360) + 360) % 360) {
    case 90: m = {0, -1, 1, 0, -v.y0, v.x1}; break;
    case 180: m = {-1, 0, 0, -1, v.x1, v.y1}; break;
    case 270: m = {0, 1, -1, 0, v.y1, -v.x0}; break;
    default: m = {1, 0, 0, 1, -v.x0, -v.y0}; break;
    }
    return {m.a * u, m.b * u, m.c * u, m.d * u, m.e * u, m.f * u};
}

SheetLayout computeLayout(const Grid &grid, const Margins &o, const Sizing &sizing, bool lines,
                          const std::vector<std::pair<double, double>> &pageSizes)
{
    SheetLayout s;
    const int cols = grid.columns, rows = grid.rows;
    const double gaps = (cols - 1) * o.gutterX, rowGaps = (rows - 1) * o.gutterY;
    if (sizing.customSize) {
        s.sheetWidth = sizing.sheetWidth;
        s.sheetHeight = sizing.sheetHeight;
        s.cellWidth = (s.sheetWidth - o.left - o.right - gaps) / cols;
        s.cellHeight = (s.sheetHeight - o.top - o.bottom - rowGaps) / rows;
        if (!(s.cellWidth > 0) || !(s.cellHeight > 0))
            throw LayoutError("the margins and gutters leave no room for the pages on the sheet");
    } else {
        const double scale = sizing.scalePercent / 100;
        for (const auto &[w, h] : pageSizes) {
            s.cellWidth = std::max(s.cellWidth, w * scale);
            s.cellHeight = std::max(s.cellHeight, h * scale);
        }
        if (!(s.cellWidth > 0) || !(s.cellHeight > 0))
            throw LayoutError("the selected pages have no size");
        s.sheetWidth = o.left + o.right + cols * s.cellWidth + gaps;
        s.sheetHeight = o.top + o.bottom + rows * s.cellHeight + rowGaps;
    }
    const double largest = std::max(s.sheetWidth, s.sheetHeight);
    if (!std::isfinite(largest))
        throw LayoutError("the sheet would be too large");
    // Three decimals, so that the unit written into the file is exactly the one used here.
    if (largest > kMaxPageUnits)
        s.userUnit = std::ceil(largest / kMaxPageUnits * 1000) / 1000;

    const double top = s.sheetHeight - o.top;
    for (int k = 0; k < cols * rows; ++k) {
        const auto [row, col] = cellPlace(grid, k);
        s.cells.emplace_back(o.left + col * (s.cellWidth + o.gutterX),
                             top - row * (s.cellHeight + o.gutterY) - s.cellHeight);
    }

    if (lines) {
        const double gridRight = o.left + cols * s.cellWidth + gaps;
        const double gridBottom = top - rows * s.cellHeight - rowGaps;
        for (int c = 1; c < cols; ++c) {
            const double x = o.left + c * s.cellWidth + (c - 1) * o.gutterX + o.gutterX / 2;
            s.lines.push_back({x, gridBottom, x, top});
        }
        for (int r = 1; r < rows; ++r) {
            const double y = top - r * s.cellHeight - (r - 1) * o.gutterY - o.gutterY / 2;
            s.lines.push_back({o.left, y, gridRight, y});
        }
    }
    return s;
}

std::pair<int, int> cellPlace(const Grid &o, int k)
{
    const int cols = o.columns, rows = o.rows;
    switch (o.order) {
    case Order::H: return {k / cols, k % cols};
    case Order::HR: return {k / cols, cols - 1 - k % cols};
    case Order::V: return {k % rows, k / rows};
    case Order::VR: return {k % rows, cols - 1 - k / rows};
    }
    return {0, 0};
}

int cellSlot(const Grid &o, int row, int col)
{
    const int cols = o.columns, rows = o.rows;
    switch (o.order) {
    case Order::H: return row * cols + col;
    case Order::HR: return row * cols + (cols - 1 - col);
    case Order::V: return col * rows + row;
    case Order::VR: return (cols - 1 - col) * rows + row;
    }
    return 0;
}

double pageScale(const Sizing &o, const SheetLayout &layout, double w, double h)
{
    const double fitted = std::min(layout.cellWidth / w, layout.cellHeight / h);
    const double own = o.customSize ? 1 : o.scalePercent / 100;
    switch (o.fit) {
    case Fit::Fit: return fitted;
    case Fit::Actual: return own;
    case Fit::Shrink: return std::min(own, fitted);
    }
    return own;
}

double PageGeometry::width() const
{
    return orientPage(visible, rotation, userUnit).apply(visible).width();
}

double PageGeometry::height() const
{
    return orientPage(visible, rotation, userUnit).apply(visible).height();
}

Matrix placePage(const Sizing &o, const SheetLayout &layout, size_t cell, const PageGeometry &page, double shiftX)
{
    const Matrix m = orientPage(page.visible, page.rotation, page.userUnit);
    const double w = page.width(), h = page.height();
    const double scale = pageScale(o, layout, w, h);
    const auto [cx, cy] = layout.cells.at(cell);
    // Centred in its cell.
    const double tx = cx + (layout.cellWidth - scale * w) / 2 + shiftX;
    const double ty = cy + (layout.cellHeight - scale * h) / 2;
    return {scale * m.a, scale * m.b, scale * m.c, scale * m.d, scale * m.e + tx, scale * m.f + ty};
}

double sheetTolerance(const SheetLayout &layout)
{
    return kTolerancePoints / layout.userUnit;
}

Axis printerAxis(Duplex duplex, bool portraitSheet)
{
    const bool longEdge = duplex == Duplex::Long;
    return longEdge == portraitSheet ? Axis::Upright : Axis::Across;
}

bool backTurned(Duplex duplex, bool portraitSheet, Axis spine)
{
    return printerAxis(duplex, portraitSheet) != spine;
}

Grid placementGrid(const Options &o)
{
    if (o.booklet.on)
        return o.booklet.fold == 16 ? Grid{4, 2, Order::H} : o.booklet.fold == 8 ? Grid{2, 2, Order::H} : Grid{2, 1, Order::H};
    return o.grid;
}

std::string foldSequence(int fold)
{
    return fold == 16 ? "VHV" : fold == 8 ? "HV" : "V";
}

namespace {

// N-up sides: a function from (side, slot) to a selected page, by the rules in layout.h.
std::vector<SheetSide> nUpSides(const Options &options, size_t count, bool portrait)
{
    std::vector<SheetSide> sides;
    const Grid &o = options.grid;
    const size_t perSheet = size_t(o.columns) * size_t(o.rows);
    const bool duplex = options.twoSided.duplex != Duplex::None;
    // A back's slot behind a front's: the columns mirrored when the sheet turns about its
    // upright edges (a portrait sheet's long edge, a landscape sheet's short one), else the rows.
    const bool mirrorColumns = printerAxis(options.twoSided.duplex, portrait) == Axis::Upright;
    auto behind = [&](size_t slot) {
        const auto [row, col] = cellPlace(o, int(slot));
        return size_t(mirrorColumns ? cellSlot(o, row, o.columns - 1 - col) : cellSlot(o, o.rows - 1 - row, col));
    };
    auto page = [&](size_t index) { return index < count ? int(index) : SheetSide::kBlank; };

    if (options.room.repeat) {
        const size_t step = duplex ? 2 : 1;
        for (size_t first = 0; first < count; first += step) {
            sides.push_back({std::vector<int>(perSheet, int(first))});
            if (duplex)
                sides.push_back({std::vector<int>(perSheet, page(first + 1)), 0, true});
        }
        return sides;
    }
    if (options.room.stack) {
        // Units: pages, or with -duplex front-and-back pairs; unit s + k x sheets in slot k.
        const size_t units = duplex ? (count + 1) / 2 : count;
        const size_t sheets = (units + perSheet - 1) / perSheet;
        for (size_t s = 0; s < sheets; ++s) {
            SheetSide front{std::vector<int>(perSheet, SheetSide::kBlank)};
            SheetSide back{std::vector<int>(perSheet, SheetSide::kBlank), 0, true};
            for (size_t k = 0; k < perSheet; ++k) {
                const size_t unit = s + k * sheets;
                if (unit >= units)
                    continue;
                front.cells[k] = page(duplex ? 2 * unit : unit);
                if (duplex)
                    back.cells[behind(k)] = page(2 * unit + 1);
            }
            sides.push_back(front);
            if (duplex)
                sides.push_back(back);
        }
        return sides;
    }
    for (size_t first = 0, side = 0; first < count; first += perSheet, ++side) {
        SheetSide s;
        if (duplex && side % 2 == 1) {
            s = {std::vector<int>(perSheet, SheetSide::kBlank), 0, true};
            for (size_t k = 0; k < perSheet && first + k < count; ++k)
                s.cells[behind(k)] = int(first + k);
        } else {
            for (size_t k = first; k < count && k < first + perSheet; ++k)
                s.cells.push_back(int(k));
        }
        sides.push_back(s);
    }
    return sides;
}

} // namespace

namespace {

// A face of a cell of a sheet of a section while it is folded: where it lies (in cells, from
// the lower left), which way it faces (+1 towards the reader), its layer in the stack (higher:
// nearer the reader), which way its page's head must point for the page to read upright once
// folded (+1 up), and which way the folded section's x runs on the sheet.
struct FoldedFace
{
    int sheet;
    bool back;
    int row, column;  // from the top left of the sheet as printed (the front's view)
    double x, y;
    int facing, layer, head, xdir;
};

// The faces of `sheets` sheets stacked (the first on top, its front towards the reader) and
// folded together as `folds` says.
std::vector<FoldedFace> foldedStack(const Grid &grid, int sheets, const std::string &folds, bool rightToLeft)
{
    std::vector<FoldedFace> faces;
    for (int k = 0; k < sheets; ++k) {
        for (const bool back : {false, true}) {
            for (int row = 0; row < grid.rows; ++row) {
                for (int col = 0; col < grid.columns; ++col)
                    faces.push_back({k, back, row, col, col + 0.5, grid.rows - row - 0.5, back ? -1 : 1, -k, 1, 1});
            }
        }
    }
    double width = grid.columns, height = grid.rows;
    int bottom = 1 - sheets;
    for (const char f : folds) {
        for (FoldedFace &face : faces) {
            // One half stays; the other turns behind the stack about the fold, its layers in
            // reverse (and, about a line across, its heads turned).
            const bool moved = f == 'V' ? (face.x < width / 2) != rightToLeft : face.y > height / 2;
            if (moved) {
                if (f == 'V') {
                    face.x = width - face.x;
                    face.xdir = -face.xdir;
                } else {
                    face.y = height - face.y;
                    face.head = -face.head;
                }
                face.facing = -face.facing;
                face.layer = 2 * bottom - 1 - face.layer;
            }
            if (f == 'V' && !rightToLeft)
                face.x -= width / 2;
        }
        (f == 'V' ? width : height) /= 2;
        bottom = 2 * bottom - 1;
    }
    return faces;
}

// Sections of folded sheets: the sheets of each signature are stacked (the first on top, its
// front towards the reader) and folded together as foldSequence() says; the folded stack's
// leaves, read from the front, take the signature's pages in turn. Unfolded again, that tells
// each cell its page, the page's turn and its creep; a back's cells are then seen from behind,
// as the printer turns the sheet.
std::vector<SheetSide> sectionSides(const Options &options, size_t count, bool portrait)
{
    const BookletOptions &o = options.booklet;
    const Grid grid = placementGrid(options);
    const std::string folds = foldSequence(o.fold);
    const size_t fold = size_t(o.fold);
    const size_t padded = (count + fold - 1) / fold * fold;
    const size_t perSignature = o.signatureSheets > 0 ? size_t(o.signatureSheets) * fold : padded;
    const bool uprightTurn = printerAxis(bookletEdge(options.twoSided.duplex), portrait) == Axis::Upright;
    const size_t perSide = size_t(grid.columns * grid.rows);
    std::vector<SheetSide> sides;
    for (size_t start = 0; start < padded; start += perSignature) {
        const size_t pages = std::min(perSignature, padded - start);
        const int sheets = int(pages / fold);
        const std::vector<FoldedFace> faces = foldedStack(grid, sheets, folds, o.rightToLeft);
        const int layers = sheets << folds.size();
        const int deepest = layers / 2 - 1;
        for (int k = 0; k < sheets; ++k) {
            SheetSide front{std::vector<int>(perSide, SheetSide::kBlank)}, back{std::vector<int>(perSide, SheetSide::kBlank)};
            back.back = true;
            for (SheetSide *side : {&front, &back}) {
                side->upsideDown.assign(perSide, false);
                side->shifts.assign(perSide, 0);
            }
            for (const FoldedFace &face : faces) {
                if (face.sheet != k)
                    continue;
                const int leaf = -face.layer;  // from the front
                const size_t number = size_t(2 * leaf + (face.facing > 0 ? 1 : 2));
                const size_t index = start + number - 1;
                // Inner leaves move towards the spine, the innermost by the whole creep.
                const int depth = std::min(leaf, layers - 1 - leaf);
                const double creep = deepest > 0 ? o.creep * depth / deepest : 0;
                double shift = (o.rightToLeft ? creep : -creep) * face.xdir;
                int row = face.row, col = face.column, head = face.head;
                if (face.back) {
                    // Seen from behind, as the printer turned the sheet.
                    if (uprightTurn) {
                        col = grid.columns - 1 - col;
                        shift = -shift;
                    } else {
                        row = grid.rows - 1 - row;
                        head = -head;
                    }
                }
                SheetSide &side = face.back ? back : front;
                const size_t slot = size_t(cellSlot(grid, row, col));
                side.signature = int(start / perSignature);
                if (number == 1 || number == pages)
                    side.spineOutside.push_back(slot);
                if (number == pages / 2 || number == pages / 2 + 1)
                    side.middleSpread.push_back(slot);
                side.cells[slot] = index < count ? int(index) : SheetSide::kBlank;
                side.upsideDown[slot] = head < 0;
                side.shifts[slot] = shift;
            }
            sides.push_back(front);
            sides.push_back(back);
        }
    }
    return sides;
}

} // namespace

std::vector<SheetSide> planSides(const Options &options, size_t count, bool portrait)
{
    if (!options.booklet.on)
        return nUpSides(options, count, portrait);
    if (options.booklet.fold != 4)
        return sectionSides(options, count, portrait);
    const BookletOptions &o = options.booklet;
    std::vector<SheetSide> sides;
    const size_t padded = (count + 3) / 4 * 4;
    const size_t perSignature = o.signatureSheets > 0 ? size_t(o.signatureSheets) * 4 : padded;
    for (size_t start = 0; start < padded; start += perSignature) {
        const size_t n = std::min(perSignature, padded - start);  // pages of this signature
        const size_t sheets = n / 4;
        // A page number of the signature (from 1) as an index of the selected pages.
        auto page = [&](size_t number) {
            const size_t index = start + number - 1;
            return index < count ? int(index) : SheetSide::kBlank;
        };
        for (size_t k = 0; k < sheets; ++k) {
            const double creep = sheets > 1 ? o.creep * double(k) / double(sheets - 1) : 0;
            SheetSide front{{page(n - 2 * k), page(2 * k + 1)}, creep};
            SheetSide back{{page(2 * k + 2), page(n - 2 * k - 1)}, creep, true,
                           backTurned(bookletEdge(options.twoSided.duplex), portrait)};
            if (o.rightToLeft) {
                std::swap(front.cells[0], front.cells[1]);
                std::swap(back.cells[0], back.cells[1]);
            }
            front.signature = back.signature = int(start / perSignature);
            if (k == 0)
                front.spineOutside = {0, 1};
            if (k + 1 == sheets)
                back.middleSpread = {0, 1};
            sides.push_back(front);
            sides.push_back(back);
        }
    }
    return sides;
}

std::vector<Box> bleedAreas(const std::vector<Box> &trims, double bleed)
{
    std::vector<Box> areas;
    for (size_t i = 0; i < trims.size(); ++i) {
        const Box &t = trims[i];
        Box a{t.x0 - bleed, t.y0 - bleed, t.x1 + bleed, t.y1 + bleed};
        for (size_t j = 0; j < trims.size(); ++j) {
            const Box &n = trims[j];
            if (j == i)
                continue;
            const bool besideRows = n.y0 < a.y1 && n.y1 > a.y0;     // across the grown height
            const bool besideColumns = n.x0 < a.x1 && n.x1 > a.x0;  // across the grown width
            if (besideRows && n.x1 <= t.x0)
                a.x0 = std::max(a.x0, n.x1);
            if (besideRows && n.x0 >= t.x1)
                a.x1 = std::min(a.x1, n.x0);
            if (besideColumns && n.y1 <= t.y0)
                a.y0 = std::max(a.y0, n.y1);
            if (besideColumns && n.y0 >= t.y1)
                a.y1 = std::min(a.y1, n.y0);
        }
        areas.push_back(a);
    }
    return areas;
}

std::vector<Box> cropMarks(const std::vector<Box> &boxes, double length, double offset, const std::vector<Box> &outerBoxes)
{
    std::vector<Box> marks;
    if (!(length > 0))
        return marks;
    const std::vector<Box> &outer = outerBoxes.size() == boxes.size() ? outerBoxes : boxes;
    // How far a mark from (x, y) in direction (dx, dy) may run before it comes within
    // `offset` of another box (a box it merely touches counts).
    auto room = [&](size_t own, double x, double y, double dx, double dy) {
        double reach = length;
        for (size_t i = 0; i < outer.size(); ++i) {
            const Box &b = outer[i];
            if (i == own)
                continue;
            double enter = HUGE_VAL;
            if (dx != 0 && y >= b.y0 && y <= b.y1) {
                if (dx > 0 && b.x1 >= x)
                    enter = std::max(b.x0 - x, 0.0);
                else if (dx < 0 && b.x0 <= x)
                    enter = std::max(x - b.x1, 0.0);
            } else if (dy != 0 && x >= b.x0 && x <= b.x1) {
                if (dy > 0 && b.y1 >= y)
                    enter = std::max(b.y0 - y, 0.0);
                else if (dy < 0 && b.y0 <= y)
                    enter = std::max(y - b.y1, 0.0);
            }
            reach = std::min(reach, enter - offset);
        }
        return reach;
    };
    for (size_t i = 0; i < boxes.size(); ++i) {
        const Box &b = boxes[i], &o = outer[i];
        for (const double cx : {b.x0, b.x1}) {
            for (const double cy : {b.y0, b.y1}) {
                const double outX = cx == b.x0 ? -1 : 1, outY = cy == b.y0 ? -1 : 1;
                // On the line of the horizontal edge, outwards from the outer box; then of
                // the vertical edge.
                for (const auto &[dx, dy] : {std::pair{outX, 0.0}, std::pair{0.0, outY}}) {
                    const double x0 = dx == 0 ? cx : (dx < 0 ? o.x0 : o.x1) + dx * offset;
                    const double y0 = dy == 0 ? cy : (dy < 0 ? o.y0 : o.y1) + dy * offset;
                    const double reach = room(i, x0, y0, dx, dy);
                    if (reach <= 0)
                        continue;
                    const double x1 = x0 + dx * reach, y1 = y0 + dy * reach;
                    marks.push_back({std::min(x0, x1), std::min(y0, y1), std::max(x0, x1), std::max(y0, y1)});
                }
            }
        }
    }
    return marks;
}

namespace {

// Which pages -autorotate turns, and the sizes the layout sees: with a sheet size, the pages
// whose turn lets them be larger in their cells; without one, those that lie the other way
// from most pages (the cells are then made for the turned pages).
std::vector<bool> autoTurns(const Options &o, const SheetLayout &layout, const std::vector<PageGeometry> &selected)
{
    std::vector<bool> turns(selected.size(), false);
    if (!o.sizing.autoRotate)
        return turns;
    size_t landscape = 0;
    for (const PageGeometry &page : selected)
        landscape += page.width() > page.height();
    const bool mostLandscape = landscape * 2 > selected.size();
    for (size_t i = 0; i < selected.size(); ++i) {
        const double w = selected[i].width(), h = selected[i].height();
        if (o.sizing.customSize) {
            const double as = std::min(layout.cellWidth / w, layout.cellHeight / h);
            const double turned = std::min(layout.cellWidth / h, layout.cellHeight / w);
            turns[i] = turned > as * (1 + 1e-9);
        } else {
            turns[i] = w != h && (w > h) != mostLandscape;
        }
    }
    return turns;
}

// Pages at their own size that do not fit their cells: named, and with a bleed (which would
// run over the neighbours' pages) refused.
void judgeSizes(const Options &o, const std::vector<PageGeometry> &selected, SheetPlan &plan)
{
    const std::vector<size_t> &large = plan.tooLarge;
    if (large.empty())
        return;
    constexpr size_t kNamed = 5;
    std::string named;
    for (size_t i = 0; i < large.size() && i < kNamed; ++i) {
        const int number = selected[large[i]].number;
        named += (i ? ", " : "") + std::to_string(number > 0 ? number : int(large[i]) + 1);
    }
    if (large.size() > kNamed)
        named += " and " + std::to_string(large.size() - kNamed) + " more";
    const std::string cell = millimetres(plan.layout.cellWidth) + " x " + millimetres(plan.layout.cellHeight) + " mm";
    const std::string which = (large.size() == 1 ? "page " : "pages ") + named;
    if (o.room.trim)
        throw UsageError(which + " of " + o.files.input + " at actual size would be larger than the cells (" + cell
                         + ") and cover the neighbours' trims: make the cells larger or use -fit shrink");
    plan.warnings.push_back(which + " at actual size " + (large.size() == 1 ? "is" : "are") + " larger than the cells ("
                            + cell + ") and run beyond them");
}

// The slug line needs room in the bottom margin, which on a back is the margin behind the
// front's top one when the rows mirror.
void judgeSlugRoom(const Options &o, SheetPlan &plan)
{
    bool anyBack = false;
    for (const SheetSide &side : plan.sides)
        anyBack = anyBack || side.back;
    const bool onFronts = plan.slug, onBacks = anyBack && plan.backSlug;
    if (!o.marks.slug || (onFronts && (!anyBack || onBacks)))
        return;
    const std::string needs = " is too small for the slug line (it needs " + pdfNumber(kSlugRoom, 1) + " pt, 3.5 mm)";
    if (!onFronts && !onBacks)
        plan.warnings.push_back("the bottom margin" + needs + "; none is drawn");
    else if (!onFronts)
        plan.warnings.push_back("the bottom margin of the fronts" + needs + "; it is drawn on the backs only");
    else
        plan.warnings.push_back("the bottom margin of the backs (behind the fronts' top margin)" + needs
                                + "; it is drawn on the fronts only");
}

} // namespace

Margins backMargins(const Options &o, bool portraitSheet)
{
    const bool folio = o.booklet.on && o.booklet.fold == 4;
    const Duplex edge = o.booklet.on ? bookletEdge(o.twoSided.duplex) : o.twoSided.duplex;
    const bool mirrorColumns = folio || printerAxis(edge, portraitSheet) == Axis::Upright;
    Margins back = o.margins;
    if (mirrorColumns)
        std::swap(back.left, back.right);
    else
        std::swap(back.top, back.bottom);
    return back;
}

SheetPlan planSheets(const Options &o, const std::vector<PageGeometry> &selected)
{
    SheetPlan plan;
    plan.grid = placementGrid(o);
    std::vector<std::pair<double, double>> sizes;
    for (const PageGeometry &page : selected)
        sizes.emplace_back(page.width(), page.height());
    plan.layout = computeLayout(plan.grid, o.margins, o.sizing, o.marks.lines, sizes);
    plan.quarterTurned = autoTurns(o, plan.layout, selected);
    if (!o.sizing.customSize && o.sizing.autoRotate) {
        for (size_t i = 0; i < sizes.size(); ++i) {
            if (plan.quarterTurned[i])
                std::swap(sizes[i].first, sizes[i].second);
        }
        plan.layout = computeLayout(plan.grid, o.margins, o.sizing, o.marks.lines, sizes);
    }
    // At their own size, pages may be larger than their cells.
    for (size_t i = 0; i < selected.size(); ++i) {
        const double w = plan.quarterTurned[i] ? selected[i].height() : selected[i].width();
        const double h = plan.quarterTurned[i] ? selected[i].width() : selected[i].height();
        const double scale = pageScale(o.sizing, plan.layout, w, h);
        if (scale * w > plan.layout.cellWidth + 0.01 || scale * h > plan.layout.cellHeight + 0.01)
            plan.tooLarge.push_back(i);
    }
    if (o.booklet.on && o.booklet.creep > plan.layout.cellWidth)
        throw UsageError("the creep of " + pdfNumber(o.booklet.creep, 2) + " pt is larger than the page, "
                         + pdfNumber(plan.layout.cellWidth, 2) + " pt wide (after -creep)");
    // A back lies behind its front the way the sheet turns: portrait sheets about their long
    // edge's direction, landscape ones the other. A booklet's backs are laid out for a sheet
    // turned about its fold (and turned as a whole where the printer turns it the other way).
    const bool portrait = plan.layout.sheetHeight >= plan.layout.sheetWidth;
    plan.sides = planSides(o, selected.size(), portrait);
    const Margins back = backMargins(o, portrait);
    plan.backLayout = computeLayout(plan.grid, back, o.sizing, o.marks.lines, sizes);
    plan.backMargins = back;
    plan.slug = o.marks.slug && o.margins.bottom >= kSlugRoom;
    plan.backSlug = o.marks.slug && back.bottom >= kSlugRoom;
    judgeSizes(o, selected, plan);
    judgeSlugRoom(o, plan);
    return plan;
}

namespace {

constexpr double kMillimetre = 72 / 25.4;

// A cell's box on the side (before the side's frame).
Box cellBox(const SheetLayout &layout, size_t slot)
{
    const auto [x, y] = layout.cells.at(slot);
    return {x, y, x + layout.cellWidth, y + layout.cellHeight};
}

} // namespace

namespace {

// Where two cells side by side meet: the middle of the gutter between them (x), over the
// height of their pages on the side (of the cells where they hold none), before the side's
// frame; false unless they share a row.
bool foldBetween(const SheetLayout &layout, const SidePlan &s, size_t a, size_t b, double &x, double &y0, double &y1)
{
    const Box p = cellBox(layout, a), q = cellBox(layout, b);
    if (std::fabs(p.y0 - q.y0) > 0.01)
        return false;
    x = p.x1 < q.x0 ? (p.x1 + q.x0) / 2 : (q.x1 + p.x0) / 2;
    y0 = p.y1;
    y1 = p.y0;
    const Matrix unframe = s.frame.inverted();
    for (const Landing &l : s.pages) {
        if (l.slot == a || l.slot == b) {
            const Box page = unframe.apply(l.landed);
            y0 = std::min(y0, page.y0);
            y1 = std::max(y1, page.y1);
        }
    }
    if (y0 >= y1)
        y0 = p.y0, y1 = p.y1;
    return true;
}

// The collation block on a signature's outside: 3 mm wide across the spine fold, 6 mm high,
// a step further from the pages' heads on each signature, back at the head when the spine
// is full.
void spineBlock(const SheetLayout &layout, const SheetSide &side, SidePlan &s)
{
    double x = 0, y0 = 0, y1 = 0;
    if (side.spineOutside.size() != 2 || !foldBetween(layout, s, side.spineOutside[0], side.spineOutside[1], x, y0, y1))
        return;
    const double width = 3 * kMillimetre, height = 6 * kMillimetre;
    const int steps = std::max(1, int((y1 - y0) / height));
    const double from = double(side.signature % steps) * height;
    const bool headDown = !side.upsideDown.empty() && side.upsideDown[side.spineOutside[0]];
    const double top = headDown ? y0 + from : y1 - from - height;
    s.spineBlocks.push_back(s.frame.apply(Box{x - width / 2, top, x + width / 2, top + height}));
}

// N sewing stations across the middle spread's fold: the outer two the kettle stitches,
// `kettle` from head and foot, the others evenly between; one alone in the middle.
void sewingStations(const SheetLayout &layout, const SheetSide &side, int stations, double kettle, SidePlan &s)
{
    double x = 0, y0 = 0, y1 = 0;
    if (side.middleSpread.size() != 2 || !foldBetween(layout, s, side.middleSpread[0], side.middleSpread[1], x, y0, y1))
        return;
    const double first = y0 + std::min(kettle, (y1 - y0) / 2), last = y1 - std::min(kettle, (y1 - y0) / 2);
    const double half = 1.5 * kMillimetre;
    for (int i = 0; i < stations; ++i) {
        const double y = stations == 1 ? (y0 + y1) / 2 : first + (last - first) * i / (stations - 1);
        s.sewing.push_back(s.frame.apply(Box{x - half, y, x + half, y}));
    }
}

// Every fold lies between two columns or two rows: its ends are marked in the margin, up to
// 6 mm long, 2 mm clear of the pages.
void foldEnds(const Grid &grid, const SheetLayout &layout, SidePlan &s)
{
    const double clear = 2 * kMillimetre, longest = 6 * kMillimetre;
    double left = HUGE_VAL, right = -HUGE_VAL, bottom = HUGE_VAL, top = -HUGE_VAL;
    for (size_t k = 0; k < layout.cells.size(); ++k) {
        const Box b = cellBox(layout, k);
        left = std::min(left, b.x0), right = std::max(right, b.x1), bottom = std::min(bottom, b.y0), top = std::max(top, b.y1);
    }
    // From the pages' edge `from` towards the sheet's `edge`: where there is room.
    const auto mark = [&](double at, bool across, double from, double edge) {
        const double room = std::fabs(edge - from) - clear;
        if (room <= 0)
            return;
        const double direction = edge > from ? 1 : -1;
        const double p = from + direction * clear, q = from + direction * (clear + std::min(longest, room));
        s.foldEnds.push_back(s.frame.apply(across ? Box{std::min(p, q), at, std::max(p, q), at}
                                                  : Box{at, std::min(p, q), at, std::max(p, q)}));
    };
    for (int c = 1; c < grid.columns; ++c) {
        const Box a = cellBox(layout, size_t(cellSlot(grid, 0, c - 1))), b = cellBox(layout, size_t(cellSlot(grid, 0, c)));
        const double x = (std::min(a.x1, b.x1) + std::max(a.x0, b.x0)) / 2;
        mark(x, false, top, layout.sheetHeight);
        mark(x, false, bottom, 0);
    }
    for (int r = 1; r < grid.rows; ++r) {
        const Box a = cellBox(layout, size_t(cellSlot(grid, r - 1, 0))), b = cellBox(layout, size_t(cellSlot(grid, r, 0)));
        const double y = (std::min(a.y1, b.y1) + std::max(a.y0, b.y0)) / 2;
        mark(y, true, right, layout.sheetWidth);
        mark(y, true, left, 0);
    }
}

} // namespace

void binderMarks(const Options &o, const Grid &grid, const SheetLayout &layout, const SheetSide &side, SidePlan &s)
{
    if (o.marks.spineMarks)
        spineBlock(layout, side, s);
    if (o.marks.sewingStations > 0)
        sewingStations(layout, side, o.marks.sewingStations, o.marks.kettle, s);
    if (o.marks.foldMarks && layout.cells.size() == size_t(grid.columns * grid.rows))
        foldEnds(grid, layout, s);
}

SidePlan planSide(const Options &o, const SheetPlan &plan, size_t index, const std::vector<PageGeometry> &selected)
{
    const SheetSide &side = plan.sides.at(index);
    const SheetLayout &layout = side.back ? plan.backLayout : plan.layout;
    const Margins &margins = side.back ? plan.backMargins : o.margins;
    SidePlan s;
    // A back is moved by the printer's error in its own directions, then turned as a whole
    // for a printer that turns the sheet on the other edge.
    if (side.back && (o.twoSided.backShiftX != 0 || o.twoSided.backShiftY != 0))
        s.frame = {1, 0, 0, 1, o.twoSided.backShiftX, o.twoSided.backShiftY};
    if (side.halfTurned)
        s.frame = s.frame.then({-1, 0, 0, -1, layout.sheetWidth, layout.sheetHeight});

    std::vector<Box> landed;
    for (size_t k = 0; k < side.cells.size(); ++k) {
        if (side.cells[k] == SheetSide::kBlank)
            continue;  // padding carries nothing
        PageGeometry page = selected.at(size_t(side.cells[k]));
        if (plan.quarterTurned.at(size_t(side.cells[k])))  // so that a back stays behind its front
            page.rotation = (page.rotation + (side.back ? 270 : 90)) % 360;
        if (!side.upsideDown.empty() && side.upsideDown[k])
            page.rotation = (page.rotation + 180) % 360;
        // Creep moves the left page of a folio right, the right one left; a section's pages
        // each as far as their leaf lies inside.
        const double shift = !side.shifts.empty() ? side.shifts[k] : k == 0 ? side.creep : -side.creep;
        const Matrix cm = placePage(o.sizing, layout, k, page, shift).then(s.frame);
        s.pages.push_back({k, side.cells[k], cm, page.rotation, cm.apply(page.visible)});
        landed.push_back(s.pages.back().landed);
    }
    // With a bleed, the artwork beyond the trim stops at the neighbours' trims.
    std::vector<Box> bled;
    if (o.room.trim) {
        bled = bleedAreas(landed, o.room.bleed);
        for (size_t n = 0; n < s.pages.size(); ++n) {
            s.pages[n].clipped = true;
            s.pages[n].clip = bled[n];
        }
    }
    for (const Box &l : layout.lines) {
        const auto [x0, y0] = s.frame.map(l.x0, l.y0);
        const auto [x1, y1] = s.frame.map(l.x1, l.y1);
        s.lines.push_back({x0, y0, x1, y1});
    }
    if (o.marks.frameWidth > 0) {
        // Just outside each page, so that it covers none of it.
        const double w = o.marks.frameWidth;
        for (const Box &b : landed)
            s.frames.push_back({b.x0 - w / 2, b.y0 - w / 2, b.width() + w, b.height() + w});
    }
    if (o.marks.cropMarks > 0)
        s.marks = cropMarks(landed, o.marks.cropMarks, kCropMarkOffset, bled);
    binderMarks(o, plan.grid, layout, side, s);
    if (side.back ? plan.backSlug : plan.slug) {
        // Below every cell, its text's middle in the bottom margin's; upright on the side as
        // it is printed.
        s.slug = true;
        const auto [x, y] = s.frame.map(std::max(margins.left, kSlugSize), (margins.bottom - kSlugSize) / 2 + kSlugSize * 0.2);
        s.slugX = x;
        s.slugY = y;
        s.slugTurned = s.frame.a < 0;
    }
    return s;
}

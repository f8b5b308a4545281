#include "cutlayout.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

namespace {

// How far a cell's proportions are from a page's (the ISO and the US ones lie about 1.29
// to 1.41, long side to short).
double awayFromPage(double width, double height)
{
    if (!(width > 0) || !(height > 0))
        return 1e9;
    return std::fabs(std::log(std::max(width, height) / std::min(width, height)) - std::log(1.35));
}

// The cells' size on a sheet of this size, as the imposition's layout makes it.
std::pair<double, double> cellSize(const Grid &grid, const Margins &margins, double width, double height)
{
    Sizing sizing;
    sizing.customSize = true;
    sizing.sheetWidth = width;
    sizing.sheetHeight = height;
    sizing.fit = Fit::Fit;
    const SheetLayout layout = computeLayout(grid, margins, sizing, false, {});
    return {layout.cellWidth, layout.cellHeight};
}

} // namespace

std::vector<int> imposedOrder(ScanOrder scan, bool twoSided, size_t sides)
{
    std::vector<int> order;
    if (!twoSided || scan == ScanOrder::Alternate) {
        for (size_t i = 0; i < sides; ++i)
            order.push_back(int(i));
        if (twoSided && sides % 2 == 1)
            order.push_back(-1);  // the last sheet's back was not scanned
        return order;
    }
    if (sides % 2 == 1)
        throw ImposeError("the input has " + std::to_string(sides) + " sides: all fronts, then all backs (-scan) "
                          "need as many backs as fronts");
    const size_t sheets = sides / 2;
    for (size_t k = 0; k < sheets; ++k) {
        order.push_back(int(k));
        order.push_back(int(scan == ScanOrder::FrontsFirst ? sheets + k : sides - 1 - k));
    }
    return order;
}

int uprightTurn(const Options &o, const PageGeometry &side, bool back, bool portraitMost)
{
    const Grid grid = placementGrid(o);
    const double w = side.width(), h = side.height();
    double asIs = 1e9, turned = 1e9;
    try {
        const auto [cw, ch] = cellSize(grid, o.margins, w, h);
        asIs = awayFromPage(cw, ch);
    } catch (const LayoutError &) {
    }
    try {
        const auto [cw, ch] = cellSize(grid, o.margins, h, w);
        turned = awayFromPage(cw, ch);
    } catch (const LayoutError &) {
    }
    bool turn = false;
    if (std::fabs(asIs - turned) > 0.01)
        turn = turned < asIs;
    else
        turn = (h >= w) != portraitMost;
    if (!turn)
        return 0;
    return back ? 90 : 270;
}

namespace {

// The sides as the imposition had them: each set upright where asked, its turn kept in
// `cut.turns`.
std::vector<PageGeometry> uprightSides(const Options &o, const std::vector<PageGeometry> &sides,
                                       const std::vector<int> &order, CutPlan &cut)
{
    size_t portraits = 0;
    for (const PageGeometry &side : sides)
        portraits += side.height() >= side.width() ? 1 : 0;
    const bool portraitMost = 2 * portraits >= sides.size();
    cut.turns.assign(sides.size(), 0);
    std::vector<PageGeometry> upright = sides;
    for (size_t position = 0; position < order.size(); ++position) {
        const int input = order[position];
        if (input < 0 || !o.sizing.autoRotate)
            continue;
        const bool back = cut.twoSided && position % 2 == 1;
        cut.turns[size_t(input)] = uprightTurn(o, sides[size_t(input)], back, portraitMost);
        upright[size_t(input)].rotation = (upright[size_t(input)].rotation + cut.turns[size_t(input)]) % 360;
    }
    return upright;
}

// The imposition's options for pages that are exactly their cells' size: its grid, order,
// margins, gutters and binding, without sizing, trim, bleed or marks.
Options imposedAsCells(const Options &o)
{
    Options imposed = o;
    imposed.sizing = Sizing{};
    imposed.sizing.customSize = true;
    imposed.sizing.fit = Fit::Fit;
    imposed.room.trim = false;
    imposed.room.bleed = 0;
    imposed.marks = Marks{};
    imposed.cut = CutApart{};
    return imposed;
}

} // namespace

CutPlan planCut(const Options &o, const std::vector<PageGeometry> &sides)
{
    CutPlan cut;
    Chosen chosen;
    chosen.booklet = o.booklet.on;
    chosen.duplex = o.twoSided.duplex != Duplex::None;
    cut.twoSided = hasBacks(chosen);
    const std::vector<int> order = imposedOrder(o.cut.scan, cut.twoSided, sides.size());
    const std::vector<PageGeometry> upright = uprightSides(o, sides, order, cut);

    // The imposition of as many pages as the sheets hold, each exactly its cell's size (so
    // that its landing is its cell), planned by the imposition's own lines.
    const Options imposed = imposedAsCells(o);
    const Grid grid = placementGrid(imposed);
    const size_t perSide = size_t(grid.columns) * size_t(grid.rows);
    const size_t positions = order.size();
    const size_t pages = imposed.room.repeat ? positions : positions * perSide;
    if (positions == 0)
        return cut;
    const PageGeometry &first = upright[size_t(order.front() >= 0 ? order.front() : 0)];
    const auto sheetOf = [&imposed](const PageGeometry &g, Options &sized) {
        sized = imposed;
        sized.sizing.sheetWidth = g.width();
        sized.sizing.sheetHeight = g.height();
    };
    Options sized;
    sheetOf(first, sized);
    const auto [firstWidth, firstHeight] = cellSize(grid, sized.margins, first.width(), first.height());
    PageGeometry cellPage;
    cellPage.visible = cellPage.art = {0, 0, firstWidth, firstHeight};
    std::vector<PageGeometry> cells(pages, cellPage);
    SheetPlan plan = planSheets(sized, cells);
    if (plan.sides.size() < positions)
        plan.sides.resize(positions);
    cut.sheets = cut.twoSided ? positions / 2 : positions;

    cut.pages.assign(pages, CutPage{});
    std::vector<bool> found(pages, false);
    std::pair<double, double> layoutSize{first.width(), first.height()};
    for (size_t position = 0; position < positions; ++position) {
        const int input = order[position];
        const SheetSide &side = plan.sides[position];
        const PageGeometry &g = upright[size_t(std::max(input, 0))];
        // A sheet of another size: its own cells, as the imposition would have laid them.
        if (input >= 0 && std::make_pair(g.width(), g.height()) != layoutSize) {
            layoutSize = {g.width(), g.height()};
            sheetOf(g, sized);
            const bool portrait = g.height() >= g.width();
            plan.layout = computeLayout(grid, sized.margins, sized.sizing, false, {});
            plan.backMargins = backMargins(sized, portrait);
            plan.backLayout = computeLayout(grid, plan.backMargins, sized.sizing, false, {});
        }
        const SheetLayout &layout = side.back ? plan.backLayout : plan.layout;
        for (const int page : side.cells) {
            if (page >= 0)
                cells[size_t(page)].visible = cells[size_t(page)].art = {0, 0, layout.cellWidth, layout.cellHeight};
        }
        const SidePlan landed = planSide(sized, plan, position, cells);
        const Matrix orient = orientPage(g.visible, g.rotation, g.userUnit);
        for (const Landing &l : landed.pages) {
            const size_t page = size_t(l.page);
            if (found[page])
                continue;  // step and repeat: each page once, from its first cell
            found[page] = true;
            CutPage &p = cut.pages[page];
            p.side = input;
            p.width = cells[page].visible.width();
            p.height = cells[page].visible.height();
            p.sheet = int(cut.twoSided ? position / 2 : position);
            p.back = side.back;
            p.cm = orient.then(l.cm.inverted());
            p.cell = p.cm.inverted().apply({0, 0, p.width, p.height});
        }
    }
    // Cells the plan left empty (none but a short last side's): as large as the others.
    for (size_t page = 0; page < pages; ++page) {
        if (!found[page]) {
            cut.pages[page].width = firstWidth;
            cut.pages[page].height = firstHeight;
        }
    }
    return cut;
}

std::string cutWords(const CutPlan &plan, const CutPage &page)
{
    std::string words = "cut from sheet " + std::to_string(page.sheet + 1);
    if (plan.twoSided)
        words += page.back ? ", back" : ", front";
    if (page.side < 0)
        words += ", which the scan lacks";
    return words;
}

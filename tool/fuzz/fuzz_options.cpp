// libFuzzer target: the command line, page lists and layout maths.
// Words are separated by NUL or newline bytes.
#include "layout.h"
#include "options.h"
#include "pagerange.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> args(1);
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0 || data[i] == '\n')
            args.emplace_back();
        else
            args.back() += char(data[i]);
    }
    try {
        const CommandLine cmd = parseCommandLine(args);
        const Options &o = cmd.options;
        const int pages = int(size % 500) + 1;
        const std::vector<int> selected = selectPages(o.selection, o.pageList, pages);
        std::vector<std::pair<double, double>> sizes;
        for (size_t i = 0; i < selected.size() && i < 64; ++i)
            sizes.emplace_back(100 + selected[i], 200 + (selected[i] % 7) * 50);
        if (sizes.empty())
            sizes.emplace_back(595, 842);
        // Every selected page lands on exactly one side (once, or with -repeat in every cell of
        // it); the rest of the cells are blank.
        std::vector<int> seen(selected.size(), 0);
        for (const SheetSide &side : planSides(o, selected.size(), size % 2 == 0)) {
            std::vector<int> onSide;
            for (int cell : side.cells) {
                if (cell != SheetSide::kBlank && std::find(onSide.begin(), onSide.end(), cell) == onSide.end())
                    onSide.push_back(cell);
                else if (cell != SheetSide::kBlank && !o.repeat)
                    __builtin_trap();  // twice on one side
            }
            for (int cell : onSide)
                ++seen.at(size_t(cell));
        }
        for (int count : seen) {
            if (count != 1)
                __builtin_trap();
        }
        try {
            const Options grid = gridOptions(o);
            const SheetLayout layout = computeLayout(grid, sizes);
            // Trim marks never reach into another cell.
            std::vector<Box> cells;
            for (const auto &[x, y] : layout.cells)
                cells.push_back({x, y, x + layout.cellWidth, y + layout.cellHeight});
            for (const Box &mark : cropMarks(cells, o.cropMarks, kCropMarkOffset)) {
                for (const Box &cell : cells) {
                    if (mark.x0 < cell.x1 && mark.x1 > cell.x0 && mark.y0 < cell.y1 && mark.y1 > cell.y0)
                        __builtin_trap();
                }
            }
            if (layout.cells.size() != size_t(grid.columns) * size_t(grid.rows))
                __builtin_trap();
            for (size_t i = 0; i < sizes.size(); ++i) {
                const double s = pageScale(grid, layout, sizes[i].first, sizes[i].second);
                if (!(s > 0))
                    __builtin_trap();
                // Every page lands inside the sheet.
                const Box page{0, 0, sizes[i].first, sizes[i].second};
                PageGeometry geometry;
                geometry.visible = geometry.art = page;
                const Box landed = placePage(grid, layout, i % layout.cells.size(), geometry).apply(page);
                const double slack = 1e-6 * std::max(layout.sheetWidth, layout.sheetHeight);
                if (landed.x0 < -slack || landed.y0 < -slack || landed.x1 * layout.userUnit > layout.sheetWidth + slack
                    || landed.y1 * layout.userUnit > layout.sheetHeight + slack)
                    __builtin_trap();
            }
        } catch (const LayoutError &) {
        }
    } catch (const UsageError &) {
    }
    return 0;
}

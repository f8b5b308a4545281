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
        const std::vector<int> selected = selectPages(o.pages.selection, o.pages.list, pages);
        std::vector<PageGeometry> geometries;
        for (size_t i = 0; i < selected.size() && i < 64; ++i) {
            PageGeometry g;
            g.visible = g.art = {0, 0, 100.0 + selected[i], 200.0 + (selected[i] % 7) * 50};
            g.rotation = o.pages.rotation;
            geometries.push_back(g);
        }
        if (geometries.empty())
            return 0;
        // Every selected page lands on exactly one side (once, or with -repeat in every cell of
        // it); the rest of the cells are blank.
        std::vector<int> seen(geometries.size(), 0);
        for (const SheetSide &side : planSides(o, geometries.size(), size % 2 == 0)) {
            std::vector<int> onSide;
            for (int cell : side.cells) {
                if (cell != SheetSide::kBlank && std::find(onSide.begin(), onSide.end(), cell) == onSide.end())
                    onSide.push_back(cell);
                else if (cell != SheetSide::kBlank && !o.room.repeat)
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
            const SheetPlan plan = planSheets(o, geometries);
            const SheetLayout &layout = plan.layout;
            if (layout.cells.size() != size_t(plan.grid.columns) * size_t(plan.grid.rows))
                __builtin_trap();
            const double slack = 1e-6 * std::max(layout.sheetWidth, layout.sheetHeight);
            const bool shifted = o.twoSided.backShiftX != 0 || o.twoSided.backShiftY != 0;
            for (size_t s = 0; s < plan.sides.size() && s < 8; ++s) {
                const SidePlan side = planSide(o, plan, s, geometries);
                std::vector<Box> landed;
                for (const Landing &l : side.pages) {
                    landed.push_back(l.landed);
                    // Every page lands inside the sheet (a creep or a back shift may move it out).
                    if (!shifted && o.booklet.creep == 0
                        && (l.landed.x0 < -slack || l.landed.y0 < -slack || l.landed.x1 > layout.sheetWidth + slack
                            || l.landed.y1 > layout.sheetHeight + slack))
                        __builtin_trap();
                    if (l.clipped && (l.clip.x0 > l.landed.x0 + slack || l.clip.x1 < l.landed.x1 - slack))
                        __builtin_trap();  // the bleed never cuts into the page itself
                }
                // Trim marks never reach into a page (pages crept towards the fold may overlap).
                for (const Box &mark : o.booklet.creep == 0 ? side.marks : std::vector<Box>()) {
                    for (const Box &page : landed) {
                        if (mark.x0 < page.x1 - slack && mark.x1 > page.x0 + slack && mark.y0 < page.y1 - slack
                            && mark.y1 > page.y0 + slack)
                            __builtin_trap();
                    }
                }
            }
        } catch (const LayoutError &) {
        }
    } catch (const UsageError &) {
    }
    return 0;
}

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
        try {
            const SheetLayout layout = computeLayout(o, sizes);
            if (layout.cells.size() != size_t(o.columns) * size_t(o.rows))
                __builtin_trap();
            for (size_t i = 0; i < sizes.size(); ++i) {
                const double s = pageScale(o, layout, sizes[i].first, sizes[i].second);
                if (!(s > 0))
                    __builtin_trap();
                // Every page lands inside the sheet.
                const Box page{0, 0, sizes[i].first, sizes[i].second};
                const Box landed = placePage(o, layout, i % layout.cells.size(), {page, 0, 1}).apply(page);
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

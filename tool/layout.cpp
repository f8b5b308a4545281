#include "layout.h"

#include <algorithm>
#include <cmath>

namespace {

// Rounding may move a placement by this much at most, far below what any print or screen shows.
constexpr double kTolerancePoints = 0.001;

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

SheetLayout computeLayout(const Options &o, const std::vector<std::pair<double, double>> &pageSizes)
{
    SheetLayout s;
    const int cols = o.columns, rows = o.rows;
    const double gaps = (cols - 1) * o.gutterX, rowGaps = (rows - 1) * o.gutterY;
    if (o.customSize) {
        s.sheetWidth = o.sheetWidth;
        s.sheetHeight = o.sheetHeight;
        s.cellWidth = (s.sheetWidth - o.left - o.right - gaps) / cols;
        s.cellHeight = (s.sheetHeight - o.top - o.bottom - rowGaps) / rows;
        if (!(s.cellWidth > 0) || !(s.cellHeight > 0))
            throw LayoutError("the margins and gutters leave no room for the pages on the sheet");
    } else {
        const double scale = o.scalePercent / 100;
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
        int col = 0, row = 0;
        switch (o.order) {
        case Order::H: row = k / cols; col = k % cols; break;
        case Order::HR: row = k / cols; col = cols - 1 - k % cols; break;
        case Order::V: col = k / rows; row = k % rows; break;
        case Order::VR: col = cols - 1 - k / rows; row = k % rows; break;
        }
        s.cells.emplace_back(o.left + col * (s.cellWidth + o.gutterX),
                             top - row * (s.cellHeight + o.gutterY) - s.cellHeight);
    }

    if (o.lines) {
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

double pageScale(const Options &o, const SheetLayout &layout, double w, double h)
{
    if (o.customSize)
        return std::min(layout.cellWidth / w, layout.cellHeight / h);
    return o.scalePercent / 100;
}

double PageGeometry::width() const
{
    return orientPage(visible, rotation, userUnit).apply(visible).width();
}

double PageGeometry::height() const
{
    return orientPage(visible, rotation, userUnit).apply(visible).height();
}

Matrix placePage(const Options &o, const SheetLayout &layout, size_t cell, const PageGeometry &page)
{
    const Matrix m = orientPage(page.visible, page.rotation, page.userUnit);
    const double w = page.width(), h = page.height();
    const double scale = pageScale(o, layout, w, h);
    const auto [cx, cy] = layout.cells.at(cell);
    // Centred in its cell, in points; then in the sheet's own units.
    const double tx = cx + (layout.cellWidth - scale * w) / 2;
    const double ty = cy + (layout.cellHeight - scale * h) / 2;
    const double s = scale / layout.userUnit;
    return {s * m.a, s * m.b, s * m.c, s * m.d, (scale * m.e + tx) / layout.userUnit, (scale * m.f + ty) / layout.userUnit};
}

double sheetTolerance(const SheetLayout &layout)
{
    return kTolerancePoints / layout.userUnit;
}

#include "posterlayout.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kMillimetre = 72 / 25.4;
// The most sheets a poster may take: far beyond any wall.
constexpr int kMostTiles = 100;

struct Fitted
{
    int rotation = 0;
    double scale = 1;
    int columns = 1, rows = 1;
    double sheetWidth = 0, sheetHeight = 0;
};

// How many steps of `step` (plus the last overlap) cover `length`.
int tilesFor(double length, double step, double overlap)
{
    return std::max(1, int(std::ceil((length - overlap) / step - 1e-9)));
}

Fitted fit(const Options &o, const PageGeometry &page, int rotation, double sheetWidth, double sheetHeight)
{
    Fitted f;
    f.rotation = rotation;
    f.sheetWidth = sheetWidth;
    f.sheetHeight = sheetHeight;
    PageGeometry turned = page;
    turned.rotation = rotation;
    const double pw = turned.width(), ph = turned.height();
    const Margins &m = o.margins;
    const double tw = sheetWidth - m.left - m.right, th = sheetHeight - m.top - m.bottom;
    const double ov = o.poster.overlap;
    if (!(tw > ov) || !(th > ov))
        throw LayoutError("the margins and the overlap leave no room on the poster's sheets");
    const double sx = tw - ov, sy = th - ov;
    if (o.poster.columns > 0) {
        f.columns = o.poster.columns;
        f.rows = o.poster.rows;
        f.scale = std::min((f.columns * sx + ov) / pw, (f.rows * sy + ov) / ph);
    } else {
        // The poster's size, turned as the page is.
        double w = o.poster.width, h = o.poster.height;
        if ((pw > ph) != (w > h))
            std::swap(w, h);
        f.scale = std::min(w / pw, h / ph);
        f.columns = tilesFor(f.scale * pw, sx, ov);
        f.rows = tilesFor(f.scale * ph, sy, ov);
    }
    if (f.columns > kMostTiles || f.rows > kMostTiles)
        throw LayoutError("the poster would take " + std::to_string(f.columns) + " by " + std::to_string(f.rows)
                          + " sheets, more than " + std::to_string(kMostTiles) + " by " + std::to_string(kMostTiles));
    return f;
}

// A tile's trim marks around its printed area, and where the next sheet's trimmed edge goes:
// at `nextX` across the top and bottom margins where a column follows, at `nextY` across the
// left and right ones where a row follows.
void markTile(PosterTile &tile, const Box &printed, double mark, double nextX, bool columnFollows, double nextY,
              bool rowFollows)
{
    tile.trims = cropMarks({printed}, mark, kCropMarkOffset);
    const double off = kCropMarkOffset;
    if (columnFollows) {
        tile.alignment.push_back({nextX, printed.y1 + off, nextX, printed.y1 + off + mark});
        tile.alignment.push_back({nextX, printed.y0 - off - mark, nextX, printed.y0 - off});
    }
    if (rowFollows) {
        tile.alignment.push_back({printed.x0 - off - mark, nextY, printed.x0 - off, nextY});
        tile.alignment.push_back({printed.x1 + off, nextY, printed.x1 + off + mark, nextY});
    }
}

// The tiles' names in the bottom margin, else the top one (`printedHeight` above the bottom
// margin); where neither has room, said.
void placeNames(PosterPlan &plan, const Margins &m, double printedHeight)
{
    const double room = std::max(m.bottom, m.top);
    if (room < kSlugRoom) {
        plan.warnings.push_back("the poster's margins are too small for the tiles' names (" + millimetres(kSlugRoom)
                                + " mm are needed)");
        return;
    }
    plan.names = true;
    plan.nameSize = std::min(9.0, room * 0.6);
    const double below = m.bottom >= kSlugRoom ? 0 : m.bottom + printedHeight;
    const double margin = m.bottom >= kSlugRoom ? m.bottom : m.top;
    plan.nameX = m.left;
    plan.nameY = below + (margin - plan.nameSize) / 2 + plan.nameSize * 0.2;
}

} // namespace

std::string tileName(int row, int column)
{
    std::string letters;
    for (int r = row + 1; r > 0; r = (r - 1) / 26)
        letters.insert(letters.begin(), char('A' + (r - 1) % 26));
    return letters + std::to_string(column + 1);
}

std::string tileWords(const PosterPlan &plan, const PosterTile &tile)
{
    return tileName(tile.row, tile.column) + ": row " + std::to_string(tile.row + 1) + " of " + std::to_string(plan.rows)
           + ", column " + std::to_string(tile.column + 1) + " of " + std::to_string(plan.columns);
}

PosterPlan planPoster(const Options &o, const PageGeometry &page)
{
    PosterPlan plan;
    const double sheetWidth = o.sizing.customSize ? o.sizing.sheetWidth : page.width();
    const double sheetHeight = o.sizing.customSize ? o.sizing.sheetHeight : page.height();
    // With -autorotate, the page is turned (or, for a poster of a size, the sheets) where that
    // makes the poster larger or takes fewer sheets.
    Fitted f = fit(o, page, page.rotation, sheetWidth, sheetHeight);
    if (o.sizing.autoRotate) {
        const Fitted other = o.poster.columns > 0 ? fit(o, page, (page.rotation + 90) % 360, sheetWidth, sheetHeight)
                                                  : fit(o, page, page.rotation, sheetHeight, sheetWidth);
        const bool better = o.poster.columns > 0 ? other.scale > f.scale * 1.0001
                                                 : other.columns * other.rows < f.columns * f.rows;
        if (better)
            f = other;
    }
    PageGeometry turned = page;
    turned.rotation = f.rotation;
    const Margins &m = o.margins;
    const double ov = o.poster.overlap;
    const double tw = f.sheetWidth - m.left - m.right, th = f.sheetHeight - m.top - m.bottom;
    const double sx = tw - ov, sy = th - ov;
    plan.sheetWidth = f.sheetWidth;
    plan.sheetHeight = f.sheetHeight;
    plan.columns = f.columns;
    plan.rows = f.rows;
    plan.scale = f.scale;
    plan.posterWidth = f.scale * turned.width();
    plan.posterHeight = f.scale * turned.height();
    plan.printed = {m.left, m.bottom, m.left + tw, m.bottom + th};

    // The grid's area, the poster centred on it; from the page to the poster.
    const double areaWidth = f.columns * sx + ov, areaHeight = f.rows * sy + ov;
    const Matrix toPoster = orientPage(turned.visible, turned.rotation, turned.userUnit)
                                .then({f.scale, 0, 0, f.scale, (areaWidth - plan.posterWidth) / 2,
                                       (areaHeight - plan.posterHeight) / 2});
    const Box printed = plan.printed;
    const double mark = std::min({5 * kMillimetre, m.left, m.right, m.top, m.bottom}) - kCropMarkOffset;
    for (int row = 0; row < f.rows; ++row) {
        for (int column = 0; column < f.columns; ++column) {
            PosterTile tile;
            tile.row = row;
            tile.column = column;
            const double x0 = column * sx, top = areaHeight - row * sy;
            tile.cm = toPoster.then({1, 0, 0, 1, m.left - x0, m.bottom - (top - th)});
            tile.area = tile.cm.inverted().apply(printed);
            if (mark >= 1)
                markTile(tile, printed, mark, m.left + sx, column + 1 < f.columns, m.bottom + ov, row + 1 < f.rows);
            plan.tiles.push_back(tile);
        }
    }
    if (!(mark >= 1))
        plan.warnings.push_back("the poster's margins are too small for its trim and alignment marks");

    placeNames(plan, m, th);

    // The overview: the grid's area in the printed area, the tiles outlined and named.
    const double so = std::min(tw / areaWidth, th / areaHeight);
    const Matrix toOverview{so, 0, 0, so, m.left + (tw - so * areaWidth) / 2, m.bottom + (th - so * areaHeight) / 2};
    plan.overviewCm = toPoster.then(toOverview);
    for (const PosterTile &tile : plan.tiles) {
        const double x0 = tile.column * sx, top = areaHeight - tile.row * sy;
        plan.overviewTiles.push_back(toOverview.apply({x0, top - th, x0 + tw, top}));
        // The middle of the part no other tile covers.
        const auto [cx, cy] = toOverview.map(x0 + sx / 2, top - sy / 2);
        plan.overviewNames.emplace_back(cx, cy);
    }
    plan.overviewNameSize = std::clamp(so * std::min(sx, sy) * 0.25, 4.0, 24.0);
    return plan;
}

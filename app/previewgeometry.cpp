#include "app/previewgeometry.h"

#include <algorithm>
#include <cmath>
#include <functional>

namespace {

// Lengths beyond this many points all look alike (the frame is 200 pixels wide); clamping
// them keeps every integer below in range.
constexpr double kMaxLengthPoints = 1.0e6;

int gridCount(const QString &text)
{
    return std::clamp(text.toInt(), 1, 10);
}

struct Cap
{
    float threshold;
    float withOtherText;
    float withoutOtherText;
};

// Rows for counts 2, 3, 4, 5, 6 and 7 to 10.
constexpr Cap kGutterCaps[] = {{200, 15, 200}, {80, 20, 80}, {40, 3, 40}, {20, 1, 20}, {10, 1, 10}, {5, 1, 5}};
constexpr Cap kMarginCaps[] = {{120, 20, 120}, {100, 30, 100}, {90, 30, 90}, {80, 40, 80}, {50, 40, 50}, {40, 40, 40}};

void applyCap(float &length, int count, const Cap (&caps)[6], bool otherTextPresent)
{
    if (length <= 0 || count < 2)
        return;
    const Cap &cap = caps[std::min(count, 7) - 2];
    if (length > cap.threshold)
        length = otherTextPresent ? cap.withOtherText : cap.withoutOtherText;
}

int truncated(double value)
{
    return static_cast<int>(value);  // toward zero
}

} // namespace

float previewLengthPoints(const QString &text, const QString &unit)
{
    const double number = text.toFloat();
    if (!(number > 0))
        return 0;
    double points = number;
    if (unit == QLatin1String("mm"))
        points = number * 72 / 25.39999918;
    else if (unit == QLatin1String("cm"))
        points = number * 720 / 25.39999918;
    else if (unit == QLatin1String("inch"))
        points = number * 72;
    return static_cast<float>(std::min(points, kMaxLengthPoints));
}

namespace {

// Calls `cell(column, row)` (from 1) for each cell of an x by y grid in the filling order.
void inFillingOrder(FillOrder order, int x, int y, const std::function<void(int, int)> &cell)
{
    switch (order) {
    case FillOrder::Horizontal:
        for (int i = 1; i <= y; ++i)
            for (int j = 1; j <= x; ++j)
                cell(j, i);
        break;
    case FillOrder::HorizontalReversed:
        for (int i = 1; i <= y; ++i)
            for (int j = x; j >= 1; --j)
                cell(j, i);
        break;
    case FillOrder::Vertical:
        for (int j = 1; j <= x; ++j)
            for (int i = 1; i <= y; ++i)
                cell(j, i);
        break;
    case FillOrder::VerticalReversed:
        for (int j = x; j >= 1; --j)
            for (int i = 1; i <= y; ++i)
                cell(j, i);
        break;
    case FillOrder::None:
        break;
    }
}

} // namespace

QVector<PreviewTile> previewTiles(const LayoutValues &layout)
{
    QVector<PreviewTile> tiles;
    if (layout.order == FillOrder::None)
        return tiles;

    const int x = gridCount(layout.columns);
    const int y = gridCount(layout.rows);

    float len[6];
    for (int i = 0; i < 6; ++i)
        len[i] = previewLengthPoints(layout.lengths[i].text, layout.lengths[i].unit);
    float &left = len[LayoutValues::Left], &right = len[LayoutValues::Right];
    float &top = len[LayoutValues::Top], &bottom = len[LayoutValues::Bottom];
    float &gx = len[LayoutValues::GutterX], &gy = len[LayoutValues::GutterY];

    bool marginText = false;
    for (int i = LayoutValues::Left; i <= LayoutValues::Bottom; ++i)
        marginText = marginText || !layout.lengths[i].text.isEmpty();
    const bool gutterText = !layout.lengths[LayoutValues::GutterX].text.isEmpty()
                            || !layout.lengths[LayoutValues::GutterY].text.isEmpty();

    applyCap(gx, x, kGutterCaps, marginText);
    applyCap(gy, y, kGutterCaps, marginText);
    applyCap(left, x, kMarginCaps, gutterText);
    applyCap(right, x, kMarginCaps, gutterText);
    applyCap(top, y, kMarginCaps, gutterText);
    applyCap(bottom, y, kMarginCaps, gutterText);

    int xp = 0, yp = 6, w = 200, h = 194;
    if (left > 0) {
        xp = truncated(double(xp) + left);
        w = truncated(double(w) - left);
    }
    if (right > 0)
        w = truncated(double(w) - right);
    if (top > 0) {
        yp = truncated(double(yp) + top);
        h = truncated(double(h) - top);
    }
    if (bottom > 0)
        h = truncated(double(h) - bottom);
    if (gx > 0)
        w = truncated(double(w) - double(x - 1) * gx);
    if (gy > 0)
        h = truncated(double(h) - double(y - 1) * gy);

    auto cell = [&](int j, int i) {
        int perX = (j - 1) * w / x + xp;
        int perY = (i - 1) * h / y + yp;
        if (gx > 0 && j != 1)
            perX = truncated(double(perX) + double(j - 1) * gx);
        if (gy > 0 && i != 1)
            perY = truncated(double(perY) + double(i - 1) * gy);
        tiles.append({QRect(perX, perY, w / x, h / y), int(tiles.size()) + 1});
    };

    tiles.reserve(x * y);
    inFillingOrder(layout.order, x, y, cell);
    return tiles;
}

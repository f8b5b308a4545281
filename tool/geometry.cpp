#include "geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>

double Box::reach() const
{
    return std::max({std::fabs(x0), std::fabs(y0), std::fabs(x1), std::fabs(y1)});
}

Box intersection(const Box &a, const Box &b)
{
    return {std::max(a.x0, b.x0), std::max(a.y0, b.y0), std::min(a.x1, b.x1), std::min(a.y1, b.y1)};
}

Box Matrix::apply(const Box &box) const
{
    const double xs[4] = {box.x0, box.x1, box.x0, box.x1};
    const double ys[4] = {box.y0, box.y0, box.y1, box.y1};
    Box out{HUGE_VAL, HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int i = 0; i < 4; ++i) {
        const auto [x, y] = map(xs[i], ys[i]);
        out.x0 = std::min(out.x0, x);
        out.y0 = std::min(out.y0, y);
        out.x1 = std::max(out.x1, x);
        out.y1 = std::max(out.y1, y);
    }
    return out;
}

Matrix Matrix::then(const Matrix &n) const
{
    return {n.a * a + n.c * b, n.b * a + n.d * b, n.a * c + n.c * d,
            n.b * c + n.d * d, n.a * e + n.c * f + n.e, n.b * e + n.d * f + n.f};
}

Matrix Matrix::inverted() const
{
    const double det = a * d - b * c;
    if (!std::isfinite(det) || std::fabs(det) < 1e-12)
        return Matrix();
    return {d / det, -b / det, -c / det, a / det, (c * f - d * e) / det, (b * e - a * f) / det};
}

bool Matrix::isUprightScale() const
{
    return std::fabs(b) < 1e-9 && std::fabs(c) < 1e-9 && a > 0 && std::fabs(a - d) < 1e-9 * a;
}

std::string pdfNumber(double value, int decimals)
{
    // Numbers in a PDF stay far below this; damaged input can produce anything.
    constexpr double kLargest = 1e12;
    if (!std::isfinite(value))
        value = 0;
    value = std::clamp(value, -kLargest, kLargest);
    decimals = std::clamp(decimals, 0, 17);
    // Most numbers of a sheet: rounded in integers, many times faster than the exact
    // conversion below, and within half a unit of the last place as well.
    static constexpr double kPowers[] = {1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
    if (decimals <= 9 && std::fabs(value) < 1e9) {
        long long n = std::llround(value * kPowers[decimals]);
        // The product was rounded: the exact remainder tells whether n is the nearest.
        const double rest = std::fma(value, kPowers[decimals], -double(n));
        if (rest > 0.5)
            ++n;
        else if (rest < -0.5)
            --n;
        int places = decimals;
        while (places > 0 && n % 10 == 0) {
            n /= 10;
            --places;
        }
        char buf[32];
        char *end = buf + sizeof buf;
        char *p = end;
        const bool negative = n < 0;
        unsigned long long u = negative ? 0ULL - static_cast<unsigned long long>(n) : static_cast<unsigned long long>(n);
        for (int i = 0; i < places; ++i, u /= 10)
            *--p = char('0' + u % 10);
        if (places > 0)
            *--p = '.';
        do {
            *--p = char('0' + u % 10);
            u /= 10;
        } while (u > 0);
        if (negative)
            *--p = '-';
        return std::string(p, end);
    }
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    std::string s(buf, res.ptr);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

int decimalsFor(double tolerance)
{
    if (!(tolerance > 0) || !std::isfinite(tolerance))
        return 17;
    // Rounding to d places moves a number by at most half a unit of the last place.
    return std::clamp(int(std::ceil(-std::log10(2 * tolerance))), 0, 17);
}

std::string matrixOperands(const Matrix &m, double reach, double tolerance)
{
    // A coefficient's rounding error is multiplied by the coordinate it meets; the two
    // coefficients of one output coordinate share the tolerance with the offset.
    const int coefficient = decimalsFor(tolerance / 3 / std::max(reach, 1.0));
    const int offset = decimalsFor(tolerance / 3);
    return pdfNumber(m.a, coefficient) + " " + pdfNumber(m.b, coefficient) + " " + pdfNumber(m.c, coefficient) + " "
           + pdfNumber(m.d, coefficient) + " " + pdfNumber(m.e, offset) + " " + pdfNumber(m.f, offset);
}

std::string millimetres(double points)
{
    return pdfNumber(points * 25.4 / 72, 1);
}

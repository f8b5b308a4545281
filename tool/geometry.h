// Plane geometry shared by the whole tool: rectangles, PDF matrices, and numbers written
// with the precision their use needs.
#pragma once

#include <string>
#include <utility>

struct Box
{
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
    // The largest distance of any of its coordinates from 0.
    double reach() const;
};

// The part two boxes share (empty, with a negative size, when they do not meet).
Box intersection(const Box &a, const Box &b);

// PDF matrix [a b c d e f]: x' = a x + c y + e, y' = b x + d y + f.
struct Matrix
{
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;

    std::pair<double, double> map(double x, double y) const { return {a * x + c * y + e, b * x + d * y + f}; }
    Box apply(const Box &box) const;  // bounding box of the transformed box
    // This matrix followed by `next`.
    Matrix then(const Matrix &next) const;
    // The identity when the matrix cannot be inverted.
    Matrix inverted() const;
    // Only scales, uniformly and without a turn or a mirror.
    bool isUprightScale() const;
};

// `value` in the notation of PDF (fixed, never an exponent), rounded to at most `decimals`
// places, without trailing zeros. Values that are not finite, or too large for any reader,
// come out as 0 and as the largest allowed value respectively.
std::string pdfNumber(double value, int decimals);
// Points in millimetres with one decimal, without a trailing ".0": "209.9", "85".
std::string millimetres(double points);

// The places a number needs so that rounding moves it by no more than `tolerance`.
int decimalsFor(double tolerance);

// The six operands of a matrix, separated by blanks, written so that no point within
// `reach` of the origin moves by more than `tolerance` through rounding.
std::string matrixOperands(const Matrix &m, double reach, double tolerance);

// N-up imposition: the layout maths (pure) and the imposition of a PDF with qpdf.
#pragma once

#include "options.h"

class QPDF;

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

struct Box
{
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    double width() const { return x1 - x0; }
    double height() const { return y1 - y0; }
};

// PDF matrix [a b c d e f]: x' = a x + c y + e, y' = b x + d y + f.
struct Matrix
{
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;
    Box apply(const Box &box) const;  // bounding box of the transformed box
};

// Maps a page's visible box, drawn in user units of `userUnit` points, to the origin,
// turned clockwise by `rotation` degrees: the result spans (0,0) to its size in points.
Matrix orientPage(const Box &visible, int rotation, double userUnit = 1);

struct SheetLayout
{
    double sheetWidth = 0, sheetHeight = 0;  // points
    double cellWidth = 0, cellHeight = 0;
    // Lower-left corner of each cell in filling order (columns*rows of them).
    std::vector<std::pair<double, double>> cells;
    // Separator line segments (x0, y0, x1, y1), empty without lines.
    std::vector<Box> lines;
};

struct LayoutError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// The sheet for pages of the given oriented sizes (points); throws when no room is left.
SheetLayout computeLayout(const Options &options, const std::vector<std::pair<double, double>> &pageSizes);

// Scale of a page of size (w, h) in a cell of the layout.
double pageScale(const Options &options, const SheetLayout &layout, double w, double h);

// Receives progress percentages, 0 to 100, rising.
using ProgressFn = std::function<void(int)>;

struct ImposeError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// Name of the partial output while it is being written (empty otherwise), so that a
// signal handler can remove it.
extern char g_partialOutput[4096];

// Imposes options.input into options.output, writing atomically. Warnings about damaged
// input go to `warn`. Throws ImposeError (or qpdf's exceptions) on failure.
// With `keepDocument`, the parsed document is handed over instead of being destroyed: a
// process about to exit can leave taking it apart (a large part of the run's time on big
// documents) to the system.
void impose(const Options &options, const ProgressFn &progress,
            const std::function<void(const std::string &)> &warn,
            std::unique_ptr<QPDF> *keepDocument = nullptr);

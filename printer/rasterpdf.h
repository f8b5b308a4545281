// Pages that arrive as pictures (JPEG, PWG raster) made into a PDF: each page one image at
// its own resolution, the page as large as the picture at that resolution.
#pragma once

#include <string>
#include <vector>

struct RasterPage
{
    unsigned width = 0, height = 0;  // pixels
    unsigned components = 3;         // 1 grey, 3 RGB; 8 bits each
    double xResolution = 300, yResolution = 300;  // pixels per inch
    std::string pixels;              // rows from the top, width * components bytes each
};

// The PDF's bytes; throws std::exception where qpdf cannot write it.
std::string pdfOfPages(const std::vector<RasterPage> &pages);

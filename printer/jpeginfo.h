// What a JPEG file says of itself, read from its markers alone (nothing is decoded): its size
// in pixels, its colours, its resolution and which way up it is shown. Every length is checked
// against the bytes there are.
#pragma once

#include <cstddef>
#include <string>

struct JpegInfo
{
    unsigned width = 0, height = 0;  // pixels, as stored
    unsigned components = 0;         // 1 grey, 3 colour, 4 CMYK
    bool invertedCmyk = false;       // an Adobe CMYK JPEG, stored inverted
    double xResolution = 0, yResolution = 0;  // pixels per inch; 0 where the file says none
    int orientation = 1;             // as Exif numbers it: 1 upright ... 8 turned a quarter
};

// The JPEG's facts, or false with `error` set where the bytes are no JPEG this can place.
bool readJpegInfo(const unsigned char *bytes, std::size_t size, JpegInfo &info, std::string &error);

// The transformation that shows a JPEG of `info` upright on a page of `pageWidth` by
// `pageHeight` points (its own size, turned where its orientation says): the six numbers
// of a PDF "cm" that maps the unit square of the image onto the page.
struct PageOfJpeg
{
    double width = 0, height = 0;  // points
    double matrix[6] = {1, 0, 0, 1, 0, 0};
};
PageOfJpeg pageOfJpeg(const JpegInfo &info);

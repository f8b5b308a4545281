// Where a page draws something: the boxes that its marks cover, in the page's user space,
// found by reading its drawing (its forms' too) and the samples of its pictures, without
// rendering it. Paint in white, invisible text and a scan's specks are no ink; what cannot be
// read (a picture in a format qpdf does not decode) is taken as ink wherever it lies, so that
// nothing is ever taken for blank that might not be.
#pragma once

#include "geometry.h"

#include <qpdf/QPDFObjectHandle.hh>

#include <vector>

// The ink of a page (its /Contents and /Resources), in its user space.
std::vector<Box> inkOf(QPDFObjectHandle page);

// Whether any ink lies inside `area` (not merely touching its edge).
bool inkWithin(const std::vector<Box> &ink, const Box &area);

// The blocks of a picture's samples that hold ink: boxes in the picture's own square (0,0 at
// the bottom left, 1,1 at the top right). `darkness` gives each sample's darkness, 0 (paper)
// to 1, by row from the top; `width` by `height` samples.
std::vector<Box> inkedBlocks(const std::vector<float> &darkness, size_t width, size_t height);

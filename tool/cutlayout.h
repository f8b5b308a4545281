// Imposed sheets cut back into their pages, pure maths: which side of the input each page
// comes from, where its cell lies there, and how it is set upright. The imposition's own plan
// (planSides, planSide) says where each page landed on its sheet; a page cut out is its cell
// seen through the inverse of that landing, so that whatever the imposition did (an order, a
// booklet's folds, creep, a back turned or moved) is undone by the very lines that did it.
#pragma once

#include "layout.h"

#include <string>
#include <vector>

struct CutPage
{
    int side = -1;                 // index into the input's sides; -1 where the scan lacks it
    Matrix cm;                     // from the side's user space to the page's
    double width = 0, height = 0;  // the page, in points
    Box cell;                      // the cell, in the side's user space
    int sheet = 0;                 // the sheet it was cut from, from 0, as imposed
    bool back = false;
};

struct CutPlan
{
    std::vector<CutPage> pages;  // in reading order
    std::vector<int> turns;      // by input side: the quarter turn that set it upright (0, 90, 270)
    bool twoSided = false;
    size_t sheets = 0;
};

// The pages cut from `sides` (the selected input pages: visible box, turn, unit) imposed as
// `options` say. Throws ImposeError where the scan's order cannot hold the sides given, and
// LayoutError where the margins and gutters leave no room for a cell.
CutPlan planCut(const Options &options, const std::vector<PageGeometry> &sides);

// Where the sides stand in the imposition's order: by position (front, back, front, ...),
// the input side there, or -1 where the scan lacks one. Throws ImposeError where all fronts
// then all backs are not as many fronts as backs.
std::vector<int> imposedOrder(ScanOrder scan, bool twoSided, size_t sides);

// The turn that sets a scanned side upright: where its cells come out nearer a page's
// proportions turned by a quarter than as they are, or (where both are alike, as in a 2 by 2
// grid) where it lies otherwise than most sides; a front anticlockwise, a back clockwise, as
// a sheet laid on the scanner turned one way shows its back turned the other.
int uprightTurn(const Options &options, const PageGeometry &side, bool back, bool portraitMost);

// The words for a page cut out: "cut from sheet 2, back".
std::string cutWords(const CutPlan &plan, const CutPage &page);

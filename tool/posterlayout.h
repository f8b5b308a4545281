// A page enlarged across a grid of sheets, pure maths: how large the page becomes, which part
// of it each sheet (a tile) shows and where, and what is drawn beside it: trim marks at the
// corners of the printed area, alignment marks where the next sheet's edge goes, the tile's
// name. Tiles overlap by the overlap: each sheet is trimmed at its printed area's left and top
// edges and laid over its neighbours to their alignment marks.
#pragma once

#include "layout.h"

#include <string>
#include <vector>

struct PosterTile
{
    int column = 0, row = 0;  // from the top left, from 0
    Matrix cm;                // from the page's user space to the sheet
    Box area;                 // what the tile shows, in the page's user space
    std::vector<Box> trims, alignment;  // segments on the sheet
};

struct PosterPlan
{
    double sheetWidth = 0, sheetHeight = 0;
    int columns = 0, rows = 0;
    double scale = 1;                          // of the page
    double posterWidth = 0, posterHeight = 0;  // the page enlarged, in points
    Box printed;                               // the printed area of every sheet
    std::vector<PosterTile> tiles;             // row by row, from the top left
    // The tiles' names: where their text starts on the sheet and its size; none where no
    // margin has room.
    bool names = false;
    double nameX = 0, nameY = 0, nameSize = 0;
    // The overview: the page drawn by `overviewCm`, each tile's outline, its name at a point.
    Matrix overviewCm;
    std::vector<Box> overviewTiles;
    std::vector<std::pair<double, double>> overviewNames;
    double overviewNameSize = 0;
    std::vector<std::string> warnings;
};

// The poster of one page (its visible box, turn and unit) as `options` say. Throws
// LayoutError where the margins and the overlap leave no room.
PosterPlan planPoster(const Options &options, const PageGeometry &page);

// A tile's name: its row as a letter (A, B, ..., Z, AA, ...), its column as a number: "B3".
std::string tileName(int row, int column);
// "B3: row 2 of 3, column 3 of 4".
std::string tileWords(const PosterPlan &plan, const PosterTile &tile);

// The way back and the way up: imposed sheets cut into their pages, and a page enlarged
// across many sheets.
#pragma once

#include "options.h"
#include "sheetsmade.h"

// The pages cut from imposed sheets (cutlayout.h), each its cell of a sheet, clipped; what
// lies on a cell (links, notes, fields) goes with it, destinations lead to the cell they
// point into; with -dropblank, pages on which nothing is drawn are left out and named.
SheetsMade buildCutPages(QPDF &pdf, const Options &options, MadeIn where, const WarnFn &warn,
                         const StageProgress &progress, PagesRead *read);
// A poster's sheets for each selected page (posterlayout.h): an overview first where asked,
// then the tiles row by row; with -dropblank, tiles on which nothing is drawn are left out.
SheetsMade buildPosterSheets(QPDF &pdf, const Options &options, MadeIn where, const WarnFn &warn,
                             const StageProgress &progress, PagesRead *read);


// The sheets of the output, built with qpdf in the document itself: each selected page
// becomes a form XObject drawn into its cell, the sheets replace the old page tree, and what
// lived beside the pages (annotations, destinations, bookmarks, the form) moves with them.
#pragma once

#include "layout.h"
#include "links.h"
#include "sheetsmade.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPDF;

// Replaces the document's pages by the sheets that hold them; with -sheets, makes only the
// sheets asked for, in a new document. The plan (layout.h) says where
// everything lands; this turns it into qpdf's objects. Throws ImposeError when nothing can be
// placed, LayoutError when the layout leaves no room.
// With -cut and -poster it makes their pages (buildCutPages, buildPosterSheets) instead.
SheetsMade buildSheets(QPDF &pdf, const Options &options, MadeIn where, const WarnFn &warn,
                       const StageProgress &progress, PagesRead *read = nullptr);

// The pages of a damaged document (numbered from 0) whose drawing could not be read at all:
// their content was cut off or could not be recovered, or their own object was (they have no
// size). The latter take the size of the pages around them, in `read`. A page that has no
// drawing by design (no /Contents, or an empty one) is not among them.
std::vector<int> unreadablePages(QPDF &pdf, PagesRead &read);

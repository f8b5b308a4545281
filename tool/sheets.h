// The sheets of the output, built with qpdf in the document itself: each selected page
// becomes a form XObject drawn into its cell, the sheets replace the old page tree, and what
// lived beside the pages (annotations, destinations, bookmarks, the form) moves with them.
#pragma once

#include "layout.h"

#include <functional>
#include <string>

class QPDF;

using WarnFn = std::function<void(const std::string &)>;
// How much of a stage is done, from 0 to 1, rising.
using StageProgress = std::function<void(double)>;

// Replaces the document's pages by the sheets that hold them. Throws ImposeError when
// nothing can be placed, LayoutError when the layout leaves no room.
void buildSheets(QPDF &pdf, const Options &options, const WarnFn &warn, const StageProgress &progress);

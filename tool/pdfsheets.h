// The sheets of the output, built with qpdf in the document itself: each selected page
// becomes a form XObject drawn into its cell, the sheets replace the old page tree, and what
// lived beside the pages (annotations, destinations, bookmarks, the form) moves with them.
#pragma once

#include "layout.h"
#include "links.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPDF;

using WarnFn = std::function<void(const std::string &)>;
// How much of a stage is done, from 0 to 1, rising.
using StageProgress = std::function<void(double)>;

struct SheetsMade
{
    size_t sides = 0;                          // output pages of the whole document
    // With -sheets (a proof): the sheets made, in the order asked, in a document of their own,
    // and the pages of the input (from 1) that each shows, by slot.
    std::unique_ptr<QPDF> document;
    std::vector<QPDFObjectHandle> proof;
    std::vector<std::vector<int>> proofPages;
    Kept kept;                                 // what the sheets hold of links, fields, bookmarks
};

// Replaces the document's pages by the sheets that hold them; with -sheets, makes only the
// sheets asked for and leaves the document as it is. The plan (layout.h) says where
// everything lands; this turns it into qpdf's objects. Throws ImposeError when nothing can be
// placed, LayoutError when the layout leaves no room.
SheetsMade buildSheets(QPDF &pdf, const Options &options, const WarnFn &warn, const StageProgress &progress);

// The sheets of the output, built with qpdf in the document itself: each selected page
// becomes a form XObject drawn into its cell, the sheets replace the old page tree, and what
// lived beside the pages (annotations, destinations, bookmarks, the form) moves with them.
#pragma once

#include "layout.h"
#include "links.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QPDF;

using WarnFn = std::function<void(const std::string &)>;
// How much of a stage is done, from 0 to 1, rising.
using StageProgress = std::function<void(double)>;

struct SheetsMade
{
    size_t sides = 0;                          // output pages of the whole document
    // Made in a new document: it, and the sheets made, in order; with -sheets (a proof) the
    // pages of the input (from 1) that each shows, by slot.
    std::unique_ptr<QPDF> document;
    std::vector<QPDFObjectHandle> sheets;
    std::vector<std::vector<int>> proofPages;
    Kept kept;                                 // what the sheets hold of links, fields, bookmarks
    std::string sizes;                         // the pages' sizes where they differ (sizes: ...)
    // With -sheets, what each output page made is where that is not a sheet of pages: "cut
    // from sheet 2, back", "Tile B3 of 12".
    std::vector<std::string> words;
};

// Where the sheets are made.
enum class MadeIn
{
    Document,     // in the document itself, replacing its pages and keeping what leads to them
    NewDocument,  // in a new document holding copies of the pages drawn, without what leads
                  // elsewhere: for a proof, and for a damaged file whose whole cannot be read
};

// Replaces the document's pages by the sheets that hold them; with -sheets, makes only the
// sheets asked for, in a new document. The plan (layout.h) says where
// everything lands; this turns it into qpdf's objects. Throws ImposeError when nothing can be
// placed, LayoutError when the layout leaves no room.
// What each page's dictionary says of its size, read once: a document that stays open for
// many proofs keeps it between them (indexed by page; empty where not yet read).
struct PageFacts
{
    bool mediaValid = false, cropValid = false, trimValid = false;
    bool trimRead = false;  // the trim box is read only for a bleed
    Box media, crop, trim;
    int rotation = 0;  // the page's own /Rotate: 0, 90, 180 or 270 degrees
    double userUnit = 1;
};
using PagesRead = std::vector<std::optional<PageFacts>>;

// With -cut and -poster it makes their pages (buildCutPages, buildPosterSheets) instead.
SheetsMade buildSheets(QPDF &pdf, const Options &options, MadeIn where, const WarnFn &warn,
                       const StageProgress &progress, PagesRead *read = nullptr);

// The pages cut from imposed sheets (cutlayout.h), each its cell of a sheet, clipped; what
// lies on a cell (links, notes, fields) goes with it, destinations lead to the cell they
// point into; with -dropblank, pages on which nothing is drawn are left out and named.
SheetsMade buildCutPages(QPDF &pdf, const Options &options, MadeIn where, const WarnFn &warn,
                         const StageProgress &progress, PagesRead *read);
// A poster's sheets for each selected page (posterlayout.h): an overview first where asked,
// then the tiles row by row; with -dropblank, tiles on which nothing is drawn are left out.
SheetsMade buildPosterSheets(QPDF &pdf, const Options &options, MadeIn where, const WarnFn &warn,
                             const StageProgress &progress, PagesRead *read);

// The pages of a damaged document (numbered from 0) whose drawing could not be read at all:
// their content was cut off or could not be recovered, or their own object was (they have no
// size). The latter take the size of the pages around them, in `read`. A page that has no
// drawing by design (no /Contents, or an empty one) is not among them.
std::vector<int> unreadablePages(QPDF &pdf, PagesRead &read);

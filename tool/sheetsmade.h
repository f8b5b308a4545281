// What building sheets gives back, and what it is given: the sheets made and where, the
// pages' facts read once, and the callbacks for warnings and progress.
#pragma once

#include "geometry.h"
#include "links.h"

#include <qpdf/QPDFObjectHandle.hh>

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


// Imposing one PDF: read the input, build the sheets, write the output safely, and report
// progress on the way.
#pragma once

#include "errors.h"
#include "links.h"
#include "options.h"
#include "pdfsheets.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QPDF;

// Receives progress percentages, 0 to 100, rising.
using ProgressFn = std::function<void(int)>;

// What a run made: the number of output pages of the whole document (also with -sheets,
// which makes only some of them) and what they kept of links, fields and bookmarks.
struct ImposeReport
{
    size_t sheets = 0;
    Kept kept;
    // With -sheets: the input's pages (from 1) on each sheet made.
    std::vector<std::vector<int>> pages;
    // The selected pages' sizes where they differ: "sizes: 12 pages of 210 x 297 mm, 2 of ...".
    std::string sizes;
    // With -sheets, what each page made is where it is no sheet of pages ("Tile B3 of 12").
    std::vector<std::string> words;
};

// Imposes options.input into options.output, which appears only when complete. Warnings
// about damaged input go to `warn`. Throws ImposeError, LayoutError, OutputError (or qpdf's
// exceptions) on failure, and UsageError for an option the document shows to be wrong.
// With `keepDocument`, the parsed document is handed over instead of being destroyed: a
// process about to exit can leave taking it apart (a large part of the run's time on big
// documents) to the system.
ImposeReport impose(const Options &options, const ProgressFn &progress,
                    const std::function<void(const std::string &)> &warn,
                    std::unique_ptr<QPDF> *keepDocument = nullptr);

// The line that says what was kept: "kept: 1404 links, 12 form fields, 80 bookmarks; dropped: 0".
std::string keptLine(const Kept &kept);

// Proofs from a document opened once (the sheets window's server): the input read, and then
// for each request some sheets (options.files.proofSheets) made in a new document and written
// into memory. Throws as impose() does.
// `read` gets what reading found of the pages (a damaged file's lost pages, sized by their
// neighbours), kept for every proof.
std::unique_ptr<QPDF> openForProofs(const Options &options, const std::function<void(const std::string &)> &warn,
                                    PagesRead &read);
// `read` keeps what was read of the pages for the next proof of the same document.
std::string proofOf(QPDF &document, const Options &options, const std::function<void(const std::string &)> &warn,
                    ImposeReport &report, PagesRead &read);

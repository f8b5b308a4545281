// A PDF cut short, as a download that stopped leaves it: its objects are there up to the cut,
// its cross-reference table and trailer are not, and qpdf's own recovery, which needs a
// trailer, gives up. The objects are found by their headers; a trailer is added that points
// at the document's catalog, or, where the catalog is lost too, at a catalog and a page tree
// made of the page objects found.
#pragma once

#include <string>
#include <vector>

struct CutShort
{
    // The file with a trailer added, each way worth trying in turn: through its own catalog,
    // then through a page tree of the page objects found in file order. Empty when the file
    // shows no catalog and no page.
    std::vector<std::string> mended;
    size_t pageObjects = 0;  // page objects found
};

CutShort mendCutShort(const std::string &bytes);

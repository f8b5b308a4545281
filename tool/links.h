// Keeps what lives beside a page's content when the page moves onto a sheet: its
// annotations (links, notes, markup, form widgets) and the destinations that point at it
// (internal links, named destinations, bookmarks, the document's open action).
#pragma once

#include "geometry.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFAcroFormDocumentHelper.hh>

#include <map>
#include <memory>
#include <set>
#include <vector>

// Where one source page landed: the sheet, the matrix from the page's space to the
// sheet's, its visible area in the page's space, and the decimals that positions on the
// sheet need.
struct Placement
{
    QPDFObjectHandle sheet;
    Matrix cm;
    Box visible;
    int decimals = 2;
};

class LinkKeeper
{
public:
    // `pages` are the document's pages in order, before imposition.
    LinkKeeper(QPDF &pdf, const std::vector<QPDFObjectHandle> &pages);

    // Copies the page's annotations onto its sheet, moved with the page. Call once for
    // every placement, in sheet order.
    void place(int pageIndex, const Placement &placement);

    // Points destinations at the sheets and tidies the form. Call once, after every
    // placement and after the sheets replaced the old page tree.
    void finish();

    // The old pages are referenced by nothing that is written: their objects become null,
    // which frees their memory for the sheets and the writer; their annotations stay
    // known. A page is released once its content and boxes have been read; finish()
    // releases those that are left.
    void releasePage(int pageIndex);
    void releaseOldPages();

private:
    // A destination array aimed at a sheet, or a null handle when its page was not placed
    // and `nearest` is false. With `nearest`, such a destination goes to the nearest
    // following placed page (or, after the last one, the nearest preceding).
    QPDFObjectHandle retarget(QPDFObjectHandle dest, bool nearest) const;
    // Points item[key], a destination or a GoTo action holding one, at a sheet by replacing
    // it with a new object (the old one may be shared). False when its page was left out:
    // the key is then removed. A destination that names no page of the document is left.
    bool retargetKey(QPDFObjectHandle item, const char *key, bool nearest) const;
    // The same for the /Dest and /A of an annotation or a bookmark.
    bool retargetItem(QPDFObjectHandle item, bool nearest) const;
    void retargetNamedDestinations();
    void retargetOutline();
    void moveAnnotation(QPDFObjectHandle annot, const Placement &placement);
    void tidyForm();

    QPDF &m_pdf;
    std::vector<QPDFObjectHandle> m_pages;    // until they are released
    std::vector<QPDFObjectHandle> m_annots;   // each page's annotations, or none
    std::map<QPDFObjGen, int> m_pageIndex;
    std::map<int, Placement> m_first;  // first placement of each placed page
    std::unique_ptr<QPDFAcroFormDocumentHelper> m_form;  // only for pages placed twice
    std::vector<QPDFObjectHandle> m_newAnnotations;       // every annotation on a sheet
    std::set<QPDFObjGen> m_moved;
    std::set<QPDFObjGen> m_turnedAppearances;
};

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
#include <string>
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

// What imposition kept, counted on the sheets, and how many items it could not keep.
struct Kept
{
    size_t links = 0, fields = 0, bookmarks = 0, dropped = 0;
};

class LinkKeeper
{
public:
    // `pages` are the document's pages in order, before imposition (those that are not
    // drawn may be left uninitialized).
    LinkKeeper(QPDF &pdf, const std::vector<QPDFObjectHandle> &pages);

    // Copies the page's annotations onto its sheet, moved with the page. Call once for
    // every placement, in sheet order.
    void place(int pageIndex, const Placement &placement);

    // A page shown in parts on several new pages (sheets cut apart into their cells, a page
    // enlarged across a poster's tiles), each part its `visible` area: each annotation goes,
    // moved, with the part that holds most of it (a note's window with its note), and a
    // destination leads to the part that holds its point. Call once for every such page, with
    // all its parts in the output's order, instead of place().
    void placeParts(int pageIndex, const std::vector<Placement> &parts);

    // Points destinations at the sheets and tidies the form. Call once, after every
    // placement and after the sheets replaced the old page tree.
    void finish();

    // The old pages are referenced by nothing that is written: their objects become null,
    // which frees their memory for the sheets and the writer; their annotations stay
    // known. A page is released once its content and boxes have been read; finish()
    // releases those that are left.
    void releasePage(int pageIndex);
    void releaseOldPages();

    // For a preview of some sheets instead of finish(): links and fields lose what leads to
    // sheets that are not made.
    void forgetDestinations();

    // After finish(): what was kept, and each item that was not, in words ("a link on page
    // 3 whose target page is not imposed").
    Kept kept() const;
    const std::vector<std::string> &dropped() const { return m_dropped; }

private:
    // A destination array aimed at a sheet, or a null handle when its page was not placed
    // and `nearest` is false. With `nearest`, such a destination goes to the nearest
    // following placed page (or, after the last one, the nearest preceding).
    QPDFObjectHandle retarget(QPDFObjectHandle dest, bool nearest) const;
    // The placement of a page that a destination on it leads to: of a page in parts, the part
    // that holds the destination's point.
    const Placement &placementFor(int pageIndex, const Placement &first, QPDFObjectHandle dest) const;
    // Points item[key], a destination or a GoTo action holding one, at a sheet by replacing
    // it with a new object (the old one may be shared). False when its page was left out:
    // the key is then removed. A destination that names no page of the document is left.
    bool retargetKey(QPDFObjectHandle item, const char *key, bool nearest) const;
    // The same for the /Dest and /A of an annotation or a bookmark.
    bool retargetItem(QPDFObjectHandle item, bool nearest) const;
    void retargetNamedDestinations();
    void retargetOutline();
    // An annotation placed on a sheet, with its rectangle there.
    struct Placed
    {
        QPDFObjectHandle annot;
        Box rect;
        bool written;  // the rectangle in the file is `rect` already
    };
    std::vector<Placed> moved(QPDFObjectHandle annots, const Placement &placement);
    std::vector<Placed> copied(QPDFObjectHandle annots, int pageIndex, const Placement &placement);
    void putOnSheet(std::vector<Placed> placed, int pageIndex, const Placement &placement);
    void moveAnnotation(QPDFObjectHandle annot, const Placement &placement);
    void tidyForm();

    QPDF &m_pdf;
    std::vector<QPDFObjectHandle> m_pages;    // until they are released
    std::vector<QPDFObjectHandle> m_annots;   // each page's annotations, or none
    std::map<QPDFObjGen, int> m_pageIndex;
    std::map<int, Placement> m_first;  // first placement of each placed page
    std::map<int, std::vector<Placement>> m_parts;  // the parts of a page shown in parts
    std::unique_ptr<QPDFAcroFormDocumentHelper> m_form;  // only for pages placed twice
    struct Annotation
    {
        QPDFObjectHandle annot;
        int page;  // where it came from
    };
    std::vector<Annotation> m_newAnnotations;  // every annotation on a sheet
    std::vector<QPDFObjectHandle> m_sheets;    // the sheets that hold annotations
    std::set<QPDFObjGen> m_sheetsWithAnnotations;
    std::vector<std::string> m_dropped;
    std::set<QPDFObjGen> m_moved;
    std::set<QPDFObjGen> m_turnedAppearances;
    std::set<std::string> m_deadNames;  // named destinations whose page is not imposed
};

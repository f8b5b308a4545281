// The parts the tool builds its output of with qpdf, whatever it makes of the pages (sheets,
// pages cut apart, a poster's tiles): what a page's dictionary says of its size, a page's
// drawing as a form XObject, a proof's copy of a page, what the output keeps and drops.
#pragma once

#include "layout.h"
#include "links.h"
#include "sheetsmade.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

// A box of the file, ordered and of a size; false where it is none.
bool boxFrom(QPDFObjectHandle array, Box &box);
// A rectangle array, its numbers with `decimals` places.
QPDFObjectHandle rectangle(const Box &b, int decimals);
// A stream holding `data` compressed: the writer leaves streams as it finds them.
QPDFObjectHandle compressedStream(QPDF &pdf, const std::string &data);

// What the page's dictionary says of its boxes, turn and unit; its trim box only where it is
// wanted (with a bleed).
PageFacts readFacts(QPDFPageObjectHelper &page, bool trim);
// Whether a page's drawing was lost: it names content that is cut off, or that could not be
// recovered, and none of it can be read.
bool drawingLost(QPDF &pdf, QPDFPageObjectHelper &page);
// The page's visible area, turn and unit.
PageGeometry geometryOf(const PageFacts &f, int index, const Options &o, const WarnFn &warn);
// The geometry of every selected page, each read once (`read` keeps it for the next proof),
// each page's warnings said once.
std::vector<PageGeometry> selectedGeometry(std::vector<QPDFPageObjectHelper> &pages, const std::vector<int> &selected,
                                           const Options &o, const WarnFn &warn, PagesRead &read);

// The forms made so far. A content stream becomes a form once; pages that share a content
// stream share its form too where nothing else tells them apart, and get copies otherwise.
struct Forms
{
    using Key = std::tuple<QPDFObjGen, QPDFObjGen, QPDFObjGen, double, double, double, double>;
    std::set<QPDFObjGen> usedStreams;
    std::map<Key, QPDFObjectHandle> shared;
    // Values that many forms hold alike, made once: the subtype, and the box of each page
    // size, an object of its own that each form names (shorter than the box itself).
    QPDFObjectHandle subtype = QPDFObjectHandle::newName("/Form");
    std::map<std::tuple<double, double, double, double>, QPDFObjectHandle> boxes;
    QPDFObjectHandle box(QPDF &pdf, const Box &b)
    {
        QPDFObjectHandle &made = boxes[{b.x0, b.y0, b.x1, b.y1}];
        if (!made.isInitialized())
            made = pdf.makeIndirectObject(rectangle(b, decimalsFor(0.0005)));
        return made;
    }
};

QPDFObjectHandle formOf(QPDF &pdf, QPDFPageObjectHelper &page, const Box &visible, Forms &forms, const WarnFn &warn);

// A page copied into `proof` as it is drawn, without what leads to other pages.
QPDFObjectHandle proofCopy(QPDF &proof, QPDFPageObjectHelper &page);
// Drops what describes the old pages one by one and has no meaning for the new ones: page
// labels, the structure tree and article threads.
void dropPageReferences(QPDF &pdf);
// The output pages made: all `count` of them, or those asked for (-sheets); throws
// NoSuchSheet where none of those is made.
std::vector<size_t> wantedSides(const Options &o, size_t count);
// Where links lead when the new pages replace the old ones in their own document; what had
// to go, said.
void finishLinks(LinkKeeper &links, SheetsMade &made, const WarnFn &warn);

// A text in the text font's encoding, as a PDF string: "(B3: row 2 of 3)".
std::string pdfText(const std::string &utf8);
// The text font, as a /Font resource dictionary naming it /FSlug (Helvetica).
QPDFObjectHandle textFonts();

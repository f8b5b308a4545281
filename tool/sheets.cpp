#include "sheets.h"

#include "impose.h"
#include "links.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <set>
#include <tuple>

namespace {

bool boxFrom(QPDFObjectHandle array, Box &box)
{
    if (!array.isRectangle())
        return false;
    const auto r = array.getArrayAsRectangle();
    box = {std::min(r.llx, r.urx), std::min(r.lly, r.ury), std::max(r.llx, r.urx), std::max(r.lly, r.ury)};
    return box.width() > 0 && box.height() > 0 && std::isfinite(box.width()) && std::isfinite(box.height());
}

QPDFObjectHandle rectangle(const Box &b, int decimals)
{
    return QPDFObjectHandle::newArray({QPDFObjectHandle::newReal(pdfNumber(b.x0, decimals)),
                                       QPDFObjectHandle::newReal(pdfNumber(b.y0, decimals)),
                                       QPDFObjectHandle::newReal(pdfNumber(b.x1, decimals)),
                                       QPDFObjectHandle::newReal(pdfNumber(b.y1, decimals))});
}

// A stream holding `data` compressed: the writer leaves streams as it finds them.
QPDFObjectHandle compressedStream(QPDF &pdf, const std::string &data)
{
    Pl_Buffer buffer("sheet contents");
    Pl_Flate deflate("sheet contents", &buffer, Pl_Flate::a_deflate);
    deflate.writeString(data);
    deflate.finish();
    QPDFObjectHandle stream = QPDFObjectHandle::newStream(&pdf);
    std::unique_ptr<Buffer> compressed(buffer.getBuffer());
    stream.replaceStreamData(std::string(reinterpret_cast<const char *>(compressed->getBuffer()), compressed->getSize()),
                             QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newNull());
    return stream;
}

// Passes data on but keeps the next pipeline open: each content stream "finishes".
class KeepOpen : public Pipeline
{
public:
    explicit KeepOpen(Pipeline *next) : Pipeline("keep open", next) {}
    void write(unsigned char const *data, size_t len) override { getNext()->write(data, len); }
    void finish() override {}
};

// Concatenates the content streams of a page whose /Contents is an array.
class JoinedContents : public QPDFObjectHandle::StreamDataProvider
{
public:
    JoinedContents(QPDFObjectHandle array, WarnFn warn) : m_array(array), m_warn(std::move(warn)) {}
    void provideStreamData(QPDFObjGen const &, Pipeline *pipeline) override
    {
        // Compressed here: the writer leaves every stream as it finds it.
        Pl_Flate deflate("joined contents", pipeline, Pl_Flate::a_deflate);
        KeepOpen open(&deflate);
        for (QPDFObjectHandle item : m_array.aitems()) {
            if (!item.isStream())
                continue;
            if (!item.pipeStreamData(&open, 0, qpdf_dl_generalized, true))
                m_warn("a content stream of a page could not be read; part of the page may be missing");
            open.writeCStr("\n");
        }
        deflate.finish();
    }

private:
    QPDFObjectHandle m_array;
    WarnFn m_warn;
};

struct PlacedPage
{
    PageGeometry geometry;
    QPDFObjectHandle form;
};

// The page's visible area, turn and unit, read from its dictionary.
PageGeometry geometryOf(QPDFPageObjectHelper &page, int index, const Options &o, const WarnFn &warn)
{
    PageGeometry g;
    Box media;
    if (!boxFrom(page.getMediaBox(), media)) {
        warn("page " + std::to_string(index + 1) + " has no valid MediaBox; US Letter is assumed");
        media = {0, 0, 612, 792};
    }
    Box crop;
    g.visible = media;
    if (boxFrom(page.getCropBox(), crop)) {
        const Box cut = intersection(crop, media);
        if (cut.width() > 0 && cut.height() > 0)
            g.visible = cut;
    }
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    int own = 0;
    if (rotate.isNumber() && std::isfinite(rotate.getNumericValue()))
        own = int(std::lround(std::fmod(rotate.getNumericValue(), 360) / 90)) * 90;
    g.rotation = (((own + o.rotation) % 360) + 360) % 360;
    QPDFObjectHandle unit = page.getObjectHandle().getKey("/UserUnit");
    if (unit.isNumber() && unit.getNumericValue() > 0 && std::isfinite(unit.getNumericValue()))
        g.userUnit = unit.getNumericValue();
    return g;
}

// The forms made so far. A content stream becomes a form once; pages that share a content
// stream share its form too where nothing else tells them apart, and get copies otherwise.
struct Forms
{
    using Key = std::tuple<QPDFObjGen, QPDFObjGen, QPDFObjGen, double, double, double, double>;
    std::set<QPDFObjGen> usedStreams;
    std::map<Key, QPDFObjectHandle> shared;
    // Values that many forms hold alike, made once: the subtype, and the box of each page
    // size (values never changed afterwards, so one object serves them all).
    QPDFObjectHandle subtype = QPDFObjectHandle::newName("/Form");
    std::map<std::tuple<double, double, double, double>, QPDFObjectHandle> boxes;
    QPDFObjectHandle box(const Box &b)
    {
        QPDFObjectHandle &made = boxes[{b.x0, b.y0, b.x1, b.y1}];
        if (!made.isInitialized())
            made = rectangle(b, decimalsFor(0.0005));
        return made;
    }
};

// The page's content as a form XObject. The page's own content stream becomes the form: its
// compressed data is copied as it is, never decoded and compressed again.
QPDFObjectHandle formOf(QPDF &pdf, QPDFPageObjectHelper &page, const Box &visible, Forms &forms, const WarnFn &warn)
{
    QPDFObjectHandle pageObj = page.getObjectHandle();
    QPDFObjectHandle resources = page.getAttribute("/Resources", false);
    QPDFObjectHandle group = pageObj.getKey("/Group");
    QPDFObjectHandle contents = pageObj.getKey("/Contents");
    QPDFObjectHandle form;
    std::optional<Forms::Key> key;
    if (contents.isStream()) {
        if ((resources.isIndirect() || !resources.isDictionary()) && (group.isIndirect() || !group.isDictionary())) {
            key = Forms::Key{contents.getObjGen(), resources.isIndirect() ? resources.getObjGen() : QPDFObjGen(),
                             group.isIndirect() ? group.getObjGen() : QPDFObjGen(), visible.x0, visible.y0, visible.x1,
                             visible.y1};
            const auto found = forms.shared.find(*key);
            if (found != forms.shared.end())
                return found->second;
        }
        form = forms.usedStreams.insert(contents.getObjGen()).second ? contents : contents.copyStream();
    } else {
        form = pdf.newStream();
        if (contents.isArray()) {
            form.replaceStreamData(std::make_shared<JoinedContents>(contents, warn),
                                   QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newNull());
        } else {
            form.replaceStreamData("", QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());  // a blank page
        }
    }
    QPDFObjectHandle dict = form.getDict();
    dict.removeKey("/Type");  // optional for a form, and a few bytes on every page
    dict.replaceKey("/Subtype", forms.subtype);
    dict.replaceKey("/BBox", forms.box(visible));
    dict.removeKey("/Matrix");
    dict.replaceKey("/Resources", resources.isDictionary() ? resources : QPDFObjectHandle::newDictionary());
    if (group.isDictionary())
        dict.replaceKey("/Group", group);
    if (key)
        forms.shared.emplace(*key, form);
    return form;
}

// Drops what describes the old pages one by one and has no meaning for sheets: page
// labels, the structure tree and article threads. (Bookmarks, named destinations and the
// form are kept and pointed at the sheets.)
void dropPageReferences(QPDF &pdf)
{
    QPDFObjectHandle root = pdf.getRoot();
    for (const char *key : {"/PageLabels", "/StructTreeRoot", "/Threads"})
        root.removeKey(key);
}

} // namespace

void buildSheets(QPDF &pdf, const Options &o, const WarnFn &warn, const StageProgress &progress)
{
    // Shares of the stage, by the time each part takes on large documents.
    constexpr double kPagesRead = 0.35, kPagesPrepared = 0.55, kSheetsBuilt = 0.8;
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (pages.empty())
        throw ImposeError(o.input + " has no pages");
    progress(kPagesRead);
    const std::vector<int> selected = selectPages(o.selection, o.pageList, int(pages.size()));
    if (selected.empty())
        throw ImposeError("no page of " + o.input + " is selected");

    std::vector<QPDFObjectHandle> pageObjects;
    for (QPDFPageObjectHelper &page : pages)
        pageObjects.push_back(page.getObjectHandle());
    LinkKeeper links(pdf, pageObjects);
    pageObjects.clear();

    // Each selected page once: its geometry and form XObject. Then the page itself is no
    // longer needed, and what it held makes room for the next.
    std::map<int, PlacedPage> placed;
    Forms forms;
    std::vector<std::pair<double, double>> sizes;
    for (size_t i = 0; i < selected.size(); ++i) {
        const int index = selected[i];
        if (placed.count(index))
            continue;
        QPDFPageObjectHelper &page = pages.at(size_t(index));
        PlacedPage p;
        p.geometry = geometryOf(page, index, o, warn);
        p.form = formOf(pdf, page, p.geometry.visible, forms, warn);
        sizes.emplace_back(p.geometry.width(), p.geometry.height());
        placed.emplace(index, p);
        links.releasePage(index);
        progress(kPagesRead + (kPagesPrepared - kPagesRead) * double(i) / double(selected.size()));
    }

    const Options grid = gridOptions(o);
    const SheetLayout layout = computeLayout(grid, sizes);
    if (o.booklet && o.creep > layout.cellWidth)
        throw UsageError("the creep of " + pdfNumber(o.creep, 2) + " pt is larger than the page, "
                         + pdfNumber(layout.cellWidth, 2) + " pt wide (after -creep)");
    const double unit = layout.userUnit;
    const double tolerance = sheetTolerance(layout);
    const int decimals = decimalsFor(tolerance);
    auto number = [decimals](double v) { return pdfNumber(v, decimals); };
    const std::string colour = pdfNumber(o.lineRed / 255.0, 4) + " " + pdfNumber(o.lineGreen / 255.0, 4) + " "
                               + pdfNumber(o.lineBlue / 255.0, 4) + " RG\n";
    // Drawn over the pages: separator lines, frames, trim marks.
    std::string lines;
    if (!layout.lines.empty()) {
        lines = "q " + pdfNumber(0.5 / unit, decimals + 1) + " w " + colour;
        for (const Box &l : layout.lines)
            lines += number(l.x0 / unit) + " " + number(l.y0 / unit) + " m " + number(l.x1 / unit) + " " + number(l.y1 / unit)
                     + " l S\n";
        lines += "Q\n";
    }
    auto marks = [&](const std::vector<Box> &landed) {
        std::string drawn;
        if (o.frameWidth > 0) {
            const double w = o.frameWidth / unit;
            drawn += "q " + pdfNumber(w, decimals + 1) + " w " + (o.lines ? colour : std::string("0 G\n"));
            for (const Box &b : landed)  // just outside the page, so that it covers none of it
                drawn += number(b.x0 - w / 2) + " " + number(b.y0 - w / 2) + " " + number(b.width() + w) + " "
                         + number(b.height() + w) + " re S\n";
            drawn += "Q\n";
        }
        if (o.cropMarks > 0) {
            drawn += "q " + pdfNumber(0.25 / unit, decimals + 1) + " w 0 G\n";
            for (const Box &m : cropMarks(landed, o.cropMarks / unit, kCropMarkOffset / unit))
                drawn += number(m.x0) + " " + number(m.y0) + " m " + number(m.x1) + " " + number(m.y1) + " l S\n";
            drawn += "Q\n";
        }
        return drawn;
    };

    QPDFObjectHandle pagesNode = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages /Kids [] /Count 0 >>"));
    QPDFObjectHandle kids = pagesNode.getKey("/Kids");
    links.releaseOldPages();
    // Alike on every sheet, made once.
    const QPDFObjectHandle pageType = QPDFObjectHandle::newName("/Page");
    const QPDFObjectHandle mediaBox = rectangle({0, 0, layout.sheetWidth / unit, layout.sheetHeight / unit}, decimals);
    const std::vector<SheetSide> sides = planSides(o, selected.size());
    for (size_t s = 0; s < sides.size(); ++s) {
        const SheetSide &side = sides[s];
        QPDFObjectHandle sheet = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
        std::string content;
        QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
        std::vector<Box> landed;
        for (size_t k = 0; k < side.cells.size(); ++k) {
            if (side.cells[k] == SheetSide::kBlank)
                continue;  // padding carries nothing
            const int index = selected.at(size_t(side.cells[k]));
            const PlacedPage &p = placed.at(index);
            const Matrix m = placePage(grid, layout, k, p.geometry, k == 0 ? side.creep : -side.creep);
            const std::string name = "/Fx" + std::to_string(k + 1);
            xobjects.replaceKey(name, p.form);
            content += "q " + matrixOperands(m, p.geometry.visible.reach(), tolerance) + " cm " + name + " Do Q\n";
            links.place(index, {sheet, m, p.geometry.visible, decimals});
            landed.push_back(m.apply(p.geometry.visible));
        }
        content += lines + marks(landed);

        sheet.replaceKey("/Type", pageType);
        sheet.replaceKey("/Parent", pagesNode);
        sheet.replaceKey("/MediaBox", mediaBox);
        if (unit != 1)
            sheet.replaceKey("/UserUnit", QPDFObjectHandle::newReal(pdfNumber(unit, 3)));
        QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        sheet.replaceKey("/Resources", resources);
        sheet.replaceKey("/Contents", compressedStream(pdf, content));
        kids.appendItem(sheet);
        progress(kPagesPrepared + (kSheetsBuilt - kPagesPrepared) * double(s) / double(sides.size()));
    }
    pagesNode.replaceKey("/Count", QPDFObjectHandle::newInteger(kids.getArrayNItems()));
    dropPageReferences(pdf);
    pdf.getRoot().replaceKey("/Pages", pagesNode);
    pdf.updateAllPagesCache();
    progress(kSheetsBuilt);
    links.finish();
    progress(1);
}

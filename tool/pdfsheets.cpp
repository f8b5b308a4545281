#include "pdfsheets.h"

#include "errors.h"
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
#include <cstdlib>
#include <ctime>
#include <filesystem>
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

// What the page's dictionary says of its boxes, turn and unit; its trim box only where it is
// wanted (with a bleed).
PageFacts readFacts(QPDFPageObjectHelper &page, bool trim)
{
    PageFacts f;
    f.mediaValid = boxFrom(page.getMediaBox(), f.media);
    f.cropValid = boxFrom(page.getCropBox(), f.crop);
    f.trimRead = trim;
    if (trim)
        f.trimValid = boxFrom(page.getTrimBox(), f.trim);
    QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
    if (rotate.isNumber() && std::isfinite(rotate.getNumericValue()))
        f.rotation = int(std::lround(std::fmod(rotate.getNumericValue(), 360) / 90)) * 90;
    QPDFObjectHandle pageObject = page.getObjectHandle();
    QPDFObjectHandle unit = pageObject.hasKey("/UserUnit") ? pageObject.getKey("/UserUnit") : QPDFObjectHandle::newNull();
    if (unit.isNumber() && unit.getNumericValue() > 0 && std::isfinite(unit.getNumericValue()))
        f.userUnit = unit.getNumericValue();
    return f;
}

// The page's visible area, turn and unit.
PageGeometry geometryOf(const PageFacts &f, int index, const Options &o, const WarnFn &warn)
{
    PageGeometry g;
    Box media = f.media;
    if (!f.mediaValid) {
        warn("page " + std::to_string(index + 1) + " has no valid MediaBox; US Letter is assumed");
        media = {0, 0, 612, 792};
    }
    // A box of the page where it is valid and meets the media: `into` takes its part of it.
    const auto withinMedia = [&media](bool valid, const Box &box, Box &into) {
        if (!valid)
            return;
        const Box cut = intersection(box, media);
        if (cut.width() > 0 && cut.height() > 0)
            into = cut;
    };
    g.visible = media;
    withinMedia(f.cropValid, f.crop, g.visible);
    g.art = g.visible;
    if (o.room.trim) {
        // Placed by its trim (the crop box where it has none); all its media may show
        // beyond it, as far as the bleed lets it.
        g.art = media;
        withinMedia(f.trimValid, f.trim, g.visible);
    }
    g.rotation = (((f.rotation + o.pages.rotation) % 360) + 360) % 360;
    g.userUnit = f.userUnit;
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
    dict.replaceKey("/BBox", forms.box(pdf, visible));
    dict.removeKey("/Matrix");
    dict.replaceKey("/Resources", resources.isDictionary() ? resources : QPDFObjectHandle::newDictionary());
    if (group.isDictionary())
        dict.replaceKey("/Group", group);
    if (key)
        forms.shared.emplace(*key, form);
    return form;
}

// The slug line's words: which file, sheet and side this is, and when it was made; the plan
// says where they go.
class SlugText
{
public:
    SlugText(const Options &o, size_t sides)
        : m_sides(sides), m_twoSided(o.booklet.on || o.twoSided.duplex != Duplex::None)
    {
        m_name = latin1(std::filesystem::u8path(o.files.input).filename().u8string());
        m_date = today();
    }
    static QPDFObjectHandle fonts()
    {
        return QPDFObjectHandle::parse("<< /FSlug << /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                                       "/Encoding /WinAnsiEncoding >> >>");
    }
    // The text operators for side `side`, at (x, y) in the sheet's user units.
    std::string draw(size_t side, const SheetSide &s, double x, double y, bool turned, double unit) const
    {
        const size_t sheets = m_twoSided ? (m_sides + 1) / 2 : m_sides;
        const size_t sheet = m_twoSided ? side / 2 + 1 : side + 1;
        std::string line = m_name + "    sheet " + std::to_string(sheet) + " of " + std::to_string(sheets);
        if (m_twoSided)
            line += s.back ? ", back" : ", front";
        line += "    " + m_date;
        const std::string turn = turned ? "-1 0 0 -1 " : "1 0 0 1 ";
        return "q BT /FSlug " + pdfNumber(kSlugSize / unit, 3) + " Tf 0 g " + turn + pdfNumber(x, 3) + " "
               + pdfNumber(y, 3) + " Tm (" + escaped(line) + ") Tj ET Q\n";
    }

private:
    // The name in the font's encoding (Latin-1 where it has the letter, "?" elsewhere).
    static std::string latin1(const std::string &utf8)
    {
        std::string out;
        for (size_t i = 0; i < utf8.size();) {
            const unsigned char c = static_cast<unsigned char>(utf8[i]);
            unsigned code = c;
            size_t length = 1;
            if (c >= 0xc0 && c < 0xe0 && i + 1 < utf8.size()) {
                code = ((c & 0x1fu) << 6) | (static_cast<unsigned char>(utf8[i + 1]) & 0x3fu);
                length = 2;
            } else if (c >= 0x80) {
                length = c >= 0xf0 ? 4 : c >= 0xe0 ? 3 : 1;
                code = '?';
            }
            out += code < 0x20 || (code >= 0x7f && code < 0xa0) || code > 0xff ? '?' : char(code);
            i += length;
        }
        return out;
    }
    static std::string escaped(const std::string &text)
    {
        std::string out;
        for (const char c : text) {
            if (c == '(' || c == ')' || c == '\\')
                out += '\\';
            out += c;
        }
        return out;
    }
    // The date of the run, or of SOURCE_DATE_EPOCH where it is set (reproducible builds).
    static std::string today()
    {
        std::time_t now = std::time(nullptr);
        if (const char *epoch = std::getenv("SOURCE_DATE_EPOCH"))
            now = std::time_t(std::strtoll(epoch, nullptr, 10));
        std::tm parts{};
#ifdef _WIN32
        localtime_s(&parts, &now);
#else
        localtime_r(&now, &parts);
#endif
        char buf[16];
        std::strftime(buf, sizeof buf, "%Y-%m-%d", &parts);
        return buf;
    }

    size_t m_sides;
    bool m_twoSided;
    std::string m_name, m_date;
};

// A page copied into `proof` as it is drawn, without what leads to other pages (its
// parent, its links' and fields' destinations), so that the copy holds no more than the page
// shows. What it inherits from its parent is given to it first.
QPDFObjectHandle proofCopy(QPDF &proof, QPDFPageObjectHelper &page)
{
    QPDFObjectHandle dict = page.getObjectHandle();
    for (const char *key : {"/Resources", "/MediaBox", "/CropBox", "/Rotate"}) {
        if (!dict.hasKey(key)) {
            QPDFObjectHandle inherited = page.getAttribute(key, false);
            if (!inherited.isNull())
                dict.replaceKey(key, inherited);
        }
    }
    for (const char *key : {"/B", "/AA", "/StructParents"}) {
        if (dict.hasKey(key))
            dict.removeKey(key);
    }
    QPDFObjectHandle annots = dict.hasKey("/Annots") ? dict.getKey("/Annots") : QPDFObjectHandle::newNull();
    if (annots.isArray()) {
        for (QPDFObjectHandle annot : annots.aitems()) {
            if (!annot.isDictionary())
                continue;
            if (annot.hasKey("/A") && !annot.getKey("/A").getKey("/S").isNameAndEquals("/URI"))
                annot.removeKey("/A");
            for (const char *key : {"/Dest", "/Parent", "/AA", "/StructParent"}) {
                if (annot.hasKey(key) && !(std::string(key) == "/Parent" && annot.getKey("/Subtype").isNameAndEquals("/Popup")))
                    annot.removeKey(key);
            }
        }
    }
    return proof.copyForeignObject(dict);
}

// Millimetres with one decimal, without a trailing ".0".
std::string millimetres(double points)
{
    std::string text = pdfNumber(points * 25.4 / 72, 1);
    return text;
}

// The pages' sizes where they differ: "sizes: 12 pages of 210 x 297 mm, 2 of 297 x 210 mm",
// the commonest first; empty when all are alike.
std::string sizesLine(const std::vector<PageGeometry> &pages)
{
    std::map<std::pair<std::string, std::string>, size_t> counts;
    for (const PageGeometry &page : pages)
        ++counts[{millimetres(page.width()), millimetres(page.height())}];
    if (counts.size() < 2)
        return std::string();
    std::vector<std::pair<size_t, std::pair<std::string, std::string>>> sorted;
    for (const auto &[size, count] : counts)
        sorted.push_back({count, size});
    std::stable_sort(sorted.begin(), sorted.end(), [](const auto &a, const auto &b) { return a.first > b.first; });
    std::string line = "sizes:";
    for (size_t i = 0; i < sorted.size(); ++i) {
        const auto &[count, size] = sorted[i];
        line += (i ? ", " : " ") + std::to_string(count) + (i ? " of " : count == 1 ? " page of " : " pages of ")
                + size.first + " x " + size.second + " mm";
    }
    return line;
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

// What is drawn over a side's pages, in the sheet's user units: separator lines and frames
// in the lines' colour, trim marks, and the binder's marks, thin and black (blocks filled,
// sewing stations solid, fold ends dashed).
std::string drawnOver(const SidePlan &side, const Marks &marks, double unit, int decimals)
{
    const auto number = [decimals, unit](double v) { return pdfNumber(v / unit, decimals); };
    const auto width = [decimals, unit](double points) { return pdfNumber(points / unit, decimals + 1); };
    const auto segments = [&number](const std::vector<Box> &lines) {
        std::string drawn;
        for (const Box &l : lines)
            drawn += number(l.x0) + " " + number(l.y0) + " m " + number(l.x1) + " " + number(l.y1) + " l S\n";
        return drawn;
    };
    const auto boxes = [&number](const std::vector<Box> &filled) {
        std::string drawn;
        for (const Box &b : filled)
            drawn += number(b.x0) + " " + number(b.y0) + " " + number(b.width()) + " " + number(b.height()) + " re f\n";
        return drawn;
    };
    const std::string colour = pdfNumber(marks.lineRed / 255.0, 4) + " " + pdfNumber(marks.lineGreen / 255.0, 4) + " "
                               + pdfNumber(marks.lineBlue / 255.0, 4) + " RG\n";
    std::string content;
    if (!side.lines.empty())
        content += "q " + width(0.5) + " w " + colour + segments(side.lines) + "Q\n";
    if (!side.frames.empty()) {
        content += "q " + width(marks.frameWidth) + " w " + (marks.lines ? colour : std::string("0 G\n"));
        for (const SidePlan::Rectangle &r : side.frames)
            content += number(r.x) + " " + number(r.y) + " " + number(r.width) + " " + number(r.height) + " re S\n";
        content += "Q\n";
    }
    if (marks.cropMarks > 0)
        content += "q " + width(0.25) + " w 0 G\n" + segments(side.marks) + "Q\n";
    if (!side.spineBlocks.empty())
        content += "q 0 g\n" + boxes(side.spineBlocks) + "Q\n";
    if (!side.sewing.empty())
        content += "q " + width(0.5) + " w 0 G\n" + segments(side.sewing) + "Q\n";
    if (!side.foldEnds.empty())
        content += "q " + width(0.25) + " w 0 G [" + width(2) + "] 0 d\n" + segments(side.foldEnds) + "Q\n";
    return content;
}

} // namespace

SheetsMade buildSheets(QPDF &pdf, const Options &o, MadeIn where, const WarnFn &warn, const StageProgress &progress,
                       PagesRead *read)
{
    const bool newDocument = where == MadeIn::NewDocument || o.files.proof;
    // Shares of the stage, by the time each part takes on large documents.
    constexpr double kPagesRead = 0.35, kPagesPrepared = 0.55, kSheetsBuilt = 0.8;
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    const std::string &input = o.files.input;
    if (pages.empty())
        throw ImposeError(input + " has no pages");
    progress(kPagesRead);
    const std::vector<int> selected = selectPages(o.pages.selection, o.pages.list, int(pages.size()));
    if (selected.empty())
        throw ImposeError("no page of " + input + " is selected");

    // The plan needs every selected page's geometry; the sides tell which pages are drawn.
    PagesRead readNow;
    if (!read)
        read = &readNow;
    read->resize(pages.size());
    std::vector<bool> warned(pages.size(), false);
    std::vector<PageGeometry> placed;
    for (const int index : selected) {
        std::optional<PageFacts> &facts = (*read)[size_t(index)];
        if (!facts || (o.room.trim && !facts->trimRead))
            facts = readFacts(pages.at(size_t(index)), o.room.trim);
        const bool first = !warned[size_t(index)];
        warned[size_t(index)] = true;
        placed.push_back(geometryOf(*facts, index, o, first ? warn : WarnFn([](const std::string &) {})));
    }
    const SheetPlan plan = planSheets(o, placed);
    const std::vector<SheetSide> &sides = plan.sides;
    if (!plan.tooLarge.empty()) {
        // Pages at their own size that do not fit their cells: named, and with a bleed (which
        // would run over the neighbours' pages) refused.
        std::string named;
        for (size_t i = 0; i < plan.tooLarge.size() && i < 5; ++i)
            named += (i ? ", " : "") + std::to_string(selected[plan.tooLarge[i]] + 1);
        if (plan.tooLarge.size() > 5)
            named += " and " + std::to_string(plan.tooLarge.size() - 5) + " more";
        const std::string cell = millimetres(plan.layout.cellWidth) + " x " + millimetres(plan.layout.cellHeight) + " mm";
        const std::string which = (plan.tooLarge.size() == 1 ? "page " : "pages ") + named;
        if (o.room.trim)
            throw UsageError(which + " of " + input + " at actual size would be larger than the cells (" + cell
                             + ") and cover the neighbours' trims: make the cells larger or use -fit shrink");
        warn(which + " at actual size " + (plan.tooLarge.size() == 1 ? "is" : "are") + " larger than the cells (" + cell
             + ") and run beyond them");
    }
    // The slug line needs room in the bottom margin, which on a back is the margin behind the
    // front's top one when the rows mirror.
    bool anyBack = false;
    for (const SheetSide &side : sides)
        anyBack = anyBack || side.back;
    const bool onFronts = plan.slug, onBacks = anyBack && plan.backSlug;
    if (o.marks.slug && (!onFronts || (anyBack && !onBacks))) {
        const std::string needs = " is too small for the slug line (it needs " + pdfNumber(kSlugRoom, 1) + " pt, 3.5 mm)";
        if (!onFronts && !onBacks)
            warn("the bottom margin" + needs + "; none is drawn");
        else if (!onFronts)
            warn("the bottom margin of the fronts" + needs + "; it is drawn on the backs only");
        else
            warn("the bottom margin of the backs (behind the fronts' top margin)" + needs + "; it is drawn on the fronts only");
    }
    SheetsMade made;
    made.sides = sides.size();
    made.sizes = sizesLine(placed);

    // The sides made: all of them, or those asked for.
    std::vector<size_t> wanted;
    if (o.files.proof) {
        for (const int side : selectPages(Selection::List, o.files.proofSheets, int(sides.size())))
            wanted.push_back(size_t(side));
        if (wanted.empty())
            throw NoSuchSheet("no sheet of " + input + " is selected: it makes " + std::to_string(sides.size())
                                  + (sides.size() == 1 ? " sheet" : " sheets"),
                              sides.size());
    } else {
        for (size_t side = 0; side < sides.size(); ++side)
            wanted.push_back(side);
    }

    std::vector<bool> drawn(selected.size(), false);
    for (const size_t side : wanted) {
        for (const int cell : sides[side].cells) {
            if (cell != SheetSide::kBlank)
                drawn[size_t(cell)] = true;
        }
    }
    // The document the sheets are made in: this one, or a new one that holds copies of the
    // pages drawn, since the first new object in this one makes qpdf read all of it.
    QPDF *target = &pdf;
    std::vector<QPDFObjectHandle> pageObjects(pages.size());
    if (newDocument) {
        made.document = std::make_unique<QPDF>();
        made.document->emptyPDF();
        target = made.document.get();
        for (size_t i = 0; i < selected.size(); ++i) {
            QPDFObjectHandle &copy = pageObjects.at(size_t(selected[i]));
            if (drawn[i] && !copy.isInitialized())
                copy = proofCopy(*target, pages.at(size_t(selected[i])));
        }
    } else {
        for (size_t i = 0; i < pages.size(); ++i)
            pageObjects[i] = pages[i].getObjectHandle();
    }
    LinkKeeper links(*target, pageObjects);

    // Each page drawn once: its form XObject. Then the page itself is no longer needed, and
    // what it held makes room for the next.
    Forms forms;
    std::map<int, QPDFObjectHandle> formOfPage;
    for (size_t i = 0; i < selected.size(); ++i) {
        if (!drawn[i] || formOfPage.count(selected[i]))
            continue;
        QPDFPageObjectHelper page(pageObjects.at(size_t(selected[i])));
        formOfPage[selected[i]] = formOf(*target, page, placed[i].art, forms, warn);
        links.releasePage(selected[i]);
        progress(kPagesRead + (kPagesPrepared - kPagesRead) * double(i) / double(selected.size()));
    }
    pageObjects.clear();
    links.releaseOldPages();

    // The plan is in points; the sheet's user units are larger for sheets beyond PDF's largest.
    const SheetLayout &layout = plan.layout;
    const double unit = layout.userUnit;
    const double tolerance = sheetTolerance(layout);
    const int decimals = decimalsFor(tolerance);
    auto number = [decimals, unit](double v) { return pdfNumber(v / unit, decimals); };
    const SlugText slug(o, sides.size());

    // Alike on every sheet, made once.
    const QPDFObjectHandle pageType = QPDFObjectHandle::newName("/Page");
    const QPDFObjectHandle mediaBox =
        target->makeIndirectObject(rectangle({0, 0, layout.sheetWidth / unit, layout.sheetHeight / unit}, decimals));
    std::map<std::string, QPDFObjectHandle> drawings;
    QPDFObjectHandle pagesNode, kids;
    if (!newDocument) {
        pagesNode = target->makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages /Kids [] /Count 0 >>"));
        kids = pagesNode.getKey("/Kids");
    }
    for (size_t w = 0; w < wanted.size(); ++w) {
        const size_t s = wanted[w];
        const SidePlan side = planSide(o, plan, s, placed);
        QPDFObjectHandle sheet = target->makeIndirectObject(QPDFObjectHandle::newDictionary());
        std::string content;
        QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
        std::vector<int> shown;
        for (const Landing &l : side.pages) {
            const int index = selected.at(size_t(l.page));
            const PageGeometry &page = placed.at(size_t(l.page));
            const std::string name = "/Fx" + std::to_string(l.slot + 1);
            xobjects.replaceKey(name, formOfPage.at(index));
            content += "q ";
            if (l.clipped) {
                const Box &b = l.clip;
                content += number(b.x0) + " " + number(b.y0) + " " + number(b.width()) + " " + number(b.height()) + " re W n ";
            }
            const Matrix cm = unit == 1 ? l.cm : Matrix{l.cm.a / unit, l.cm.b / unit, l.cm.c / unit,
                                                        l.cm.d / unit, l.cm.e / unit, l.cm.f / unit};
            content += matrixOperands(cm, page.art.reach(), tolerance) + " cm " + name + " Do Q\n";
            links.place(index, {sheet, cm, page.visible, decimals});
            shown.push_back(index + 1);
        }
        // Drawn over the pages: separator lines, frames, trim marks, the binder's marks, the
        // slug line.
        content += drawnOver(side, o.marks, unit, decimals);
        if (side.slug)
            content += slug.draw(s, sides[s], side.slugX / unit, side.slugY / unit, side.slugTurned, unit);

        sheet.replaceKey("/Type", pageType);
        if (pagesNode.isInitialized())
            sheet.replaceKey("/Parent", pagesNode);
        sheet.replaceKey("/MediaBox", mediaBox);
        if (unit != 1)
            sheet.replaceKey("/UserUnit", QPDFObjectHandle::newReal(pdfNumber(unit, 3)));
        QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        if (side.slug)
            resources.replaceKey("/Font", SlugText::fonts());
        sheet.replaceKey("/Resources", resources);
        // Sheets drawn alike (pages of one size, the same marks) share their drawing.
        QPDFObjectHandle &drawing = drawings[content];
        if (!drawing.isInitialized())
            drawing = compressedStream(*target, content);
        sheet.replaceKey("/Contents", drawing);
        if (kids.isInitialized())
            kids.appendItem(sheet);
        made.sheets.push_back(sheet);
        if (o.files.proof)
            made.proofPages.push_back(shown);
        progress(kPagesPrepared + (kSheetsBuilt - kPagesPrepared) * double(w) / double(wanted.size()));
    }
    if (newDocument) {
        // Their links would lead to sheets not made, or to the pages' old document.
        links.forgetDestinations();
        made.kept = links.kept();
        progress(1);
        return made;
    }
    made.sheets.clear();
    pagesNode.replaceKey("/Count", QPDFObjectHandle::newInteger(kids.getArrayNItems()));
    dropPageReferences(pdf);
    pdf.getRoot().replaceKey("/Pages", pagesNode);
    pdf.updateAllPagesCache();
    progress(kSheetsBuilt);
    links.finish();
    made.kept = links.kept();
    const std::vector<std::string> &dropped = links.dropped();
    constexpr size_t kNamed = 20;
    for (size_t i = 0; i < dropped.size() && i < kNamed; ++i)
        warn("dropped " + dropped[i]);
    if (dropped.size() > kNamed)
        warn("dropped " + std::to_string(dropped.size() - kNamed) + " more of the same kinds");
    progress(1);
    return made;
}

#include "pdfsheets.h"

#include "cutandposter.h"

#include "errors.h"
#include "links.h"
#include "pdfparts.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_Count.hh>
#include <qpdf/Pl_Discard.hh>
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

// The slug line's words: which file, sheet and side this is, and when it was made; the plan
// says where they go.
class SlugText
{
public:
    SlugText(const Options &o, size_t sides)
        : m_sides(sides), m_twoSided(o.booklet.on || o.twoSided.duplex != Duplex::None)
    {
        m_name = std::filesystem::u8path(o.files.input).filename().u8string();
        m_date = today();
    }
    static QPDFObjectHandle fonts() { return textFonts(); }
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
               + pdfNumber(y, 3) + " Tm " + pdfText(line) + " Tj ET Q\n";
    }

private:
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

std::vector<int> unreadablePages(QPDF &pdf, PagesRead &read)
{
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    read.resize(pages.size());
    std::vector<int> unreadable;
    std::vector<bool> sizeLost(pages.size(), false);
    for (size_t i = 0; i < pages.size(); ++i) {
        PageFacts facts = readFacts(pages[i], true);
        sizeLost[i] = !facts.mediaValid;
        if (sizeLost[i] || drawingLost(pdf, pages[i]))
            unreadable.push_back(int(i));
        read[i] = facts;
    }
    // A page whose object was lost takes the size of the nearest page before it that has
    // one, else after it.
    for (size_t i = 0; i < pages.size(); ++i) {
        if (!sizeLost[i])
            continue;
        std::optional<PageFacts> near;
        for (size_t j = i; j-- > 0 && !near;)
            if (!sizeLost[j])
                near = read[j];
        for (size_t j = i + 1; j < pages.size() && !near; ++j)
            if (!sizeLost[j])
                near = read[j];
        if (near) {
            near->trimValid = false;
            read[i] = near;
        }
    }
    return unreadable;
}

namespace {

// Shares of the stage, by the time each part takes on large documents.
constexpr double kPagesRead = 0.35, kPagesPrepared = 0.55, kSheetsBuilt = 0.8;

// Writes the sides of a plan as sheets, in the document given: each page's form made once,
// each sheet's drawing, resources and links.
class SheetWriter
{
public:
    SheetWriter(QPDF &target, const Options &o, const SheetPlan &plan, const std::vector<int> &selected,
                const std::vector<PageGeometry> &placed, bool inPageTree)
        : m_target(target), m_o(o), m_plan(plan), m_selected(selected), m_placed(placed),
          m_unit(plan.layout.userUnit), m_tolerance(sheetTolerance(plan.layout)), m_decimals(decimalsFor(m_tolerance)),
          m_slug(o, plan.sides.size())
    {
        m_mediaBox = target.makeIndirectObject(
            rectangle({0, 0, plan.layout.sheetWidth / m_unit, plan.layout.sheetHeight / m_unit}, m_decimals));
        if (inPageTree) {
            m_pagesNode = target.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages /Kids [] /Count 0 >>"));
            m_kids = m_pagesNode.getKey("/Kids");
        }
    }

    // Each page drawn once: its form XObject. Then the page itself is no longer needed, and
    // what it held makes room for the next.
    void makeForms(const std::vector<bool> &drawn, const std::vector<QPDFObjectHandle> &pageObjects, LinkKeeper &links,
                   const WarnFn &warn, const StageProgress &progress)
    {
        Forms forms;
        for (size_t i = 0; i < m_selected.size(); ++i) {
            if (!drawn[i] || m_formOfPage.count(m_selected[i]))
                continue;
            QPDFPageObjectHelper page(pageObjects.at(size_t(m_selected[i])));
            m_formOfPage[m_selected[i]] = formOf(m_target, page, m_placed[i].art, forms, warn);
            links.releasePage(m_selected[i]);
            progress(kPagesRead + (kPagesPrepared - kPagesRead) * double(i) / double(m_selected.size()));
        }
    }

    // One side as a sheet; the pages it shows (from 1) in `shown`.
    QPDFObjectHandle sheet(size_t s, LinkKeeper &links, std::vector<int> &shown)
    {
        const SidePlan side = planSide(m_o, m_plan, s, m_placed);
        QPDFObjectHandle sheet = m_target.makeIndirectObject(QPDFObjectHandle::newDictionary());
        QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
        std::string content;
        for (const Landing &l : side.pages) {
            const int index = m_selected.at(size_t(l.page));
            const std::string name = "/Fx" + std::to_string(l.slot + 1);
            xobjects.replaceKey(name, m_formOfPage.at(index));
            const Matrix cm = m_unit == 1 ? l.cm : Matrix{l.cm.a / m_unit, l.cm.b / m_unit, l.cm.c / m_unit,
                                                          l.cm.d / m_unit, l.cm.e / m_unit, l.cm.f / m_unit};
            content += drawing(l, cm, name);
            links.place(index, {sheet, cm, m_placed.at(size_t(l.page)).visible, m_decimals});
            shown.push_back(index + 1);
        }
        // Drawn over the pages: separator lines, frames, trim marks, the binder's marks, the
        // slug line.
        content += drawnOver(side, m_o.marks, m_unit, m_decimals);
        if (side.slug)
            content += m_slug.draw(s, m_plan.sides[s], side.slugX / m_unit, side.slugY / m_unit, side.slugTurned, m_unit);
        fill(sheet, xobjects, content, side.slug);
        return sheet;
    }

    // The page tree of the sheets made in the document itself.
    QPDFObjectHandle pageTree()
    {
        m_pagesNode.replaceKey("/Count", QPDFObjectHandle::newInteger(m_kids.getArrayNItems()));
        return m_pagesNode;
    }

private:
    // A page drawn in its place: clipped (with a bleed), moved, drawn.
    std::string drawing(const Landing &l, const Matrix &cm, const std::string &name) const
    {
        std::string content = "q ";
        if (l.clipped) {
            const Box &b = l.clip;
            content += number(b.x0) + " " + number(b.y0) + " " + number(b.width()) + " " + number(b.height()) + " re W n ";
        }
        return content + matrixOperands(cm, m_placed.at(size_t(l.page)).art.reach(), m_tolerance) + " cm " + name
               + " Do Q\n";
    }
    std::string number(double v) const { return pdfNumber(v / m_unit, m_decimals); }

    void fill(QPDFObjectHandle sheet, QPDFObjectHandle xobjects, const std::string &content, bool slug)
    {
        sheet.replaceKey("/Type", m_pageType);
        if (m_pagesNode.isInitialized())
            sheet.replaceKey("/Parent", m_pagesNode);
        sheet.replaceKey("/MediaBox", m_mediaBox);
        // The plan is in points; the sheet's user units are larger for sheets beyond PDF's largest.
        if (m_unit != 1)
            sheet.replaceKey("/UserUnit", QPDFObjectHandle::newReal(pdfNumber(m_unit, 3)));
        QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        if (slug)
            resources.replaceKey("/Font", SlugText::fonts());
        sheet.replaceKey("/Resources", resources);
        // Sheets drawn alike (pages of one size, the same marks) share their drawing.
        QPDFObjectHandle &drawing = m_drawings[content];
        if (!drawing.isInitialized())
            drawing = compressedStream(m_target, content);
        sheet.replaceKey("/Contents", drawing);
        if (m_kids.isInitialized())
            m_kids.appendItem(sheet);
    }

    QPDF &m_target;
    const Options &m_o;
    const SheetPlan &m_plan;
    const std::vector<int> &m_selected;
    const std::vector<PageGeometry> &m_placed;
    const double m_unit, m_tolerance;
    const int m_decimals;
    const SlugText m_slug;
    // Alike on every sheet, made once.
    const QPDFObjectHandle m_pageType = QPDFObjectHandle::newName("/Page");
    QPDFObjectHandle m_mediaBox, m_pagesNode, m_kids;
    std::map<std::string, QPDFObjectHandle> m_drawings;
    std::map<int, QPDFObjectHandle> m_formOfPage;
};

// The pages each side shows, by their place among the selected.
std::vector<bool> pagesDrawn(const SheetPlan &plan, const std::vector<size_t> &wanted, size_t selected)
{
    std::vector<bool> drawn(selected, false);
    for (const size_t side : wanted) {
        for (const int cell : plan.sides[side].cells) {
            if (cell != SheetSide::kBlank)
                drawn[size_t(cell)] = true;
        }
    }
    return drawn;
}

} // namespace

SheetsMade buildSheets(QPDF &pdf, const Options &o, MadeIn where, const WarnFn &warn, const StageProgress &progress,
                       PagesRead *read)
{
    if (o.cut.on)
        return buildCutPages(pdf, o, where, warn, progress, read);
    if (o.poster.on)
        return buildPosterSheets(pdf, o, where, warn, progress, read);
    const bool newDocument = where == MadeIn::NewDocument || o.files.proof;
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (pages.empty())
        throw ImposeError(o.files.input + " has no pages");
    progress(kPagesRead);
    const std::vector<int> selected = selectPages(o.pages.selection, o.pages.list, int(pages.size()));
    if (selected.empty())
        throw ImposeError("no page of " + o.files.input + " is selected");
    PagesRead readNow;
    const std::vector<PageGeometry> placed = selectedGeometry(pages, selected, o, warn, read ? *read : readNow);
    const SheetPlan plan = planSheets(o, placed);
    for (const std::string &w : plan.warnings)
        warn(w);
    SheetsMade made;
    made.sides = plan.sides.size();
    made.sizes = sizesLine(placed);
    const std::vector<size_t> wanted = wantedSides(o, plan.sides.size());
    const std::vector<bool> drawn = pagesDrawn(plan, wanted, selected.size());

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
    SheetWriter writer(*target, o, plan, selected, placed, !newDocument);
    writer.makeForms(drawn, pageObjects, links, warn, progress);
    pageObjects.clear();
    links.releaseOldPages();

    for (size_t w = 0; w < wanted.size(); ++w) {
        std::vector<int> shown;
        made.sheets.push_back(writer.sheet(wanted[w], links, shown));
        if (o.files.proof)
            made.proofPages.push_back(shown);
        progress(kPagesPrepared + (kSheetsBuilt - kPagesPrepared) * double(w) / double(wanted.size()));
    }
    if (newDocument) {
        // Their links would lead to sheets not made, or to the pages' old document.
        links.forgetDestinations();
        made.kept = links.kept();
    } else {
        made.sheets.clear();
        dropPageReferences(pdf);
        pdf.getRoot().replaceKey("/Pages", writer.pageTree());
        pdf.updateAllPagesCache();
        progress(kSheetsBuilt);
        finishLinks(links, made, warn);
    }
    progress(1);
    return made;
}

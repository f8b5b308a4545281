// The two ways the other way round: imposed sheets cut back into pages, and one page enlarged
// across many sheets. Each output page shows a part of one input page through a clip, the
// input page drawn once as a form; what lies on a part goes with it.
#include "cutandposter.h"
#include "cutlayout.h"
#include "errors.h"
#include "ink.h"
#include "pdfparts.h"
#include "posterlayout.h"

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>

namespace {

// Shares of the stage, by the time each part takes.
constexpr double kRead = 0.2, kDrawn = 0.5, kMade = 0.9;

// The output's pages, made in the input's document (replacing its pages) or in a new one
// that holds copies of the input pages drawn.
class PartPages
{
public:
    PartPages(QPDF &pdf, const Options &o, MadeIn where, std::vector<QPDFPageObjectHelper> &pages,
              const std::vector<bool> &drawn, SheetsMade &made)
        : m_made(made), m_newDocument(where == MadeIn::NewDocument || o.files.proof)
    {
        m_target = &pdf;
        m_objects.resize(pages.size());
        if (m_newDocument) {
            made.document = std::make_unique<QPDF>();
            made.document->emptyPDF();
            m_target = made.document.get();
            for (size_t i = 0; i < pages.size(); ++i) {
                if (drawn[i])
                    m_objects[i] = proofCopy(*m_target, pages[i]);
            }
        } else {
            for (size_t i = 0; i < pages.size(); ++i)
                m_objects[i] = pages[i].getObjectHandle();
            m_pagesNode = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages /Kids [] /Count 0 >>"));
        }
        m_links = std::make_unique<LinkKeeper>(*m_target, m_objects);
    }

    QPDF &target() { return *m_target; }
    LinkKeeper &links() { return *m_links; }

    // The input page's drawing as a form, made once; then the page itself can go.
    QPDFObjectHandle form(int index, const Box &visible, const WarnFn &warn)
    {
        QPDFObjectHandle &made = m_forms[index];
        if (!made.isInitialized()) {
            QPDFPageObjectHelper page(m_objects.at(size_t(index)));
            made = formOf(*m_target, page, visible, m_shared, warn);
        }
        return made;
    }

    // A new page of `width` by `height` points (in larger user units where PDF's largest
    // page is smaller), drawn by `content` with these resources.
    QPDFObjectHandle page(double width, double height, const std::string &content, QPDFObjectHandle resources,
                          double unit)
    {
        QPDFObjectHandle page = m_target->makeIndirectObject(QPDFObjectHandle::newDictionary());
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        page.replaceKey("/MediaBox", rectangle({0, 0, width / unit, height / unit}, 3));
        if (unit != 1)
            page.replaceKey("/UserUnit", QPDFObjectHandle::newReal(pdfNumber(unit, 3)));
        page.replaceKey("/Resources", resources);
        QPDFObjectHandle &drawing = m_drawings[content];
        if (!drawing.isInitialized())
            drawing = compressedStream(*m_target, content);
        page.replaceKey("/Contents", drawing);
        if (m_pagesNode.isInitialized()) {
            page.replaceKey("/Parent", m_pagesNode);
            m_pagesNode.getKey("/Kids").appendItem(page);
        }
        m_made.sheets.push_back(page);
        return page;
    }

    // The pages made take the old ones' place; links lead to them.
    void finish(QPDF &pdf, const WarnFn &warn)
    {
        m_links->releaseOldPages();
        if (m_newDocument) {
            m_links->forgetDestinations();
            m_made.kept = m_links->kept();
            return;
        }
        m_made.sheets.clear();
        m_pagesNode.replaceKey("/Count", QPDFObjectHandle::newInteger(m_pagesNode.getKey("/Kids").getArrayNItems()));
        dropPageReferences(pdf);
        pdf.getRoot().replaceKey("/Pages", m_pagesNode);
        pdf.updateAllPagesCache();
        finishLinks(*m_links, m_made, warn);
    }

private:
    SheetsMade &m_made;
    const bool m_newDocument;
    QPDF *m_target = nullptr;
    std::vector<QPDFObjectHandle> m_objects;
    std::unique_ptr<LinkKeeper> m_links;
    QPDFObjectHandle m_pagesNode;
    Forms m_shared;
    std::map<int, QPDFObjectHandle> m_forms;
    std::map<std::string, QPDFObjectHandle> m_drawings;
};

// The unit a page of this size is written in: 1, or more beyond PDF's largest page.
double unitFor(double width, double height)
{
    const double largest = std::max(width, height);
    return largest > kMaxPageUnits ? std::ceil(largest / kMaxPageUnits * 1000) / 1000 : 1;
}

Matrix divided(const Matrix &m, double unit)
{
    return {m.a / unit, m.b / unit, m.c / unit, m.d / unit, m.e / unit, m.f / unit};
}

// A part of a page: clipped to `clip` (in the new page's units), drawn by `cm`.
std::string partDrawing(const Box &clip, const Matrix &cm, const Box &visible, int decimals)
{
    const double tolerance = std::pow(10.0, -decimals) / 2;
    return "q " + pdfNumber(clip.x0, decimals) + " " + pdfNumber(clip.y0, decimals) + " " + pdfNumber(clip.width(), decimals)
           + " " + pdfNumber(clip.height(), decimals) + " re W n " + matrixOperands(cm, visible.reach(), tolerance)
           + " cm /Fx1 Do Q\n";
}

std::string segments(const std::vector<Box> &lines, int decimals)
{
    std::string drawn;
    for (const Box &l : lines)
        drawn += pdfNumber(l.x0, decimals) + " " + pdfNumber(l.y0, decimals) + " m " + pdfNumber(l.x1, decimals) + " "
                 + pdfNumber(l.y1, decimals) + " l S\n";
    return drawn;
}

QPDFObjectHandle resourcesWith(QPDFObjectHandle form, bool text)
{
    QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
    if (form.isInitialized()) {
        QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
        xobjects.replaceKey("/Fx1", form);
        resources.replaceKey("/XObject", xobjects);
    }
    if (text)
        resources.replaceKey("/Font", textFonts());
    return resources;
}

// Page numbers as a list: "3, 14 and 15".
std::string listInWords(const std::vector<std::string> &items)
{
    std::string text;
    for (size_t i = 0; i < items.size(); ++i)
        text += (i == 0 ? "" : i + 1 == items.size() ? " and " : ", ") + items[i];
    return text;
}

// The ink of input pages, each read once.
class InkOfPages
{
public:
    explicit InkOfPages(std::vector<QPDFPageObjectHelper> &pages) : m_pages(pages) {}
    const std::vector<Box> &of(int index)
    {
        std::optional<std::vector<Box>> &ink = m_ink[index];
        if (!ink)
            ink = inkOf(m_pages.at(size_t(index)).getObjectHandle());
        return *ink;
    }

private:
    std::vector<QPDFPageObjectHelper> &m_pages;
    std::map<int, std::optional<std::vector<Box>>> m_ink;
};

// The input's pages, those chosen, and the geometry of the chosen ones.
struct PagesChosen
{
    std::vector<QPDFPageObjectHelper> pages;
    std::vector<int> selected;
    std::vector<PageGeometry> geometry;
};

PagesChosen pagesChosen(QPDF &pdf, const Options &o, const WarnFn &warn, PagesRead *read)
{
    PagesChosen in;
    in.pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (in.pages.empty())
        throw ImposeError(o.files.input + " has no pages");
    in.selected = selectPages(o.pages.selection, o.pages.list, int(in.pages.size()));
    if (in.selected.empty())
        throw ImposeError("no page of " + o.files.input + " is selected");
    PagesRead readNow;
    in.geometry = selectedGeometry(in.pages, in.selected, o, warn, read ? *read : readNow);
    return in;
}

// The pages cut out that are kept: all, or those on which something is drawn. A cell is read
// a little inside its edges, where a fold's shadow or a neighbour's line may reach. What is
// left out, and what the scan lacks, is said.
std::vector<size_t> keptCutPages(const CutPlan &plan, PagesChosen &in, const Options &o, const WarnFn &warn)
{
    std::vector<size_t> kept;
    std::vector<std::string> blank;
    InkOfPages ink(in.pages);
    for (size_t i = 0; i < plan.pages.size(); ++i) {
        const CutPage &p = plan.pages[i];
        bool drawn = true;
        if (o.pages.dropBlank) {
            drawn = false;
            if (p.side >= 0) {
                const Box c = p.cell;
                const double inX = c.width() * 0.03, inY = c.height() * 0.03;
                drawn = inkWithin(ink.of(in.selected[size_t(p.side)]), {c.x0 + inX, c.y0 + inY, c.x1 - inX, c.y1 - inY});
            }
        }
        if (drawn)
            kept.push_back(i);
        else
            blank.push_back(std::to_string(i + 1));
    }
    if (kept.empty())
        throw ImposeError("nothing is drawn on any page cut from " + o.files.input);
    if (!blank.empty())
        warn("left out " + std::to_string(blank.size()) + (blank.size() == 1 ? " blank page: " : " blank pages: ")
             + listInWords(blank) + " (of the pages cut out, in reading order)");
    std::vector<std::string> lacking;
    for (const size_t i : kept) {
        if (plan.pages[i].side < 0)
            lacking.push_back(std::to_string(i + 1));
    }
    if (!lacking.empty())
        warn("the last sheet's back is not in " + o.files.input + ": " + (lacking.size() == 1 ? "page " : "pages ")
             + listInWords(lacking) + (lacking.size() == 1 ? " is" : " are") + " blank");
    return kept;
}

// Each chosen page's poster plan; a warning shared by several pages is said once.
std::vector<PosterPlan> posterPlans(const Options &o, const std::vector<PageGeometry> &geometry, const WarnFn &warn)
{
    std::vector<PosterPlan> plans;
    std::vector<std::string> said;
    for (const PageGeometry &g : geometry) {
        plans.push_back(planPoster(o, g));
        for (const std::string &w : plans.back().warnings) {
            if (std::find(said.begin(), said.end(), w) == said.end()) {
                said.push_back(w);
                warn(w);
            }
        }
    }
    return plans;
}

// A sheet of a poster.
struct PosterSheet
{
    size_t page;  // among the chosen
    int tile;     // -1: the overview
};

// The sheets: for each page its overview where asked, then its tiles, those on which nothing
// is drawn left out with -dropblank (and said).
std::vector<PosterSheet> posterSheets(const std::vector<PosterPlan> &plans, PagesChosen &in, const Options &o,
                                      const WarnFn &warn)
{
    std::vector<PosterSheet> sheets;
    std::vector<std::string> empty;
    InkOfPages ink(in.pages);
    const bool several = in.selected.size() > 1;
    for (size_t i = 0; i < in.selected.size(); ++i) {
        if (o.poster.overview)
            sheets.push_back({i, -1});
        const std::string ofPage = several ? " (page " + std::to_string(in.selected[i] + 1) + ")" : std::string();
        for (size_t t = 0; t < plans[i].tiles.size(); ++t) {
            const PosterTile &tile = plans[i].tiles[t];
            if (o.pages.dropBlank && !inkWithin(ink.of(in.selected[i]), tile.area)) {
                empty.push_back(tileName(tile.row, tile.column) + ofPage);
                continue;
            }
            sheets.push_back({i, int(t)});
        }
    }
    if (sheets.empty())
        throw ImposeError("nothing is drawn on the selected pages of " + o.files.input + ": every tile is left out");
    if (!empty.empty())
        warn("left out " + std::to_string(empty.size()) + (empty.size() == 1 ? " tile" : " tiles")
             + " with nothing drawn on it: " + listInWords(empty));
    return sheets;
}

// The drawing of a poster's sheets, in the sheet's unit: the page's part, marks and names.
class PosterDrawing
{
public:
    PosterDrawing(const PosterPlan &plan, const Box &visible, const std::string &page)
        : m_plan(plan), m_visible(visible), m_page(page), m_unit(unitFor(plan.sheetWidth, plan.sheetHeight)),
          m_decimals(decimalsFor(0.005 / m_unit))
    {
    }
    double unit() const { return m_unit; }
    int decimals() const { return m_decimals; }

    // The whole page small, each tile outlined and named on it; black lines and names edged
    // in white, to be seen on any page.
    std::string overview() const
    {
        const PosterPlan &plan = m_plan;
        std::string content = partDrawing(scaled(plan.printed), divided(plan.overviewCm, m_unit), m_visible, m_decimals);
        std::string outlines, names;
        for (const Box &b : plan.overviewTiles)
            outlines += number(b.x0) + " " + number(b.y0) + " " + number(b.width()) + " " + number(b.height()) + " re S\n";
        for (size_t t = 0; t < plan.tiles.size(); ++t) {
            const std::string name = tileName(plan.tiles[t].row, plan.tiles[t].column);
            const double size = plan.overviewNameSize;
            const auto [x, y] = plan.overviewNames[t];
            names += say(name, x - size * 0.3 * double(name.size()), y - size * 0.35, size);
        }
        content += "q " + pdfNumber(2 / m_unit, 3) + " w 1 G\n" + outlines + "Q q " + pdfNumber(0.6 / m_unit, 3) + " w 0 G\n"
                   + outlines + "Q q 2 Tr " + pdfNumber(plan.overviewNameSize / 6 / m_unit, 3) + " w 1 G 1 j\n" + names
                   + "Q q 0 g\n" + names + "Q\n";
        if (plan.names) {
            content += "q 0 g\n" + say("Poster" + m_page + ": " + std::to_string(plan.columns) + " by "
                                           + std::to_string(plan.rows) + " sheets, " + millimetres(plan.posterWidth)
                                           + " x " + millimetres(plan.posterHeight) + " mm",
                                       plan.nameX, plan.nameY, plan.nameSize)
                       + "Q\n";
        }
        return content;
    }

    // A tile: its part of the page, its trim and alignment marks, its name across the middle
    // of the margin, clear of the corners' marks (where names are drawn).
    std::string tile(const PosterTile &tile) const
    {
        const PosterPlan &plan = m_plan;
        std::string content = partDrawing(scaled(plan.printed), divided(tile.cm, m_unit), m_visible, m_decimals);
        std::vector<Box> marks = tile.trims;
        marks.insert(marks.end(), tile.alignment.begin(), tile.alignment.end());
        if (!marks.empty()) {
            std::vector<Box> inUnits;
            for (const Box &m : marks)
                inUnits.push_back(scaled(m));
            content += "q " + pdfNumber(0.5 / m_unit, 3) + " w 0 G\n" + segments(inUnits, m_decimals) + "Q\n";
        }
        if (plan.names) {
            const std::string name = tileWords(plan, tile) + m_page;
            const double width = 0.5 * plan.nameSize * double(name.size());
            const double x = plan.printed.x0 + std::max(plan.nameSize, (plan.printed.width() - width) / 2);
            content += "q 0 g\n" + say(name, x, plan.nameY, plan.nameSize) + "Q\n";
        }
        return content;
    }

private:
    Box scaled(const Box &b) const { return Box{b.x0 / m_unit, b.y0 / m_unit, b.x1 / m_unit, b.y1 / m_unit}; }
    std::string number(double v) const { return pdfNumber(v / m_unit, m_decimals); }
    std::string say(const std::string &text, double x, double y, double size) const
    {
        return "BT /FSlug " + pdfNumber(size / m_unit, 2) + " Tf 1 0 0 1 " + number(x) + " " + number(y) + " Tm "
               + pdfText(text) + " Tj ET\n";
    }

    const PosterPlan &m_plan;
    const Box m_visible;
    const std::string m_page;
    const double m_unit;
    const int m_decimals;
};

} // namespace

SheetsMade buildCutPages(QPDF &pdf, const Options &o, MadeIn where, const WarnFn &warn, const StageProgress &progress,
                         PagesRead *read)
{
    PagesChosen in = pagesChosen(pdf, o, warn, read);
    const CutPlan plan = planCut(o, in.geometry);
    progress(kRead);
    const std::vector<size_t> kept = keptCutPages(plan, in, o, warn);

    SheetsMade made;
    made.sides = kept.size();
    const std::vector<size_t> wanted = wantedSides(o, kept.size());
    std::vector<bool> drawn(in.pages.size(), false);
    for (const size_t w : wanted) {
        const int side = plan.pages[kept[w]].side;
        if (side >= 0)
            drawn[size_t(in.selected[size_t(side)])] = true;
    }
    PartPages out(pdf, o, where, in.pages, drawn, made);
    // Each page made, then each side's parts handed to the links at once.
    std::map<int, std::vector<Placement>> parts;
    for (size_t n = 0; n < wanted.size(); ++n) {
        const CutPage &p = plan.pages[kept[wanted[n]]];
        const double unit = unitFor(p.width, p.height);
        const int decimals = decimalsFor(0.005 / unit);
        QPDFObjectHandle form;
        std::string content;
        if (p.side >= 0) {
            const int index = in.selected[size_t(p.side)];
            const Box &visible = in.geometry[size_t(p.side)].visible;
            form = out.form(index, visible, warn);
            content = partDrawing({0, 0, p.width / unit, p.height / unit}, divided(p.cm, unit), visible, decimals);
        }
        QPDFObjectHandle page = out.page(p.width, p.height, content, resourcesWith(form, false), unit);
        if (p.side >= 0) {
            const int index = in.selected[size_t(p.side)];
            parts[index].push_back({page, divided(p.cm, unit), p.cell, decimals});
            made.proofPages.push_back({index + 1});
        } else {
            made.proofPages.push_back({});
        }
        made.words.push_back(cutWords(plan, p));
        progress(kRead + (kDrawn - kRead) * double(n) / double(wanted.size()));
    }
    for (const auto &[index, placed] : parts)
        out.links().placeParts(index, placed);
    progress(kMade);
    out.finish(pdf, warn);
    progress(1);
    return made;
}

SheetsMade buildPosterSheets(QPDF &pdf, const Options &o, MadeIn where, const WarnFn &warn,
                             const StageProgress &progress, PagesRead *read)
{
    PagesChosen in = pagesChosen(pdf, o, warn, read);
    const std::vector<PosterPlan> plans = posterPlans(o, in.geometry, warn);
    progress(kRead);
    const std::vector<PosterSheet> sheets = posterSheets(plans, in, o, warn);

    SheetsMade made;
    made.sides = sheets.size();
    const std::vector<size_t> wanted = wantedSides(o, sheets.size());
    std::vector<bool> drawn(in.pages.size(), false);
    for (const size_t w : wanted)
        drawn[size_t(in.selected[sheets[w].page])] = true;
    PartPages out(pdf, o, where, in.pages, drawn, made);
    std::map<int, std::vector<Placement>> parts;
    const bool several = in.selected.size() > 1;
    for (size_t n = 0; n < wanted.size(); ++n) {
        const PosterSheet &sheet = sheets[wanted[n]];
        const PosterPlan &plan = plans[sheet.page];
        const int index = in.selected[sheet.page];
        const std::string page = several ? ", page " + std::to_string(index + 1) : std::string();
        const Box &visible = in.geometry[sheet.page].visible;
        const PosterDrawing drawing(plan, visible, page);
        QPDFObjectHandle form = out.form(index, visible, warn);
        std::string content;
        bool text = plan.names;
        if (sheet.tile < 0) {
            content = drawing.overview();
            text = true;
            made.words.push_back("Overview" + page + ": " + std::to_string(plan.columns * plan.rows) + " tiles");
        } else {
            const PosterTile &tile = plan.tiles[size_t(sheet.tile)];
            content = drawing.tile(tile);
            made.words.push_back("Tile " + tileName(tile.row, tile.column) + " of "
                                 + std::to_string(plan.columns * plan.rows) + page);
        }
        const double unit = drawing.unit();
        QPDFObjectHandle made_ = out.page(plan.sheetWidth, plan.sheetHeight, content, resourcesWith(form, text), unit);
        if (sheet.tile >= 0)
            parts[index].push_back({made_, divided(plan.tiles[size_t(sheet.tile)].cm, unit),
                                    plan.tiles[size_t(sheet.tile)].area, drawing.decimals()});
        made.proofPages.push_back({index + 1});
        progress(kRead + (kDrawn - kRead) * double(n) / double(wanted.size()));
    }
    for (const auto &[index, placed] : parts)
        out.links().placeParts(index, placed);
    progress(kMade);
    out.finish(pdf, warn);
    progress(1);
    return made;
}

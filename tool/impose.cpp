#include "impose.h"

#include "links.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/Buffer.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFPageObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <random>
#include <set>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace fs = std::filesystem;

char g_partialOutput[4096] = "";

namespace {

// Largest page side that PDF allows in user space units; larger sheets use /UserUnit.
constexpr double kMaxPageUnits = 14400;

Box normalised(const QPDFObjectHandle::Rectangle &r)
{
    return {std::min(r.llx, r.urx), std::min(r.lly, r.ury), std::max(r.llx, r.urx), std::max(r.lly, r.ury)};
}

bool boxFrom(QPDFObjectHandle array, Box &box)
{
    if (!array.isRectangle())
        return false;
    box = normalised(array.getArrayAsRectangle());
    return box.width() > 0 && box.height() > 0 && std::isfinite(box.width()) && std::isfinite(box.height());
}

std::string number(double value)
{
    // Numbers in a PDF stay far below this; damaged input can produce anything.
    if (!std::isfinite(value) || std::fabs(value) < 1e-9)
        value = 0;
    value = std::clamp(value, -1e12, 1e12);
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, 4);
    std::string s(buf, res.ptr);
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return s == "-0" ? "0" : s;
}

QPDFObjectHandle rectangle(const Box &b)
{
    return QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(b.x0, b.y0, b.x1, b.y1));
}

// Below this many objects, compressing all of them takes a few hundredths of a second.
constexpr size_t kSmallDocument = 10000;

bool wantsObjectStreams(QPDF &pdf)
{
    const std::map<QPDFObjGen, QPDFXRefEntry> xref = pdf.getXRefTable();
    if (xref.size() < kSmallDocument)
        return true;
    for (const auto &entry : xref) {
        if (entry.second.getType() == 2)
            return true;
    }
    return false;
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
    JoinedContents(QPDFObjectHandle array, std::function<void(const std::string &)> warn)
        : m_array(array), m_warn(std::move(warn))
    {
    }
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
    std::function<void(const std::string &)> m_warn;
};

struct PlacedPage
{
    Box visible;
    int rotation = 0;  // total clockwise turn: the page's own /Rotate plus -rt
    double userUnit = 1;
    double width = 0, height = 0;  // oriented size in points
    QPDFObjectHandle form;
};

class ProgressLine : public QPDFWriter::ProgressReporter
{
public:
    ProgressLine(const ProgressFn &fn, int from, int to) : m_fn(fn), m_from(from), m_to(to) {}
    void reportProgress(int percent) override
    {
        m_fn(m_from + (m_to - m_from) * std::clamp(percent, 0, 100) / 100);
    }

private:
    const ProgressFn &m_fn;
    int m_from, m_to;
};

std::string partialName(const fs::path &folder)
{
    static std::mt19937_64 random{std::random_device{}()};
    char name[64];
    std::snprintf(name, sizeof name, ".pdfplyjoin-%016llx.part", static_cast<unsigned long long>(random()));
    return (folder / name).string();
}

void checkFiles(const Options &o)
{
    std::error_code ec;
    const fs::path input(o.input), output(o.output);
    if (!fs::is_regular_file(input, ec))
        throw ImposeError("cannot read " + o.input + ": no such file");
    if (fs::is_directory(output, ec))
        throw ImposeError("the output " + o.output + " is a folder");
    if (fs::exists(output, ec) && fs::equivalent(input, output, ec))
        throw ImposeError("the output " + o.output + " is the input file itself");
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

Box Matrix::apply(const Box &box) const
{
    const double xs[4] = {box.x0, box.x1, box.x0, box.x1};
    const double ys[4] = {box.y0, box.y0, box.y1, box.y1};
    Box out{1e300, 1e300, -1e300, -1e300};
    for (int i = 0; i < 4; ++i) {
        const double x = a * xs[i] + c * ys[i] + e;
        const double y = b * xs[i] + d * ys[i] + f;
        out.x0 = std::min(out.x0, x);
        out.y0 = std::min(out.y0, y);
        out.x1 = std::max(out.x1, x);
        out.y1 = std::max(out.y1, y);
    }
    return out;
}

Matrix orientPage(const Box &v, int rotation, double u)
{
    Matrix m;
    switch (((rotation % 360) + 360) % 360) {
    case 90: m = {0, -1, 1, 0, -v.y0, v.x1}; break;
    case 180: m = {-1, 0, 0, -1, v.x1, v.y1}; break;
    case 270: m = {0, 1, -1, 0, v.y1, -v.x0}; break;
    default: m = {1, 0, 0, 1, -v.x0, -v.y0}; break;
    }
    return {m.a * u, m.b * u, m.c * u, m.d * u, m.e * u, m.f * u};
}

SheetLayout computeLayout(const Options &o, const std::vector<std::pair<double, double>> &pageSizes)
{
    SheetLayout s;
    const int cols = o.columns, rows = o.rows;
    const double gaps = (cols - 1) * o.gutterX, rowGaps = (rows - 1) * o.gutterY;
    if (o.customSize) {
        s.sheetWidth = o.sheetWidth;
        s.sheetHeight = o.sheetHeight;
        s.cellWidth = (s.sheetWidth - o.left - o.right - gaps) / cols;
        s.cellHeight = (s.sheetHeight - o.top - o.bottom - rowGaps) / rows;
        if (!(s.cellWidth > 0) || !(s.cellHeight > 0))
            throw LayoutError("the margins and gutters leave no room for the pages on the sheet");
    } else {
        const double scale = o.scalePercent / 100;
        for (const auto &[w, h] : pageSizes) {
            s.cellWidth = std::max(s.cellWidth, w * scale);
            s.cellHeight = std::max(s.cellHeight, h * scale);
        }
        if (!(s.cellWidth > 0) || !(s.cellHeight > 0))
            throw LayoutError("the selected pages have no size");
        s.sheetWidth = o.left + o.right + cols * s.cellWidth + gaps;
        s.sheetHeight = o.top + o.bottom + rows * s.cellHeight + rowGaps;
    }

    const double top = s.sheetHeight - o.top;
    for (int k = 0; k < cols * rows; ++k) {
        int col = 0, row = 0;
        switch (o.order) {
        case Order::H: row = k / cols; col = k % cols; break;
        case Order::HR: row = k / cols; col = cols - 1 - k % cols; break;
        case Order::V: col = k / rows; row = k % rows; break;
        case Order::VR: col = cols - 1 - k / rows; row = k % rows; break;
        }
        s.cells.emplace_back(o.left + col * (s.cellWidth + o.gutterX),
                             top - row * (s.cellHeight + o.gutterY) - s.cellHeight);
    }

    if (o.lines) {
        const double gridRight = o.left + cols * s.cellWidth + gaps;
        const double gridBottom = top - rows * s.cellHeight - rowGaps;
        for (int c = 1; c < cols; ++c) {
            const double x = o.left + c * s.cellWidth + (c - 1) * o.gutterX + o.gutterX / 2;
            s.lines.push_back({x, gridBottom, x, top});
        }
        for (int r = 1; r < rows; ++r) {
            const double y = top - r * s.cellHeight - (r - 1) * o.gutterY - o.gutterY / 2;
            s.lines.push_back({o.left, y, gridRight, y});
        }
    }
    return s;
}

double pageScale(const Options &o, const SheetLayout &layout, double w, double h)
{
    if (o.customSize)
        return std::min(layout.cellWidth / w, layout.cellHeight / h);
    return o.scalePercent / 100;
}

// Replaces the document's pages by the sheets that hold them.
void buildSheets(QPDF &pdf, const Options &o, const std::function<void(const std::string &)> &warn)
{
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    if (pages.empty())
        throw ImposeError(o.input + " has no pages");
    const std::vector<int> selected = selectPages(o.selection, o.pageList, int(pages.size()));
    if (selected.empty())
        throw ImposeError("no page of " + o.input + " is selected");

    // Each selected page once: its visible area, orientation and form XObject.
    std::map<int, PlacedPage> placed;
    std::set<QPDFObjGen> usedStreams;
    std::vector<std::pair<double, double>> sizes;
    for (int index : selected) {
        if (placed.count(index))
            continue;
        QPDFPageObjectHelper &page = pages.at(size_t(index));
        QPDFObjectHandle pageObj = page.getObjectHandle();
        PlacedPage p;

        Box media;
        if (!boxFrom(page.getMediaBox(), media)) {
            warn("page " + std::to_string(index + 1) + " has no valid MediaBox; US Letter is assumed");
            media = {0, 0, 612, 792};
        }
        Box crop;
        p.visible = media;
        if (boxFrom(page.getCropBox(), crop)) {
            const Box cut{std::max(crop.x0, media.x0), std::max(crop.y0, media.y0), std::min(crop.x1, media.x1),
                          std::min(crop.y1, media.y1)};
            if (cut.width() > 0 && cut.height() > 0)
                p.visible = cut;
        }
        QPDFObjectHandle rotate = page.getAttribute("/Rotate", false);
        int own = 0;
        if (rotate.isNumber())
            own = int(std::lround(rotate.getNumericValue() / 90)) * 90;
        p.rotation = (((own + o.rotation) % 360) + 360) % 360;
        QPDFObjectHandle unit = pageObj.getKey("/UserUnit");
        if (unit.isNumber() && unit.getNumericValue() > 0 && std::isfinite(unit.getNumericValue()))
            p.userUnit = unit.getNumericValue();
        const Box oriented = orientPage(p.visible, p.rotation, p.userUnit).apply(p.visible);
        p.width = oriented.width();
        p.height = oriented.height();

        // The page's own content stream becomes the form XObject: its compressed data is
        // copied as it is, never decoded and compressed again.
        QPDFObjectHandle contents = pageObj.getKey("/Contents");
        if (contents.isStream()) {
            if (usedStreams.insert(contents.getObjGen()).second)
                p.form = contents;
            else
                p.form = contents.copyStream();
        } else {
            p.form = pdf.newStream();
            if (contents.isArray()) {
                p.form.replaceStreamData(std::make_shared<JoinedContents>(contents, warn),
                                         QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newNull());
            } else {
                p.form.replaceStreamData("", QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());  // a blank page
            }
        }
        QPDFObjectHandle dict = p.form.getDict();
        dict.removeKey("/Type");  // optional for a form, and a few bytes on every page
        dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
        dict.replaceKey("/BBox", rectangle(p.visible));
        dict.removeKey("/Matrix");
        QPDFObjectHandle resources = page.getAttribute("/Resources", false);
        dict.replaceKey("/Resources", resources.isDictionary() ? resources : QPDFObjectHandle::newDictionary());
        QPDFObjectHandle group = pageObj.getKey("/Group");
        if (group.isDictionary())
            dict.replaceKey("/Group", group);

        sizes.emplace_back(p.width, p.height);
        placed.emplace(index, p);
    }

    const SheetLayout layout = computeLayout(o, sizes);
    const double largest = std::max(layout.sheetWidth, layout.sheetHeight);
    const double userUnit = largest > kMaxPageUnits ? std::ceil(largest / kMaxPageUnits * 1000) / 1000 : 1;

    QPDFObjectHandle pagesNode = pdf.makeIndirectObject(QPDFObjectHandle::parse("<< /Type /Pages /Kids [] /Count 0 >>"));
    QPDFObjectHandle kids = pagesNode.getKey("/Kids");
    const size_t perSheet = size_t(o.columns) * size_t(o.rows);
    std::string lineColour;
    if (o.lines) {
        lineColour = number(o.lineRed / 255.0) + " " + number(o.lineGreen / 255.0) + " " + number(o.lineBlue / 255.0);
    }
    std::vector<QPDFObjectHandle> pageObjects;
    for (QPDFPageObjectHelper &page : pages)
        pageObjects.push_back(page.getObjectHandle());
    LinkKeeper links(pdf, pageObjects);
    for (size_t first = 0; first < selected.size(); first += perSheet) {
        QPDFObjectHandle sheet = pdf.makeIndirectObject(QPDFObjectHandle::newDictionary());
        std::string content;
        if (userUnit != 1)
            content += number(1 / userUnit) + " 0 0 " + number(1 / userUnit) + " 0 0 cm\n";
        QPDFObjectHandle xobjects = QPDFObjectHandle::newDictionary();
        for (size_t k = 0; k < perSheet && first + k < selected.size(); ++k) {
            const PlacedPage &p = placed.at(selected[first + k]);
            const double scale = pageScale(o, layout, p.width, p.height);
            const Matrix m = orientPage(p.visible, p.rotation, p.userUnit);
            const auto [cx, cy] = layout.cells[k];
            const double tx = cx + (layout.cellWidth - scale * p.width) / 2;
            const double ty = cy + (layout.cellHeight - scale * p.height) / 2;
            const std::string name = "/Fx" + std::to_string(k + 1);
            xobjects.replaceKey(name, p.form);
            content += "q " + number(scale * m.a) + " " + number(scale * m.b) + " " + number(scale * m.c) + " "
                       + number(scale * m.d) + " " + number(scale * m.e + tx) + " " + number(scale * m.f + ty)
                       + " cm " + name + " Do Q\n";
            // The same placement in the sheet's own units, for annotations and destinations.
            const double s = scale / userUnit;
            links.place(selected[first + k], {sheet,
                                              QPDFMatrix(s * m.a, s * m.b, s * m.c, s * m.d, (scale * m.e + tx) / userUnit,
                                                         (scale * m.f + ty) / userUnit),
                                              p.visible});
        }
        if (!layout.lines.empty()) {
            content += "q 0.5 w " + lineColour + " RG\n";
            for (const Box &l : layout.lines)
                content += number(l.x0) + " " + number(l.y0) + " m " + number(l.x1) + " " + number(l.y1) + " l S\n";
            content += "Q\n";
        }

        sheet.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        sheet.replaceKey("/Parent", pagesNode);
        sheet.replaceKey("/MediaBox", rectangle({0, 0, layout.sheetWidth / userUnit, layout.sheetHeight / userUnit}));
        if (userUnit != 1)
            sheet.replaceKey("/UserUnit", QPDFObjectHandle::newReal(userUnit, 3));
        QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
        resources.replaceKey("/XObject", xobjects);
        sheet.replaceKey("/Resources", resources);
        sheet.replaceKey("/Contents", compressedStream(pdf, content));
        kids.appendItem(sheet);
    }
    pagesNode.replaceKey("/Count", QPDFObjectHandle::newInteger(kids.getArrayNItems()));
    dropPageReferences(pdf);
    pdf.getRoot().replaceKey("/Pages", pagesNode);
    pdf.updateAllPagesCache();
    links.finish();
}

void impose(const Options &o, const ProgressFn &progress, const std::function<void(const std::string &)> &warn,
            std::unique_ptr<QPDF> *keepDocument)
{
    checkFiles(o);
    progress(0);

    auto document = std::make_unique<QPDF>();
    QPDF &pdf = *document;
    try {
        pdf.processFile(o.input.c_str());
    } catch (QPDFExc &e) {
        if (e.getErrorCode() == qpdf_e_password)
            throw ImposeError(o.input + " is encrypted and needs a password");
        throw ImposeError("cannot read " + o.input + ": " + e.getMessageDetail());
    }

    buildSheets(pdf, o, warn);
    progress(5);

    // Written beside the output under a unique name, then renamed over it when complete.
    const fs::path outPath(o.output);
    const fs::path folder = outPath.has_parent_path() ? outPath.parent_path() : fs::path(".");
    std::string partial;
    std::FILE *file = nullptr;
    for (int attempt = 0; attempt < 16 && !file; ++attempt) {
        partial = partialName(folder);
        file = std::fopen(partial.c_str(), "wbx");
    }
    if (!file)
        throw ImposeError("cannot write in the folder of " + o.output);
    std::snprintf(g_partialOutput, sizeof g_partialOutput, "%s", partial.c_str());
    try {
        QPDFWriter writer(pdf);
        writer.setOutputFile(partial.c_str(), file, false);
        // Object streams unless the input was written without them and is large:
        // compressing tens of thousands of dictionaries would then cost more time than the
        // whole imposition, and the output stays as compact as the input. A large document
        // gets the fastest compression, a small one the default (it costs little there).
        const size_t objects = pdf.getXRefTable().size();
        writer.setObjectStreamMode(wantsObjectStreams(pdf) ? qpdf_o_generate : qpdf_o_disable);
        Pl_Flate::setCompressionLevel(objects < kSmallDocument ? 6 : 1);
        // Streams are copied as they are: decoding and compressing again costs more time
        // than the whole imposition, and uncompressed images stay uncompressed.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        writer.registerProgressReporter(std::make_shared<ProgressLine>(progress, 5, 99));
        writer.write();
        if (std::fflush(file) != 0)
            throw ImposeError("cannot write " + o.output + " (is the disk full?)");
#ifndef _WIN32
        if (fsync(fileno(file)) != 0)
            throw ImposeError("cannot write " + o.output + " (is the disk full?)");
#endif
        const int closed = std::fclose(file);
        file = nullptr;
        if (closed != 0)
            throw ImposeError("cannot write " + o.output + " (is the disk full?)");
        std::error_code ec;
        fs::rename(partial, outPath, ec);
        if (ec)
            throw ImposeError("cannot write " + o.output + ": " + ec.message());
        g_partialOutput[0] = '\0';
    } catch (...) {
        if (file)
            std::fclose(file);
        std::remove(partial.c_str());
        g_partialOutput[0] = '\0';
        throw;
    }
    progress(100);
    if (keepDocument)
        *keepDocument = std::move(document);
}

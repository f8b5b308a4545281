#include "pdfparts.h"

#include "errors.h"

#include <qpdf/Buffer.hh>
#include <qpdf/Pipeline.hh>
#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Pl_Count.hh>
#include <qpdf/Pl_Discard.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDF.hh>

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

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

} // namespace

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

// Whether a page's drawing was lost: it names content that is cut off, or that could not be
// recovered, and none of it can be read.
bool drawingLost(QPDF &pdf, QPDFPageObjectHelper &page)
{
    QPDFObjectHandle object = page.getObjectHandle();
    // A key whose value is a lost object reads as missing; the dictionary itself still has it.
    const auto dictionary = object.getDictAsMap();
    if (!dictionary.count("/Contents"))
        return false;
    const size_t warned = pdf.numWarnings();
    QPDFObjectHandle contents = object.getKey("/Contents");
    std::vector<QPDFObjectHandle> streams;
    if (contents.isArray())
        streams = contents.getArrayAsVector();
    else
        streams.push_back(contents);
    bool read = false, lost = false;
    for (QPDFObjectHandle &stream : streams) {
        if (!stream.isStream()) {
            lost = true;
            continue;
        }
        Pl_Discard discard;
        Pl_Count count("drawing", &discard);
        const size_t before = pdf.numWarnings();
        bool ok = false;
        try {
            ok = stream.pipeStreamData(&count, 0, qpdf_dl_generalized, true);
        } catch (const std::exception &) {
        }
        if (ok && count.getCount() > 0)
            read = true;
        else if (!ok || pdf.numWarnings() > before)
            lost = true;
    }
    return !read && (lost || pdf.numWarnings() > warned);
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


// Drops what describes the old pages one by one and has no meaning for sheets: page
// labels, the structure tree and article threads. (Bookmarks, named destinations and the
// form are kept and pointed at the sheets.)
void dropPageReferences(QPDF &pdf)
{
    QPDFObjectHandle root = pdf.getRoot();
    for (const char *key : {"/PageLabels", "/StructTreeRoot", "/Threads"})
        root.removeKey(key);
}


// The geometry of every selected page, each read once (`read` keeps it for the next proof),
// each page's warnings said once.
std::vector<PageGeometry> selectedGeometry(std::vector<QPDFPageObjectHelper> &pages, const std::vector<int> &selected,
                                           const Options &o, const WarnFn &warn, PagesRead &read)
{
    read.resize(pages.size());
    std::vector<bool> warned(pages.size(), false);
    std::vector<PageGeometry> placed;
    for (const int index : selected) {
        std::optional<PageFacts> &facts = read[size_t(index)];
        if (!facts || (o.room.trim && !facts->trimRead))
            facts = readFacts(pages.at(size_t(index)), o.room.trim);
        const bool first = !warned[size_t(index)];
        warned[size_t(index)] = true;
        placed.push_back(geometryOf(*facts, index, o, first ? warn : WarnFn([](const std::string &) {})));
        placed.back().number = index + 1;
    }
    return placed;
}

// The sides made: all of them, or those asked for (-sheets).
std::vector<size_t> wantedSides(const Options &o, size_t sides)
{
    std::vector<size_t> wanted;
    if (!o.files.proof) {
        for (size_t side = 0; side < sides; ++side)
            wanted.push_back(side);
        return wanted;
    }
    for (const int side : selectPages(Selection::List, o.files.proofSheets, int(sides)))
        wanted.push_back(size_t(side));
    if (wanted.empty())
        throw NoSuchSheet("no sheet of " + o.files.input + " is selected: it makes " + std::to_string(sides)
                              + (sides == 1 ? " sheet" : " sheets"),
                          sides);
    return wanted;
}


// Where links lead when the sheets replace the pages of their own document; what had to go,
// said.
void finishLinks(LinkKeeper &links, SheetsMade &made, const WarnFn &warn)
{
    links.finish();
    made.kept = links.kept();
    const std::vector<std::string> &dropped = links.dropped();
    constexpr size_t kNamed = 20;
    for (size_t i = 0; i < dropped.size() && i < kNamed; ++i)
        warn("dropped " + dropped[i]);
    if (dropped.size() > kNamed)
        warn("dropped " + std::to_string(dropped.size() - kNamed) + " more of the same kinds");
}


std::string pdfText(const std::string &utf8)
{
    // Latin-1 where the font's encoding has the letter, "?" elsewhere.
    std::string out = "(";
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
        const char letter = code < 0x20 || (code >= 0x7f && code < 0xa0) || code > 0xff ? '?' : char(code);
        if (letter == '(' || letter == ')' || letter == '\\')
            out += '\\';
        out += letter;
        i += length;
    }
    return out + ")";
}

QPDFObjectHandle textFonts()
{
    return QPDFObjectHandle::parse("<< /FSlug << /Type /Font /Subtype /Type1 /BaseFont /Helvetica "
                                   "/Encoding /WinAnsiEncoding >> >>");
}

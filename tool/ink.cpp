#include "ink.h"

#include <qpdf/Pl_Buffer.hh>
#include <qpdf/Buffer.hh>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <set>
#include <string>

namespace {

constexpr double kEverywhere = 1e9;
const Box kAll{-kEverywhere, -kEverywhere, kEverywhere, kEverywhere};
// How dark a sample must be to be ink: a scan's paper and its light grain are not.
constexpr float kInkDarkness = 0.35f;
// Pictures larger than this are taken as ink without reading their samples.
constexpr double kMostSamples = 128.0 * 1024 * 1024;
constexpr int kDeepestForm = 12;

double number(QPDFObjectHandle o, double fallback = 0)
{
    return o.isNumber() ? o.getNumericValue() : fallback;
}

Matrix matrixOf(QPDFObjectHandle array)
{
    if (!array.isArray() || array.getArrayNItems() != 6)
        return Matrix{};
    double v[6];
    for (int i = 0; i < 6; ++i) {
        QPDFObjectHandle item = array.getArrayItem(i);
        if (!item.isNumber())
            return Matrix{};
        v[i] = item.getNumericValue();
    }
    return {v[0], v[1], v[2], v[3], v[4], v[5]};
}

QPDFObjectHandle lookUp(QPDFObjectHandle resources, const char *kind, const std::string &name)
{
    if (!resources.isDictionary() || !resources.hasKey(kind))
        return QPDFObjectHandle();
    QPDFObjectHandle group = resources.getKey(kind);
    if (!group.isDictionary() || !group.hasKey(name))
        return QPDFObjectHandle();
    return group.getKey(name);
}

// A colour space as far as darkness goes.
struct Space
{
    enum Kind { Gray, Rgb, Cmyk, Lab, Tint, Indexed, Unknown } kind = Gray;
    int components = 1;
    // Indexed: the base and its table.
    std::shared_ptr<Space> base;
    std::string table;
    int highest = 0;
};

Space spaceOf(QPDFObjectHandle cs, QPDFObjectHandle resources, int depth = 0)
{
    Space s;
    if (depth > 4) {
        s.kind = Space::Unknown;
        return s;
    }
    if (cs.isName()) {
        const std::string n = cs.getName();
        if (n == "/DeviceGray" || n == "/G" || n == "/CalGray")
            return s;
        if (n == "/DeviceRGB" || n == "/RGB" || n == "/CalRGB") {
            s.kind = Space::Rgb;
            s.components = 3;
            return s;
        }
        if (n == "/DeviceCMYK" || n == "/CMYK") {
            s.kind = Space::Cmyk;
            s.components = 4;
            return s;
        }
        QPDFObjectHandle named = lookUp(resources, "/ColorSpace", n);
        if (named.isInitialized() && !named.isNull())
            return spaceOf(named, resources, depth + 1);
        s.kind = Space::Unknown;
        return s;
    }
    if (!cs.isArray() || cs.getArrayNItems() < 1 || !cs.getArrayItem(0).isName()) {
        s.kind = Space::Unknown;
        return s;
    }
    const std::string family = cs.getArrayItem(0).getName();
    if (family == "/ICCBased" && cs.getArrayNItems() >= 2 && cs.getArrayItem(1).isStream()) {
        const int n = int(number(cs.getArrayItem(1).getDict().getKey("/N"), 3));
        s.kind = n == 1 ? Space::Gray : n == 4 ? Space::Cmyk : Space::Rgb;
        s.components = n == 1 || n == 4 ? n : 3;
        return s;
    }
    if (family == "/CalGray")
        return s;
    if (family == "/CalRGB") {
        s.kind = Space::Rgb;
        s.components = 3;
        return s;
    }
    if (family == "/Lab") {
        s.kind = Space::Lab;
        s.components = 3;
        return s;
    }
    if (family == "/Separation") {
        s.kind = Space::Tint;
        return s;
    }
    if (family == "/DeviceN" && cs.getArrayNItems() >= 2 && cs.getArrayItem(1).isArray()) {
        s.kind = Space::Tint;
        s.components = std::max(1, cs.getArrayItem(1).getArrayNItems());
        return s;
    }
    if ((family == "/Indexed" || family == "/I") && cs.getArrayNItems() >= 4) {
        s.kind = Space::Indexed;
        s.base = std::make_shared<Space>(spaceOf(cs.getArrayItem(1), resources, depth + 1));
        s.highest = int(number(cs.getArrayItem(2)));
        QPDFObjectHandle table = cs.getArrayItem(3);
        if (table.isString())
            s.table = table.getStringValue();
        else if (table.isStream()) {
            try {
                const std::shared_ptr<Buffer> data = table.getStreamData(qpdf_dl_generalized);
                s.table.assign(reinterpret_cast<const char *>(data->getBuffer()), data->getSize());
            } catch (const std::exception &) {
                s.kind = Space::Unknown;
            }
        }
        return s;
    }
    s.kind = Space::Unknown;
    return s;
}

// The darkness of a colour, 0 (paper white) to 1, from its components (each 0 to 1).
float darknessOf(const Space &s, const float *c)
{
    switch (s.kind) {
    case Space::Gray: return 1 - c[0];
    case Space::Rgb: return 1 - (0.30f * c[0] + 0.59f * c[1] + 0.11f * c[2]);
    case Space::Cmyk: return std::min(1.0f, c[3] + 0.30f * c[0] + 0.59f * c[1] + 0.11f * c[2]);
    case Space::Lab: return 1 - c[0];
    case Space::Tint: {
        float most = 0;
        for (int i = 0; i < s.components; ++i)
            most = std::max(most, c[i]);
        return most;
    }
    case Space::Indexed: {
        if (!s.base || s.base->kind == Space::Indexed)
            return 1;
        const int index = std::clamp(int(std::lround(c[0])), 0, std::max(0, s.highest));
        const int n = s.base->components;
        float base[32] = {};
        for (int i = 0; i < n && i < 32; ++i) {
            const size_t at = size_t(index) * size_t(n) + size_t(i);
            base[i] = at < s.table.size() ? static_cast<unsigned char>(s.table[at]) / 255.0f : 0;
        }
        return darknessOf(*s.base, base);
    }
    case Space::Unknown: return 1;
    }
    return 1;
}

// A picture's samples as darkness, by row from the top; false where they cannot be read.
bool pictureDarkness(QPDFObjectHandle image, QPDFObjectHandle resources, bool maskInWhite, std::vector<float> &dark,
                     size_t &width, size_t &height)
{
    QPDFObjectHandle dict = image.getDict();
    const double w = number(dict.getKey("/Width")), h = number(dict.getKey("/Height"));
    if (!(w >= 1) || !(h >= 1) || w * h > kMostSamples)
        return false;
    width = size_t(w);
    height = size_t(h);
    const bool mask = dict.getKey("/ImageMask").isBool() && dict.getKey("/ImageMask").getBoolValue();
    const int bits = mask ? 1 : int(number(dict.getKey("/BitsPerComponent"), 8));
    if (bits != 1 && bits != 2 && bits != 4 && bits != 8 && bits != 16)
        return false;
    Space space;
    if (!mask) {
        const std::string filter = dict.getKey("/Filter").isName() ? dict.getKey("/Filter").getName() : std::string();
        if (filter == "/JPXDecode")
            return false;  // its colour space is in the data
        space = spaceOf(dict.getKey("/ColorSpace"), resources);
        if (space.kind == Space::Unknown)
            return false;
    }
    const int n = mask ? 1 : space.kind == Space::Indexed ? 1 : space.components;
    // The decode array: where each component's range starts and ends.
    std::vector<std::pair<float, float>> decode(size_t(n), {0.0f, 1.0f});
    if (space.kind == Space::Indexed)
        decode[0] = {0.0f, float((1 << bits) - 1)};
    if (space.kind == Space::Lab)
        decode = {{0.0f, 1.0f}, {-1.0f, 1.0f}, {-1.0f, 1.0f}};
    QPDFObjectHandle given = dict.getKey("/Decode");
    if (given.isArray() && given.getArrayNItems() == 2 * n) {
        for (int i = 0; i < n; ++i) {
            decode[size_t(i)] = {float(number(given.getArrayItem(2 * i))), float(number(given.getArrayItem(2 * i + 1)))};
            if (space.kind == Space::Lab && i == 0)
                decode[0] = {decode[0].first / 100, decode[0].second / 100};
        }
    }
    Pl_Buffer buffer("picture");
    try {
        if (!image.pipeStreamData(&buffer, 0, qpdf_dl_all, true, false))
            return false;
    } catch (const std::exception &) {
        return false;
    }
    std::unique_ptr<Buffer> data(buffer.getBuffer());
    const unsigned char *bytes = data->getBuffer();
    const size_t rowBytes = (width * size_t(n) * size_t(bits) + 7) / 8;
    if (data->getSize() < rowBytes * height)
        height = rowBytes ? data->getSize() / rowBytes : 0;
    if (height == 0)
        return false;
    dark.assign(width * height, 0);
    const float most = float((1u << bits) - 1);
    float c[32];
    for (size_t y = 0; y < height; ++y) {
        const unsigned char *row = bytes + y * rowBytes;
        size_t bit = 0;
        for (size_t x = 0; x < width; ++x) {
            for (int i = 0; i < n; ++i) {
                unsigned value = 0;
                if (bits == 8) {
                    value = row[bit / 8];
                } else if (bits == 16) {
                    value = (unsigned(row[bit / 8]) << 8) | row[bit / 8 + 1];
                } else {
                    value = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                }
                bit += size_t(bits);
                const auto &[d0, d1] = decode[size_t(i)];
                if (i < 32)
                    c[i] = d0 + float(value) * (d1 - d0) / most;
            }
            // A mask paints where its sample is 0 (after the decode array), in the fill colour.
            dark[y * width + x] = mask ? (c[0] < 0.5f && !maskInWhite ? 1.0f : 0.0f) : darknessOf(space, c);
        }
    }
    return true;
}

// Paints a page's drawing in boxes.
class Reader : public QPDFObjectHandle::ParserCallbacks
{
public:
    Reader(std::vector<Box> &ink, QPDFObjectHandle resources, std::set<QPDFObjGen> &forms, int depth)
        : m_ink(ink), m_resources(resources), m_forms(forms), m_depth(depth)
    {
    }
    struct State
    {
        Matrix ctm;
        Box clip = kAll;
        bool fillWhite = false, strokeWhite = false;
        Space fillSpace, strokeSpace;
        double lineWidth = 1;
        double fontSize = 0, horizontal = 1, charSpacing = 0, wordSpacing = 0, leading = 0;
        int textMode = 0;
    };
    void start(const State &state) { m_state = state; }

    void handleObject(QPDFObjectHandle object) override
    {
        if (object.isOperator()) {
            run(object.getOperatorValue());
            m_operands.clear();
        } else {
            m_operands.push_back(object);
        }
    }
    void handleEOF() override {}

private:
    double operand(size_t i) const { return i < m_operands.size() ? number(m_operands[i]) : 0; }

    void mark(const Box &inUserSpace, double grow = 0)
    {
        Box b = m_state.ctm.apply(inUserSpace);
        b = {b.x0 - grow, b.y0 - grow, b.x1 + grow, b.y1 + grow};
        const Box cut = intersection(b, m_state.clip);
        if (cut.width() >= 0 && cut.height() >= 0)
            m_ink.push_back(cut);
    }
    void point(double x, double y)
    {
        m_path = m_hasPath ? Box{std::min(m_path.x0, x), std::min(m_path.y0, y), std::max(m_path.x1, x),
                                 std::max(m_path.y1, y)}
                           : Box{x, y, x, y};
        m_hasPath = true;
    }
    void paint(bool fill, bool stroke)
    {
        if (m_hasPath) {
            const bool inked = (fill && !m_state.fillWhite) || (stroke && !m_state.strokeWhite);
            if (inked) {
                // A stroke reaches half its width beyond the path (at least a hair's).
                const double scale = std::sqrt(std::fabs(m_state.ctm.a * m_state.ctm.d - m_state.ctm.b * m_state.ctm.c));
                mark(m_path, stroke ? std::max(0.25, m_state.lineWidth * scale / 2) : 0);
            }
            if (m_clipPending) {
                const Box b = m_state.ctm.apply(m_path);
                m_state.clip = intersection(m_state.clip, b);
            }
        }
        m_clipPending = false;
        m_hasPath = false;
    }
    // A colour set by its components in the current space: whether it is white.
    static bool white(const Space &space, std::vector<QPDFObjectHandle> operands)
    {
        float c[32] = {};
        int n = 0;
        for (QPDFObjectHandle &o : operands) {
            if (!o.isNumber())
                return false;  // a pattern
            if (n < 32)
                c[n++] = float(o.getNumericValue());
        }
        if (n == 0 || space.kind == Space::Unknown)
            return false;
        return darknessOf(space, c) < 0.01f;
    }
    void text(double width)
    {
        // The glyphs' extent in text space: their advance by the size, from a little below
        // the baseline to the size above it.
        const double size = m_state.fontSize;
        if (m_state.textMode != 3 && m_state.textMode != 7 && !m_state.fillWhite && size != 0) {
            const Matrix saved = m_state.ctm;
            m_state.ctm = m_textMatrix.then(saved);
            mark({0, -0.25 * size, width, size});
            m_state.ctm = saved;
        }
        m_textMatrix = Matrix{1, 0, 0, 1, width, 0}.then(m_textMatrix);
    }
    double advance(const std::string &bytes) const
    {
        const double n = double(bytes.size());
        return (n * 0.55 * m_state.fontSize + n * m_state.charSpacing) * m_state.horizontal;
    }
    void nextLine(double tx, double ty)
    {
        m_lineMatrix = Matrix{1, 0, 0, 1, tx, ty}.then(m_lineMatrix);
        m_textMatrix = m_lineMatrix;
    }
    void draw(const std::string &name)
    {
        QPDFObjectHandle x = lookUp(m_resources, "/XObject", name);
        if (!x.isStream())
            return;
        QPDFObjectHandle dict = x.getDict();
        QPDFObjectHandle subtype = dict.getKey("/Subtype");
        if (subtype.isNameAndEquals("/Image")) {
            picture(x);
            return;
        }
        if (!subtype.isNameAndEquals("/Form") || m_depth >= kDeepestForm || !m_forms.insert(x.getObjGen()).second) {
            mark({0, 0, 1, 1});
            return;
        }
        State inner = m_state;
        inner.ctm = matrixOf(dict.getKey("/Matrix")).then(m_state.ctm);
        QPDFObjectHandle bbox = dict.getKey("/BBox");
        if (bbox.isRectangle()) {
            const auto r = bbox.getArrayAsRectangle();
            inner.clip = intersection(inner.clip, inner.ctm.apply({std::min(r.llx, r.urx), std::min(r.lly, r.ury),
                                                                   std::max(r.llx, r.urx), std::max(r.lly, r.ury)}));
        }
        QPDFObjectHandle resources = dict.getKey("/Resources");
        Reader reader(m_ink, resources.isDictionary() ? resources : m_resources, m_forms, m_depth + 1);
        reader.start(inner);
        try {
            x.parseAsContents(&reader);
        } catch (const std::exception &) {
            m_state.ctm = inner.ctm;
            mark({-kEverywhere, -kEverywhere, kEverywhere, kEverywhere});
        }
        m_forms.erase(x.getObjGen());
    }
    void picture(QPDFObjectHandle image)
    {
        std::vector<float> dark;
        size_t width = 0, height = 0;
        if (!pictureDarkness(image, m_resources, m_state.fillWhite, dark, width, height)) {
            mark({0, 0, 1, 1});
            return;
        }
        for (const Box &b : inkedBlocks(dark, width, height))
            mark(b);
    }
    // One operator of a drawing, with the operands before it.
    void run(const std::string &op)
    {
        if (!pathOrState(op) && !colour(op))
            textOrObject(op);
    }
    // The graphics state and paths; false where `op` is none of them.
    bool pathOrState(const std::string &op)
    {
        State &s = m_state;
        if (op == "q") {
            m_saved.push_back(s);
        } else if (op == "Q") {
            if (!m_saved.empty()) {
                s = m_saved.back();
                m_saved.pop_back();
            }
        } else if (op == "cm" && m_operands.size() == 6) {
            s.ctm = Matrix{operand(0), operand(1), operand(2), operand(3), operand(4), operand(5)}.then(s.ctm);
        } else if (op == "w") {
            s.lineWidth = operand(0);
        } else if (op == "m" || op == "l") {
            point(operand(0), operand(1));
        } else if (op == "c") {
            point(operand(0), operand(1)), point(operand(2), operand(3)), point(operand(4), operand(5));
        } else if (op == "v" || op == "y") {
            point(operand(0), operand(1)), point(operand(2), operand(3));
        } else if (op == "re") {
            point(operand(0), operand(1));
            point(operand(0) + operand(2), operand(1) + operand(3));
        } else if (op == "S" || op == "s") {
            paint(false, true);
        } else if (op == "f" || op == "F" || op == "f*") {
            paint(true, false);
        } else if (op == "B" || op == "B*" || op == "b" || op == "b*") {
            paint(true, true);
        } else if (op == "n") {
            paint(false, false);
        } else if (op == "W" || op == "W*") {
            m_clipPending = true;
        } else {
            return false;
        }
        return true;
    }
    // Colours; false where `op` sets none.
    bool colour(const std::string &op)
    {
        State &s = m_state;
        if (op == "g" || op == "rg" || op == "k") {
            s.fillSpace = Space{};
            s.fillSpace.kind = op == "g" ? Space::Gray : op == "rg" ? Space::Rgb : Space::Cmyk;
            s.fillSpace.components = op == "g" ? 1 : op == "rg" ? 3 : 4;
            s.fillWhite = white(s.fillSpace, m_operands);
        } else if (op == "G" || op == "RG" || op == "K") {
            s.strokeSpace = Space{};
            s.strokeSpace.kind = op == "G" ? Space::Gray : op == "RG" ? Space::Rgb : Space::Cmyk;
            s.strokeSpace.components = op == "G" ? 1 : op == "RG" ? 3 : 4;
            s.strokeWhite = white(s.strokeSpace, m_operands);
        } else if (op == "cs" || op == "CS") {
            // A new space starts at its darkest colour (black, full tint).
            Space space = m_operands.empty() ? Space{} : spaceOf(m_operands[0], m_resources);
            (op == "cs" ? s.fillSpace : s.strokeSpace) = space;
            (op == "cs" ? s.fillWhite : s.strokeWhite) = false;
        } else if (op == "sc" || op == "scn") {
            s.fillWhite = white(s.fillSpace, m_operands);
        } else if (op == "SC" || op == "SCN") {
            s.strokeWhite = white(s.strokeSpace, m_operands);
        } else {
            return false;
        }
        return true;
    }
    // Shadings, pictures and forms, and text; nothing for any other operator.
    void textOrObject(const std::string &op)
    {
        State &s = m_state;
        if (op == "sh") {
            mark(s.ctm.inverted().apply(s.clip.width() < kEverywhere ? s.clip : kAll));
        } else if (op == "Do" && !m_operands.empty() && m_operands[0].isName()) {
            draw(m_operands[0].getName());
        } else if (op == "EI" || op == "ID") {
            if (op == "EI")
                mark({0, 0, 1, 1});
        } else if (op == "BT") {
            m_textMatrix = m_lineMatrix = Matrix{};
        } else if (op == "Tf") {
            s.fontSize = operand(1);
        } else if (op == "Tz") {
            s.horizontal = operand(0) / 100;
        } else if (op == "Tc") {
            s.charSpacing = operand(0);
        } else if (op == "Tw") {
            s.wordSpacing = operand(0);
        } else if (op == "TL") {
            s.leading = operand(0);
        } else if (op == "Tr") {
            s.textMode = int(operand(0));
        } else if (op == "Td") {
            nextLine(operand(0), operand(1));
        } else if (op == "TD") {
            s.leading = -operand(1);
            nextLine(operand(0), operand(1));
        } else if (op == "Tm" && m_operands.size() == 6) {
            m_textMatrix = m_lineMatrix = Matrix{operand(0), operand(1), operand(2), operand(3), operand(4), operand(5)};
        } else if (op == "T*") {
            nextLine(0, -s.leading);
        } else if (op == "Tj" || op == "'" || op == "\"") {
            if (op != "Tj")
                nextLine(0, -s.leading);
            if (!m_operands.empty() && m_operands.back().isString())
                text(advance(m_operands.back().getStringValue()));
        } else if (op == "TJ" && !m_operands.empty() && m_operands[0].isArray()) {
            double width = 0;
            for (QPDFObjectHandle item : m_operands[0].aitems()) {
                if (item.isString())
                    width += advance(item.getStringValue());
                else if (item.isNumber())
                    width -= item.getNumericValue() / 1000 * s.fontSize * s.horizontal;
            }
            text(width);
        }
    }

    std::vector<Box> &m_ink;
    QPDFObjectHandle m_resources;
    std::set<QPDFObjGen> &m_forms;
    int m_depth;
    State m_state;
    std::vector<State> m_saved;
    std::vector<QPDFObjectHandle> m_operands;
    Box m_path;
    bool m_hasPath = false, m_clipPending = false;
    Matrix m_textMatrix, m_lineMatrix;
};

} // namespace

std::vector<Box> inkedBlocks(const std::vector<float> &darkness, size_t width, size_t height)
{
    std::vector<Box> boxes;
    if (width == 0 || height == 0 || darkness.size() < width * height)
        return boxes;
    // Blocks of a sixty-fourth of the picture each way (or fewer, in a small picture): a block
    // holds ink where enough of its samples are dark that it is no speck of dust.
    // Blocks of at least 8 by 8 samples, so that a speck is never most of a block.
    const size_t across = std::clamp<size_t>(width / 8, 1, 64), down = std::clamp<size_t>(height / 8, 1, 64);
    std::vector<size_t> dark(across * down, 0), all(across * down, 0);
    for (size_t y = 0; y < height; ++y) {
        const size_t by = y * down / height;
        for (size_t x = 0; x < width; ++x) {
            const size_t block = by * across + x * across / width;
            ++all[block];
            if (darkness[y * width + x] > kInkDarkness)
                ++dark[block];
        }
    }
    for (size_t by = 0; by < down; ++by) {
        size_t run = across;
        for (size_t bx = 0; bx <= across; ++bx) {
            const size_t block = by * across + bx;
            const bool inked = bx < across && dark[block] * 1000 >= 15 * all[block] && dark[block] >= std::min<size_t>(3, all[block]);
            if (inked && run == across)
                run = bx;
            if (!inked && run != across) {
                // Rows from the top; the picture's square has its origin at the bottom.
                boxes.push_back({double(run) / double(across), 1 - double(by + 1) / double(down), double(bx) / double(across),
                                 1 - double(by) / double(down)});
                run = across;
            }
        }
    }
    return boxes;
}

std::vector<Box> inkOf(QPDFObjectHandle page)
{
    std::vector<Box> ink;
    if (!page.isDictionary())
        return ink;
    QPDFObjectHandle resources = page.getKey("/Resources");
    std::set<QPDFObjGen> forms;
    Reader reader(ink, resources, forms, 0);
    QPDFObjectHandle contents = page.getKey("/Contents");
    try {
        if (contents.isStream() || contents.isArray())
            QPDFObjectHandle::parseContentStream(contents, &reader);
    } catch (const std::exception &) {
        ink.push_back(kAll);  // what cannot be read may draw anywhere
    }
    // What annotations show (a stamp, a field), except links, which show nothing of their own.
    QPDFObjectHandle annots = page.getKey("/Annots");
    if (annots.isArray()) {
        for (QPDFObjectHandle annot : annots.aitems()) {
            if (!annot.isDictionary())
                continue;
            QPDFObjectHandle subtype = annot.getKey("/Subtype");
            const int flags = int(number(annot.getKey("/F")));
            if (subtype.isNameAndEquals("/Link") || subtype.isNameAndEquals("/Popup") || (flags & 2))
                continue;
            QPDFObjectHandle rect = annot.getKey("/Rect");
            if (rect.isRectangle()) {
                const auto r = rect.getArrayAsRectangle();
                ink.push_back({std::min(r.llx, r.urx), std::min(r.lly, r.ury), std::max(r.llx, r.urx), std::max(r.lly, r.ury)});
            }
        }
    }
    return ink;
}

bool inkWithin(const std::vector<Box> &ink, const Box &area)
{
    for (const Box &b : ink) {
        const Box cut = intersection(b, area);
        if (cut.width() > 0 && cut.height() > 0)
            return true;
        // A hairline or a point inside the area.
        if (cut.width() >= 0 && cut.height() >= 0 && b.x0 > area.x0 && b.x1 < area.x1 && b.y0 > area.y0 && b.y1 < area.y1)
            return true;
    }
    return false;
}

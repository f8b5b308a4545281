#include "options.h"

#include <charconv>
#include <cmath>
#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>

namespace {

constexpr int kMaxGrid = 100;
constexpr int kMaxSignatureSheets = 10000;
constexpr double kMaxFrameWidth = 1000;
constexpr double kMaxLengthPoints = 14400.0 * 75000;  // far beyond any real sheet
constexpr double kMaxShiftPoints = 72 * 10;            // ten inches
constexpr double kMaxBleedPoints = 72 * 10;

bool isOptionWord(const std::string &word)
{
    return word.size() >= 2 && word[0] == '-' && std::isalpha(static_cast<unsigned char>(word[1]));
}

enum class NumberKind { Number, NotANumber, NotFinite };

// Reads a decimal number as the application writes it, independent of the locale: a sign,
// digits with or without a point (5, 5., .5), and an exponent (2E2, 1e-1); blanks around
// it are allowed. Infinity and "not a number" are numbers no sheet can use.
NumberKind parseNumber(const std::string &word, double &value)
{
    const size_t b = word.find_first_not_of(" \t");
    const size_t e = word.find_last_not_of(" \t");
    if (b == std::string::npos)
        return NumberKind::NotANumber;
    const char *first = word.data() + b;
    const char *last = word.data() + e + 1;
    bool negative = false;
    if (*first == '+' || *first == '-') {
        negative = *first == '-';
        ++first;
    }
    // from_chars takes no sign of its own, and a second sign is no number.
    if (first == last || *first == '+' || *first == '-')
        return NumberKind::NotANumber;
    const auto [ptr, ec] = std::from_chars(first, last, value, std::chars_format::general);
    if (ptr != last)
        return NumberKind::NotANumber;
    if (ec == std::errc::result_out_of_range) {
        // Too small to tell from 0 (a negative exponent, or only a fraction), or too large
        // for a double, which each option's range refuses.
        const std::string text(first, last);
        const size_t exponent = text.find_first_of("eE");
        const bool tiny = exponent != std::string::npos ? text.compare(exponent + 1, 1, "-") == 0
                                                        : text[0] == '0' || text[0] == '.';
        value = tiny ? 0 : std::numeric_limits<double>::max();
    } else if (ec != std::errc()) {
        return NumberKind::NotANumber;
    }
    if (negative)
        value = -value;
    return std::isfinite(value) ? NumberKind::Number : NumberKind::NotFinite;
}

// Words that can only continue a page list: digits, commas, dashes and blanks.
bool isPageListWord(const std::string &word)
{
    return !word.empty() && word.find_first_not_of("0123456789,- \t") == std::string::npos;
}

class Words
{
public:
    Words(const std::vector<std::string> &words) : m_words(words) {}
    bool done() const { return m_at >= m_words.size(); }
    // True when "--" is still to come: every word before it belongs to the options.
    bool filesMarked() const { return std::find(m_words.begin() + long(m_at), m_words.end(), "--") != m_words.end(); }
    const std::string &peek() const { return m_words[m_at]; }
    const std::string &take(const std::string &option)
    {
        if (done())
            throw UsageError("option " + option + " needs a value");
        return m_words[m_at++];
    }
    const std::string &last() const { return m_words.at(m_at - 1); }
    double number(const std::string &option)
    {
        const std::string &word = take(option);
        double value = 0;
        switch (parseNumber(word, value)) {
        case NumberKind::Number:
            return value;
        case NumberKind::NotFinite:
            throw UsageError("\"" + word + "\" is not a finite number (after " + option + ")");
        case NumberKind::NotANumber:
            break;
        }
        throw UsageError("\"" + word + "\" is not a number (after " + option + ")");
    }
    // Lengths as written: `count` numbers and one unit after them ("5 mm", "0.5 -1 mm"), in
    // points; with `sign`, they may be negative. `written` receives the words.
    std::vector<double> lengths(const std::string &option, size_t count, bool sign, std::string *written = nullptr)
    {
        std::vector<double> values;
        std::vector<std::string> numbers;
        for (size_t i = 0; i < count; ++i) {
            values.push_back(number(option));
            numbers.push_back(last());
        }
        const std::string &unit = take(option);
        const double perUnit = pointsPerUnit(unit);
        if (perUnit == 0)
            throw UsageError("\"" + unit + "\" is not a unit (after " + option + "): use mm, cm, inch, in, point or pt");
        std::string words;
        for (const std::string &n : numbers)
            words += n + " ";
        for (size_t i = 0; i < count; ++i) {
            if (values[i] < 0 && !sign)
                throw UsageError("the length \"" + numbers[i] + "\" must not be negative (after " + option + ")");
            if (std::fabs(values[i]) * perUnit > kMaxLengthPoints)
                throw UsageError("the length \"" + numbers[i] + " " + unit + "\" is too large to place (after " + option + ")");
            values[i] *= perUnit;
        }
        if (written)
            *written = words + unit;
        return values;
    }
    double length(const std::string &option, std::string *written = nullptr)
    {
        return lengths(option, 1, false, written).front();
    }

private:
    const std::vector<std::string> &m_words;
    size_t m_at = 0;
};

int gridCount(const std::string &text, const std::string &word)
{
    int value = 0;
    const auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || ptr != text.data() + text.size() || value < 1)
        throw UsageError("\"" + word + "\" is not a grid such as 3*2 (after -per)");
    if (value > kMaxGrid)
        throw UsageError("the grid \"" + word + "\" is larger than 100 by 100");
    return value;
}

// What was given, for the checks across options after all of them are read.
struct Given
{
    bool grid = false, order = false, signature = false, creep = false, rtl = false, scale = false, fit = false;
    bool fold = false, binderMarks = false, booklet = false;
    bool calibrate = false;
    bool scan = false, dropBlank = false, overlap = false, overview = false, size = false, duplex = false;
    bool margins = false;  // any of -l, -r, -t, -b
    std::string bleed, backShift;  // as written
};

// A grid word, "3*2" (also 3x2): columns and rows.
bool readGrid(const std::string &word, const std::string &option, Grid &grid)
{
    const size_t star = word.find_first_of("*xX");
    if (star == std::string::npos)
        throw UsageError("\"" + word + "\" is not a grid such as 3*2 (after " + option + ")");
    grid.columns = gridCount(word.substr(0, star), word);
    grid.rows = gridCount(word.substr(star + 1), word);
    return true;
}

// Whether a word is a grid ("2*1", "3x4"), as an optional value.
bool looksLikeGrid(const std::string &word)
{
    const size_t star = word.find_first_of("*xX");
    return star != std::string::npos && star > 0 && star + 1 < word.size()
           && word.find_first_not_of("0123456789", 0) == star
           && word.find_first_not_of("0123456789", star + 1) == std::string::npos;
}

// The sheet sizes by name, portrait, in millimetres: those of -size, and the large ones a
// poster may have.
struct NamedSize
{
    const char *name;
    double width, height;
};
const NamedSize kSheetSizes[] = {
    {"A3", 297, 420}, {"A4", 210, 297}, {"A5", 148, 210}, {"B4", 250, 353}, {"B5", 176, 250},
    {"Letter", 215.9, 279.4}, {"Legal", 215.9, 355.6}, {"Ledger", 279.4, 431.8},
};
const NamedSize kPosterSizes[] = {
    {"A0", 841, 1189}, {"A1", 594, 841}, {"A2", 420, 594}, {"A3", 297, 420}, {"A4", 210, 297},
    {"B0", 1000, 1414}, {"B1", 707, 1000}, {"B2", 500, 707}, {"B3", 353, 500},
    {"Ledger", 279.4, 431.8}, {"ArchC", 457.2, 609.6}, {"ArchD", 609.6, 914.4}, {"ArchE", 914.4, 1219.2},
};

// The margins and gutters: one length each.
const std::pair<const char *, double Margins::*> kMarginOptions[] = {
    {"-l", &Margins::left}, {"-r", &Margins::right},   {"-t", &Margins::top},
    {"-b", &Margins::bottom}, {"-gx", &Margins::gutterX}, {"-gy", &Margins::gutterY},
};

// Every other option: its name and what it reads.
using Handler = void (*)(const std::string &option, Words &words, Options &o, Given &given);
struct OptionRow
{
    const char *name;
    Handler read;
};

const OptionRow kOptions[] = {
    {"-per", [](const std::string &option, Words &words, Options &o, Given &given) {
         given.grid = true;
         readGrid(words.take(option), option, o.grid);
     }},
    {"-order", [](const std::string &option, Words &words, Options &o, Given &given) {
         given.order = true;
         // The value may be missing: then the default order stays.
         if (words.done())
             return;
         const std::string &w = words.peek();
         if (w == "H" || w == "HR" || w == "V" || w == "VR") {
             words.take(option);
             o.grid.order = w == "H" ? Order::H : w == "HR" ? Order::HR : w == "V" ? Order::V : Order::VR;
         } else if (!isOptionWord(w) && w != "--") {
             throw UsageError("\"" + w + "\" is not an order (after -order): use H, HR, V or VR");
         }
     }},
    {"-rt", [](const std::string &option, Words &words, Options &o, Given &) {
         const double degrees = words.number(option);
         if (std::fmod(degrees, 90) != 0 || std::fabs(degrees) > 3600)
             throw UsageError("the rotation \"" + words.last() + "\" is not 0, 90, 180 or 270 degrees (after -rt)");
         o.pages.rotation = ((int(degrees) % 360) + 360) % 360;
     }},
    {"-odd", [](const std::string &, Words &, Options &o, Given &) { o.pages.selection = Selection::Odd; }},
    {"-even", [](const std::string &, Words &, Options &o, Given &) { o.pages.selection = Selection::Even; }},
    {"-pr", [](const std::string &option, Words &words, Options &o, Given &) {
         // A list with blanks arrives as several words ("5, -3"): before "--" they run up to
         // the next option; without it, while they look like a page list, so that INPUT and
         // OUTPUT stay files.
         std::string list = words.take(option);
         const bool marked = words.filesMarked();
         while (!words.done() && !isOptionWord(words.peek()) && words.peek() != "--"
                && (marked || isPageListWord(words.peek())))
             list += " " + words.take(option);
         o.pages.selection = Selection::List;
         try {
             o.pages.list = parsePageList(list);
         } catch (const PageRangeError &e) {
             throw UsageError(std::string(e.what()) + " (after -pr)");
         }
     }},
    {"-scale", [](const std::string &option, Words &words, Options &o, Given &given) {
         given.scale = true;
         const double percent = words.number(option);
         if (!(percent > 0) || percent > 100000)
             throw UsageError("the scale \"" + words.last() + "\" is not a percentage above 0 (after -scale)");
         o.sizing.scalePercent = percent;
     }},
    {"-size", [](const std::string &option, Words &words, Options &o, Given &given) {
         given.size = true;
         const std::string &kind = words.take(option);
         o.sizing.customSize = true;
         if (kind != "Custom") {
             // The page options' sizes, portrait, in millimetres; "landscape" after one turns it.
             const auto &kSizes = kSheetSizes;
             const auto *size = std::find_if(std::begin(kSizes), std::end(kSizes),
                                             [&kind](const auto &s) { return kind == s.name; });
             if (size == std::end(kSizes))
                 throw UsageError("\"" + kind + "\" is not a sheet size (after -size): use A3, A4, A5, B4, B5, Letter, "
                                  "Legal or Ledger (then landscape, if wanted), or Custom W UNIT H UNIT");
             const double mm = pointsPerUnit("mm");
             o.sizing.sheetWidth = size->width * mm;
             o.sizing.sheetHeight = size->height * mm;
             if (!words.done() && (words.peek() == "landscape" || words.peek() == "portrait")) {
                 if (words.take(option) == "landscape")
                     std::swap(o.sizing.sheetWidth, o.sizing.sheetHeight);
             }
             return;
         }
         o.sizing.sheetWidth = words.length(option);
         o.sizing.sheetHeight = words.length(option);
         if (!(o.sizing.sheetWidth > 0) || !(o.sizing.sheetHeight > 0))
             throw UsageError("the sheet size must be above 0 (after -size)");
     }},
    {"-addline", [](const std::string &option, Words &words, Options &o, Given &) {
         int *channels[3] = {&o.marks.lineRed, &o.marks.lineGreen, &o.marks.lineBlue};
         for (int *channel : channels) {
             const double v = words.number(option);
             if (v < 0 || v > 255 || v != std::floor(v))
                 throw UsageError("the colour value \"" + words.last()
                                  + "\" is not a whole number from 0 to 255 (after -addline)");
             *channel = int(v);
         }
         o.marks.lines = true;
     }},
    {"-booklet", [](const std::string &, Words &, Options &o, Given &given) {
         given.booklet = true;
         o.booklet.on = true;
     }},
    {"-fold", [](const std::string &option, Words &words, Options &o, Given &given) {
         given.fold = true;
         const std::string &pages = words.take(option);
         if (pages != "4" && pages != "8" && pages != "16")
             throw UsageError("\"" + pages + "\" is not a fold (after -fold): use 4 (folio), 8 (quarto) or 16 (octavo)");
         o.booklet.on = true;
         o.booklet.fold = std::stoi(pages);
     }},
    {"-signature", [](const std::string &option, Words &words, Options &o, Given &given) {
         given.signature = true;
         const double sheets = words.number(option);
         if (!(sheets >= 1) || sheets != std::floor(sheets) || sheets > kMaxSignatureSheets)
             throw UsageError("\"" + words.last() + "\" is not a number of sheets from 1 to "
                              + std::to_string(kMaxSignatureSheets) + " (after -signature)");
         o.booklet.signatureSheets = int(sheets);
     }},
    {"-creep", [](const std::string &option, Words &words, Options &o, Given &given) {
         given.creep = true;
         o.booklet.creep = words.length(option);
     }},
    {"-rtl", [](const std::string &, Words &, Options &o, Given &given) {
         given.rtl = true;
         o.booklet.rightToLeft = true;
     }},
    {"-cropmarks", [](const std::string &option, Words &words, Options &o, Given &) {
         o.marks.cropMarks = words.length(option);
     }},
    {"-frame", [](const std::string &option, Words &words, Options &o, Given &) {
         const double width = words.number(option);
         if (width < 0 || width > kMaxFrameWidth)
             throw UsageError("the frame width \"" + words.last() + "\" is not from 0 to "
                              + std::to_string(int(kMaxFrameWidth)) + " points (after -frame)");
         o.marks.frameWidth = width;
     }},
    {"-duplex", [](const std::string &option, Words &words, Options &o, Given &given) {
         given.duplex = true;
         const std::string &edge = words.take(option);
         if (edge != "short" && edge != "long")
             throw UsageError("\"" + edge + "\" is not an edge (after -duplex): use short or long");
         o.twoSided.duplex = edge == "short" ? Duplex::Short : Duplex::Long;
     }},
    {"-backshift", [](const std::string &option, Words &words, Options &o, Given &given) {
         const std::vector<double> shift = words.lengths(option, 2, true, &given.backShift);
         o.twoSided.backShiftX = shift[0];
         o.twoSided.backShiftY = shift[1];
     }},
    {"-stack", [](const std::string &, Words &, Options &o, Given &) { o.room.stack = true; }},
    {"-repeat", [](const std::string &, Words &, Options &o, Given &) { o.room.repeat = true; }},
    {"-bleed", [](const std::string &option, Words &words, Options &o, Given &given) {
         o.room.trim = true;
         o.room.bleed = words.length(option, &given.bleed);
     }},
    {"-slug", [](const std::string &, Words &, Options &o, Given &) { o.marks.slug = true; }},
    {"-spinemarks", [](const std::string &, Words &, Options &o, Given &given) {
         given.binderMarks = true;
         o.marks.spineMarks = true;
     }},
    {"-foldmarks", [](const std::string &, Words &, Options &o, Given &given) {
         given.binderMarks = true;
         o.marks.foldMarks = true;
     }},
    {"-sewing", [](const std::string &option, Words &words, Options &o, Given &given) {
         given.binderMarks = true;
         const double stations = words.number(option);
         if (!(stations >= 1) || stations > 20 || stations != std::floor(stations))
             throw UsageError("\"" + words.last() + "\" is not a number of sewing stations from 1 to 20 (after -sewing)");
         o.marks.sewingStations = int(stations);
         // The kettle stitches' distance from head and foot may follow: D UNIT.
         double distance = 0;
         if (!words.done() && parseNumber(words.peek(), distance) == NumberKind::Number)
             o.marks.kettle = words.length(option);
     }},
    {"-fit", [](const std::string &option, Words &words, Options &o, Given &given) {
         const std::string &mode = words.take(option);
         if (mode != "fit" && mode != "actual" && mode != "shrink")
             throw UsageError("\"" + mode + "\" is not a way to fit pages (after -fit): use fit, actual or shrink");
         o.sizing.fit = mode == "fit" ? Fit::Fit : mode == "actual" ? Fit::Actual : Fit::Shrink;
         given.fit = true;
     }},
    {"-autorotate", [](const std::string &, Words &, Options &o, Given &) { o.sizing.autoRotate = true; }},
    {"-sheets", [](const std::string &option, Words &words, Options &o, Given &) {
         try {
             o.files.proofSheets = parsePageList(words.take(option));
         } catch (const PageRangeError &e) {
             throw UsageError(std::string(e.what()) + " (after -sheets)");
         }
         o.files.proof = true;
     }},
    {"-calibrate", [](const std::string &, Words &, Options &, Given &given) { given.calibrate = true; }},
    {"-cut", [](const std::string &option, Words &words, Options &o, Given &given) {
         o.cut.on = true;
         // The grid may follow (else -per's, or a booklet's).
         if (!words.done() && looksLikeGrid(words.peek())) {
             given.grid = true;
             readGrid(words.take(option), option, o.grid);
         }
     }},
    {"-scan", [](const std::string &option, Words &words, Options &o, Given &given) {
         given.scan = true;
         const std::string &order = words.take(option);
         if (order != "alternate" && order != "fronts-first" && order != "backs-reversed")
             throw UsageError("\"" + order + "\" is not a scan's order (after -scan): use alternate, fronts-first or "
                              "backs-reversed");
         o.cut.scan = order == "alternate" ? ScanOrder::Alternate : order == "fronts-first" ? ScanOrder::FrontsFirst
                                                                                           : ScanOrder::BacksReversed;
     }},
    {"-dropblank", [](const std::string &, Words &, Options &o, Given &given) {
         given.dropBlank = true;
         o.pages.dropBlank = true;
     }},
    {"-poster", [](const std::string &option, Words &words, Options &o, Given &) {
         o.poster.on = true;
         const std::string &what = words.take(option);
         if (looksLikeGrid(what)) {
             Grid tiles;
             readGrid(what, option, tiles);
             o.poster.columns = tiles.columns;
             o.poster.rows = tiles.rows;
             return;
         }
         if (what == "Custom") {
             o.poster.width = words.length(option);
             o.poster.height = words.length(option);
             if (!(o.poster.width > 0) || !(o.poster.height > 0))
                 throw UsageError("the poster's size must be above 0 (after -poster)");
             return;
         }
         const auto *size = std::find_if(std::begin(kPosterSizes), std::end(kPosterSizes),
                                         [&what](const NamedSize &s) { return what == s.name; });
         if (size == std::end(kPosterSizes))
             throw UsageError("\"" + what + "\" is neither a grid of sheets such as 3*2 nor a poster's size (after "
                              "-poster): use A0, A1, A2, A3, A4, B0, B1, B2, B3, Ledger, ArchC, ArchD, ArchE, or "
                              "Custom W UNIT H UNIT");
         o.poster.width = size->width * pointsPerUnit("mm");
         o.poster.height = size->height * pointsPerUnit("mm");
     }},
    {"-overlap", [](const std::string &option, Words &words, Options &o, Given &given) {
         given.overlap = true;
         o.poster.overlap = words.length(option);
     }},
    {"-overview", [](const std::string &, Words &, Options &o, Given &given) {
         given.overview = true;
         o.poster.overview = true;
     }},
};

void parseOption(const std::string &option, Words &words, Options &o, Given &given)
{
    for (const auto &[name, field] : kMarginOptions) {
        if (option == name) {
            o.margins.*field = words.length(option);
            given.margins = given.margins || (field != &Margins::gutterX && field != &Margins::gutterY);
            return;
        }
    }
    for (const OptionRow &row : kOptions) {
        if (option == row.name) {
            row.read(option, words, o, given);
            return;
        }
    }
    throw UsageError("unknown option \"" + option + "\"");
}

// What -cut and -poster leave without effect, said and undone.
void checkCutAndPoster(Options &o, const Given &given, std::vector<std::string> &warnings, const Chosen &chosen)
{
    const bool marks = o.marks.lines || o.marks.cropMarks > 0 || o.marks.frameWidth > 0 || o.marks.slug;
    if (marks && !whyNot(chosen, Switch::Marks).empty()) {
        warnings.push_back(whyNot(chosen, Switch::Marks));
        o.marks.lines = o.marks.slug = false;
        o.marks.cropMarks = o.marks.frameWidth = 0;
    }
    if (given.scan && !whyNot(chosen, Switch::Scan).empty())
        warnings.push_back(whyNot(chosen, Switch::Scan));
    if (given.dropBlank && !whyNot(chosen, Switch::DropBlank).empty()) {
        warnings.push_back(whyNot(chosen, Switch::DropBlank));
        o.pages.dropBlank = false;
    }
    if ((given.overlap || given.overview) && !whyNot(chosen, Switch::PosterOnly).empty()) {
        warnings.push_back(whyNot(chosen, Switch::PosterOnly));
        o.poster.overview = false;
    }
    if (o.cut.on) {
        if (given.scale || given.size || given.fit || o.room.trim)
            warnings.push_back(whyNot(chosen, Switch::Sizing));
        const bool upright = o.sizing.autoRotate;  // sets scanned sheets upright
        o.sizing = Sizing{};
        o.sizing.autoRotate = upright;
        o.room.trim = false;
        o.room.bleed = 0;
    }
    if (o.poster.on) {
        if ((given.grid && !o.cut.on) || given.order)
            warnings.push_back("-per and -order are ignored beside -poster, whose sheets have an order of their own");
        if (given.scale || given.fit || o.room.trim || given.duplex)
            warnings.push_back(whyNot(chosen, Switch::Sizing));
        o.twoSided = TwoSided{};
        o.room.trim = false;
        o.room.bleed = 0;
        o.sizing.scalePercent = 100;
        // Margins hold the marks and the tiles' names, and keep clear of the printer's border.
        if (!given.margins)
            o.margins.left = o.margins.right = o.margins.top = o.margins.bottom = kPosterMargin;
        o.margins.gutterX = o.margins.gutterY = 0;
    }
}

// The checks that look at more than one option, or at a value beside its limit; options that
// have no effect with the others become warnings and are undone.
void checkAcross(Options &o, const Given &given, std::vector<std::string> &warnings, Chosen &chosen)
{
    if (o.room.bleed > kMaxBleedPoints)
        throw UsageError("the bleed \"" + given.bleed + "\" is larger than any page's (after -bleed)");
    if (std::fabs(o.twoSided.backShiftX) > kMaxShiftPoints || std::fabs(o.twoSided.backShiftY) > kMaxShiftPoints)
        throw UsageError("the shift \"" + given.backShift + "\" is larger than any printer's error (after -backshift)");
    chosen.booklet = given.booklet;
    chosen.fold = given.fold;
    chosen.grid = given.grid;
    chosen.stack = o.room.stack;
    chosen.repeat = o.room.repeat;
    chosen.bleed = o.room.trim;
    chosen.sheetSize = o.sizing.customSize;
    chosen.scale = given.scale;
    chosen.duplex = o.twoSided.duplex != Duplex::None;
    chosen.cut = o.cut.on;
    chosen.poster = o.poster.on;
    const std::string refused = refusal(chosen);
    if (!refused.empty())
        throw UsageError(refused);
    checkCutAndPoster(o, given, warnings, chosen);
    if (o.booklet.on) {
        if (given.grid || given.order)
            warnings.push_back("-per and -order are ignored in a booklet, which has its own grid and order");
        if (o.room.stack || o.room.repeat)
            warnings.push_back(whyNot(chosen, Switch::Stack));
        o.room.stack = o.room.repeat = false;
    } else if (given.signature || given.creep || given.rtl) {
        warnings.push_back(whyNot(chosen, Switch::BookletOnly));
    }
    if (given.binderMarks && !whyNot(chosen, Switch::BinderMarks).empty()) {
        warnings.push_back(whyNot(chosen, Switch::BinderMarks));
        o.marks.spineMarks = o.marks.foldMarks = false;
        o.marks.sewingStations = 0;
    }
    if (!given.backShift.empty() && !whyNot(chosen, Switch::BackShift).empty()) {
        warnings.push_back(whyNot(chosen, Switch::BackShift));
        o.twoSided.backShiftX = o.twoSided.backShiftY = 0;
    }
    if (!given.fit)
        o.sizing.fit = defaultFit(chosen);
}

} // namespace

double pointsPerUnit(const std::string &unit)
{
    if (unit == "mm")
        return 72.0 / 25.4;
    if (unit == "cm")
        return 720.0 / 25.4;
    if (unit == "inch" || unit == "in")
        return 72.0;
    if (unit == "point" || unit == "pt")
        return 1.0;
    return 0;
}

CommandLine parseCommandLine(const std::vector<std::string> &args)
{
    CommandLine result;
    for (const std::string &a : args) {
        if (a == "--")
            break;
        if (a == "--help" || a == "-h") {
            result.action = Action::Help;
            return result;
        }
        if (a == "--version") {
            result.action = Action::Version;
            return result;
        }
    }

    // Read from the left: a word of "-" and a letter is an option (with the values it takes),
    // any other word one of INPUT and OUTPUT; after "--" every word is a file.
    std::vector<std::string> files;
    Words words(args);
    Given given;
    Options &o = result.options;
    while (!words.done()) {
        const std::string word = words.take("");
        if (word == "--") {
            while (!words.done())
                files.push_back(words.take(""));
        } else if (isOptionWord(word)) {
            parseOption(word, words, o, given);
        } else {
            files.push_back(word);
        }
    }
    if (given.calibrate) {
        // The test sheet is written, not made from a document: OUTPUT only.
        if (files.size() != 1 || files[0].empty())
            throw UsageError("-calibrate takes OUTPUT only (pdfplyjoin -calibrate OUT.pdf)");
        o.files.output = files[0];
        checkAcross(o, given, result.warnings, result.chosen);
        result.action = Action::Calibrate;
        return result;
    }
    if (files.size() < 2)
        throw UsageError("INPUT and OUTPUT are needed (pdfplyjoin --help)");
    if (files.size() > 2)
        throw UsageError("\"" + files[2] + "\" is a word too many: only INPUT and OUTPUT follow the options");
    o.files.input = files[0];
    o.files.output = files[1];
    if (o.files.input.empty() || o.files.output.empty())
        throw UsageError("INPUT and OUTPUT must not be empty");
    checkAcross(o, given, result.warnings, result.chosen);
    return result;
}

// The help, in its sections.
const char kUsageOptions[] = "Usage: pdfplyjoin [options] INPUT OUTPUT\n"
           "Places several pages of INPUT side by side on each sheet of OUTPUT (N-up).\n"
           "Words are read from the left: a word of \"-\" and a letter is an option, any other\n"
           "word INPUT or OUTPUT; after \"--\" every word is a file. Exactly two files are named.\n"
           "\n"
           "Options:\n"
           "  -per C*R               grid of C columns by R rows per sheet (default 2*2, at most 100*100)\n"
           "  -order H|HR|V|VR       filling order: rows left to right (H), rows right to left (HR),\n"
           "                         columns from the left (V), columns from the right (VR); default H\n"
           "  -rt DEG                turn every page clockwise by 0, 90, 180 or 270 degrees\n"
           "  -l|-r|-t|-b N UNIT     left, right, top, bottom margin of the sheet\n"
           "  -gx|-gy N UNIT         gutter between columns, between rows\n"
           "  -odd | -even           only odd or even page numbers\n"
           "  -pr LIST               only the pages of LIST, e.g. 1,2,5-9,20 or 12- or 9-5\n"
           "  -scale P               pages and cells at P percent of their size\n"
           "  -size NAME [landscape] | -size Custom W UNIT H UNIT\n"
           "                         sheet of A3, A4, A5, B4, B5, Letter, Legal or Ledger (portrait,\n"
           "                         unless landscape follows), or of W by H; pages are scaled to fit\n"
           "                         their cells; not with -scale\n"
           "  -fit fit|actual|shrink each page scaled to fill its cell, at its own size (centred), or\n"
           "                         scaled down only where it is larger; default: fit with -size (actual\n"
           "                         for -repeat with -bleed, so that cards keep their trim size),\n"
           "                         otherwise actual\n"
           "  -autorotate            a page whose orientation differs from its cell's (or, without -size,\n"
           "                         from most pages') is turned by 90 degrees where that lets it be larger:\n"
           "                         clockwise, anticlockwise on backs; e.g. landscape tables in a portrait\n"
           "                         document: -per 2*1 -size A4 landscape -autorotate\n"
           "  -addline R G B         separator lines (0.5 pt) in colour R G B (0-255) along the gutters\n"
           "  -cropmarks N UNIT      trim marks N long at the corners of every page, e.g. -cropmarks 5 mm\n"
           "  -frame W               a frame W points wide round every page, in the -addline colour,\n"
           "                         e.g. -frame 0.5\n"
           "  --                     ends the options\n"
           "  --help                 this text\n"
           "  --version              the version\n";
const char kUsageBooklets[] = "Booklets:\n"
           "  -booklet               a saddle-stitched booklet: two pages a side, padded with blank\n"
           "                         pages to a multiple of four, in the order that reads right when\n"
           "                         the sides are printed double-sided (flipped on the short edge),\n"
           "                         stacked and folded; -gx is the gap at the fold, -addline draws\n"
           "                         the fold; e.g. -booklet -size Custom 297 mm 210 mm\n"
           "  -fold 4|8|16           sections of 4, 8 or 16 pages a sheet (both sides), as the sheet\n"
           "                         is folded once, twice or three times; -fold 4 is -booklet. Fold\n"
           "                         the printed sheet with its first side (the front of the first\n"
           "                         sheet) towards you: a quarto (8) first across the middle, the top\n"
           "                         half back behind the bottom one (the heads meet at the fold), then\n"
           "                         down the middle, the left half back (the spine); an octavo (16)\n"
           "                         first down the middle, the left half back, then as a quarto. With\n"
           "                         -rtl the right half goes back. Cut the folds at the head and the\n"
           "                         fore-edge after binding. Not with -per (ignored beside -booklet),\n"
           "                         -stack or -repeat\n"
           "  -spinemarks            a small black block on the spine of each signature, one step lower\n"
           "                         on each: the gathered book shows a staircase, and a signature\n"
           "                         missing or out of order shows at a glance\n"
           "  -sewing N [D UNIT]     N sewing stations marked on the fold of each signature's middle\n"
           "                         spread, the outer two (the kettle stitches) D from the head and\n"
           "                         the foot (default 10 mm), the others evenly between\n"
           "  -foldmarks             short dashed lines at the ends of every fold, in the margin\n"
           "  -signature N           signatures of N sheets, each folded as one section (with -fold, the\n"
           "                         sheets folded together); -signature 1 is perfect binding, every\n"
           "                         sheet folded alone, e.g. -booklet -signature 5\n"
           "  -creep N UNIT          moves the pages of inner sheets towards the fold, up to N on the\n"
           "                         innermost sheet of each signature, e.g. -creep 1 mm\n"
           "  -rtl                   right-to-left binding: the fold on the right of the first page\n";
const char kUsageBothSides[] = "Both sides:\n"
           "  -duplex short|long     the edge about which the printer turns the sheet, as its duplex\n"
           "                         setting names it. N-up: odd sheets are fronts, even sheets backs,\n"
           "                         each page of a back behind the page a sheet earlier (cards back to\n"
           "                         back). Booklets are printed on the short edge (the default); where\n"
           "                         the printer turns the sheet about another line than the fold (a\n"
           "                         landscape sheet on the long edge, a portrait one on the short),\n"
           "                         every back is turned by 180 degrees, so that none comes out upside\n"
           "                         down\n"
           "  -backshift X Y UNIT    moves every back by X (right) and Y (up), for a printer that does\n"
           "                         not register the back on the front, e.g. -backshift 0.5 -1 mm\n"
           "  -calibrate OUTPUT      writes a two-sided test sheet (no INPUT) that measures X and Y:\n"
           "                         print it as the work will be printed and read the rulers; its back\n"
           "                         is moved by -backshift and, with -booklet, turned as the booklet's\n"
           "                         backs are (-size, -duplex)\n";
const char kUsagePrintRoom[] = "Print room:\n"
           "  -stack                 cut and stack: cutting the pile of sheets along the grid and laying\n"
           "                         the piles on one another gives the pages in order (with -duplex,\n"
           "                         pages go in front-and-back pairs)\n"
           "  -repeat                step and repeat: each page fills every cell of its own sheet (cards,\n"
           "                         labels); with -duplex the page after it fills the back\n"
           "  -bleed N UNIT          pages placed by their TrimBox (else CropBox), each cell the finished\n"
           "                         size; the artwork runs N beyond the trim, never over another page's;\n"
           "                         -cropmarks then mark the trim, e.g. -bleed 3 mm\n"
           "  -slug                  a line of small text in the bottom margin: file, sheet, side, date\n"
           "                         (none when the margin is below 3.5 mm)\n"
           "  -sheets LIST           makes only these sheets (output pages), e.g. 3 or 2-4, as a preview;\n"
           "                         prints sheets=N, the number the whole document makes, and for\n"
           "                         each sheet made pages=P,Q,... the input's pages it shows (cut\n"
           "                         apart: the sheet's side it was cut from) and shows=WORDS, what it is\n"
           "                         (\"cut from sheet 2, back\", \"Tile B3 of 12\")\n";


const char kUsageCutAndPosters[] = "Cut apart and posters:\n"
           "  -cut [C*R]             the way back: each side of INPUT is a sheet imposed as the other\n"
           "                         options say (-per, -order, margins and gutters, -booklet, -fold,\n"
           "                         -signature, -rtl, -creep, -duplex, -stack); each cell becomes a page\n"
           "                         of OUTPUT, in reading order, as large as the cell; links, notes and\n"
           "                         fields go with the cell that holds most of them, bookmarks with the\n"
           "                         page they showed. C*R is the grid (else -per's, or the booklet's).\n"
           "                         With -autorotate, sheets scanned a quarter turn round are set\n"
           "                         upright (fronts anticlockwise, backs clockwise); e.g. a scanned\n"
           "                         booklet: -cut -booklet -scan backs-reversed -dropblank\n"
           "  -scan alternate|fronts-first|backs-reversed\n"
           "                         the order of the sides in a scan: front, back, front, back (a\n"
           "                         two-sided scan, the default); all fronts, then the backs in the same\n"
           "                         order; or all fronts, then the backs last to first (a one-sided\n"
           "                         feeder, the stack turned over). -duplex names the edge the sheets\n"
           "                         were turned on (a booklet's default: short)\n"
           "  -dropblank             pages cut out, or a poster's tiles, on which nothing is drawn are\n"
           "                         left out (each named in a warning); nothing else is left out\n"
           "  -poster C*R | NAME | Custom W UNIT H UNIT\n"
           "                         each selected page enlarged across C by R sheets, or to a poster of\n"
           "                         A0, A1, A2, A3, A4, B0, B1, B2, B3, Ledger, ArchC, ArchD or ArchE\n"
           "                         (turned as the page is), or of W by H, on as many sheets as it\n"
           "                         takes; the sheets are of -size (else of the page's own size), their\n"
           "                         margins (10 mm where none is given) hold trim marks at the corners\n"
           "                         of the printed area, alignment marks where the next sheet's edge\n"
           "                         goes, and each tile's name (\"B3: row 2 of 3, column 3 of 4\"). Trim\n"
           "                         each sheet at its left and top marks, lay it over its neighbours up\n"
           "                         to their alignment marks, glue; rows first, then the rows together\n"
           "  -overlap N UNIT        how far a poster's sheets overlap, to be glued (default 10 mm)\n"
           "  -overview              a first sheet for each poster: the whole page, the tiles drawn on it\n";

const char kUsageEnd[] =
           "Units: mm, cm, inch, in, point, pt.\n"
           "Without -scale and -size every cell is as large as the largest selected page.\n"
           "\n"
           "Progress is printed as \"Tavrell processing N%\", success as \"result=OK\", after a line\n"
           "of what the sheets kept: \"kept: L links, F form fields, B bookmarks; dropped: D\" (each\n"
           "item dropped is named in a warning).\n"
           "Exit status: 0 success, 1 the file could not be imposed, 2 bad command line.\n";

const char *usageText()
{
    static const std::string text = std::string(kUsageOptions) + kUsageBooklets + kUsageBothSides + kUsagePrintRoom
                                    + kUsageCutAndPosters + kUsageEnd;
    return text.c_str();
}

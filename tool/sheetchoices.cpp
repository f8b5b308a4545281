#include "sheetchoices.h"

#include "options.h"

#include <charconv>
#include <tuple>

namespace {

// The words for the choices exactly as they are (inEffect() makes them take effect first).
std::vector<std::string> wordsOf(const SheetChoices &c);

// What the tool's parser sees chosen by the words, on a sheet of a size.
Chosen parsed(const std::vector<std::string> &words)
{
    std::vector<std::string> args = words;
    args.insert(args.end(), {"-size", "A4", "--", "in.pdf", "out.pdf"});
    try {
        return parseCommandLine(args).chosen;
    } catch (const UsageError &) {
        Chosen none;  // the words never ask for what the rules refuse; a sheet of a size
        none.sheetSize = true;
        return none;
    }
}

std::vector<std::string> wordsOf(const SheetChoices &c)
{
    std::vector<std::string> w;
    const auto length = [&w](const char *option, double value, const std::string &unit) {
        w.insert(w.end(), {option, numberWord(value), unit});
    };
    if (c.booklet) {
        w.push_back("-booklet");
        if (c.signature > 0)
            w.insert(w.end(), {"-signature", std::to_string(c.signature)});
        if (c.creep > 0)
            length("-creep", c.creep, c.creepUnit);
        if (c.rightToLeft)
            w.push_back("-rtl");
        if (c.fold != Folds::One)
            w.insert(w.end(), {"-fold", std::to_string(int(c.fold))});
        if (c.spineMarks)
            w.push_back("-spinemarks");
        if (c.sewing > 0)
            w.insert(w.end(), {"-sewing", std::to_string(c.sewing)});
        if (c.foldMarks)
            w.push_back("-foldmarks");
    }
    // The edge, said unless it is the one a booklet is printed for anyway.
    if (c.bothSides != Duplex::None && !(c.booklet && c.bothSides == bookletEdge(Duplex::None)))
        w.insert(w.end(), {"-duplex", c.bothSides == Duplex::Long ? "long" : "short"});
    if ((c.booklet || c.bothSides != Duplex::None) && (c.backShiftX != 0 || c.backShiftY != 0))
        w.insert(w.end(), {"-backshift", numberWord(c.backShiftX), numberWord(c.backShiftY), c.backShiftUnit});
    if (c.stack)
        w.push_back("-stack");
    if (c.repeat)
        w.push_back("-repeat");
    if (c.bleed)
        length("-bleed", c.bleedLength, c.bleedUnit);
    if (c.cropMarks)
        length("-cropmarks", c.cropMarksLength, c.cropMarksUnit);
    if (c.frame)
        w.insert(w.end(), {"-frame", numberWord(c.frameWidth)});
    if (c.slug)
        w.push_back("-slug");
    if (c.fit == Fit::Actual) {
        w.insert(w.end(), {"-fit", "actual"});
    } else if (c.fit == Fit::Shrink) {
        w.insert(w.end(), {"-fit", "shrink"});
    } else {
        // "fit" said where the tool would choose otherwise.
        std::vector<std::string> without = w;
        if (defaultFit(parsed(without)) != Fit::Fit)
            w.insert(w.end(), {"-fit", "fit"});
    }
    if (c.autoRotate)
        w.push_back("-autorotate");
    if (c.cut) {
        w.push_back("-cut");
        if (c.scan != ScanOrder::Alternate)
            w.insert(w.end(), {"-scan", c.scan == ScanOrder::FrontsFirst ? "fronts-first" : "backs-reversed"});
    }
    if (c.poster) {
        w.insert(w.end(), {"-poster", c.posterSize.word()});
        length("-overlap", c.overlap, c.overlapUnit);
        if (c.overview)
            w.push_back("-overview");
    }
    if (c.dropBlank && (c.cut || c.poster))
        w.push_back("-dropblank");
    return w;
}

} // namespace

bool operator==(const SheetChoices &a, const SheetChoices &b)
{
    const auto fields = [](const SheetChoices &c) {
        return std::tie(c.booklet, c.signature, c.creep, c.creepUnit, c.rightToLeft, c.fold, c.spineMarks, c.foldMarks,
                        c.sewing, c.cropMarks, c.cropMarksLength, c.cropMarksUnit, c.frame, c.frameWidth, c.bothSides,
                        c.backShiftX, c.backShiftY, c.backShiftUnit, c.stack, c.repeat, c.bleed, c.bleedLength,
                        c.bleedUnit, c.slug, c.fit, c.autoRotate, c.cut, c.scan, c.dropBlank, c.poster, c.posterSize,
                        c.overlap, c.overlapUnit, c.overview);
    };
    return fields(a) == fields(b);
}

std::string numberWord(double value)
{
    char text[64];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

std::string PosterSize::word() const
{
    return columns > 0 && rows > 0 ? std::to_string(columns) + "*" + std::to_string(rows) : paper;
}

SheetChoices inEffect(const SheetChoices &chosen)
{
    SheetChoices e = chosen;
    // Cut apart wins over a poster; a poster is no booklet nor cut and stacked or repeated.
    if (e.poster && (e.cut || e.booklet || e.stack || e.repeat))
        e.poster = false;
    if (e.booklet) {
        // A booklet has its own order, and is printed on both sides.
        e.stack = e.repeat = false;
        if (e.bothSides == Duplex::None)
            e.bothSides = bookletEdge(Duplex::None);
    } else if (e.stack && e.repeat) {
        e.repeat = false;  // as the rules allow: a page is in one pile
    }
    if (e.fit == Fit::Fit)
        e.fit = defaultFit(parsed(wordsOf(e)));
    return e;
}

std::vector<std::string> toArguments(const SheetChoices &chosen)
{
    return wordsOf(inEffect(chosen));
}

Chosen chosenOf(const SheetChoices &chosen)
{
    return parsed(toArguments(chosen));
}

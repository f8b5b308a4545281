// What the tool says on its standard output, written here and read here: the run's lines
// (progress, the sides made, "result=OK") and the serving tool's answers. The tool writes
// with the writers, the program reads with the readers; neither spells a line itself.
//
// A run:     "Tavrell processing N%" lines, then "sheets=N", a "pages=" line (and a "shows="
//            line where the side is no sheet of pages) for each side made, "result=OK".
// An answer: the sides made as above, each warning as "pdfplyjoin: warning: TEXT", then
//            "pdf=LENGTH" and the PDF's bytes; or "error=STATUS REASON", with "sheets=N"
//            before it where the document's sides are known.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace protocol {

extern const char kProgress[];  // "Tavrell processing "
extern const char kSuccess[];   // "result=OK"
extern const char kWarning[];   // "pdfplyjoin: warning: "

// The sides a run or a proof made.
struct Sides
{
    long long sheets = -1;                // sides of the whole document; -1: not said
    std::vector<std::vector<int>> pages;  // the document's pages (from 1) each side shows
    std::vector<std::string> shows;       // what each side is where it is no sheet of pages
    bool operator==(const Sides &o) const { return sheets == o.sheets && pages == o.pages && shows == o.shows; }
};

// A line of text as one line: line breaks become spaces.
std::string oneLine(std::string text);

// --- writing ------------------------------------------------------------------------------
std::string progressLine(int percent);
std::string sidesLines(const Sides &sides);
std::string warningLine(const std::string &warning);
// The head of a served side, before its bytes.
std::string answerHead(const Sides &sides, const std::vector<std::string> &warnings, size_t pdfLength);
// A refused request; `sheets` below 0 where the document's sides are not known.
std::string refusal(int status, const std::string &reason, long long sheets = -1);

// --- reading ------------------------------------------------------------------------------
// The sides said in a run's or an answer's lines (the last "sheets=" counts).
Sides readSides(const std::string &text);
// The warnings among lines (a run's standard error, an answer), each without its mark.
std::vector<std::string> readWarnings(const std::string &text);

// One answer of the serving tool, whole.
struct Answer
{
    bool made = false;   // a side: `pdf` holds it; else refused with `status` and `reason`
    int status = 0;
    std::string reason;
    std::string said;    // the lines before the PDF or the refusal, with it
    Sides sides;
    std::vector<std::string> warnings;
    std::string pdf;
};

// Reads the serving tool's standard output as it comes, answer by answer.
class AnswerReader
{
public:
    void feed(const char *data, size_t length) { m_pending.append(data, length); }
    // The next whole answer, or nothing while it is still coming.
    std::optional<Answer> next();
    void clear() { m_pending.clear(); }

private:
    std::string m_pending;
};

} // namespace protocol

#include "protocol.h"

#include <cstdlib>

namespace protocol {

const char kProgress[] = "Tavrell processing ";
const char kSuccess[] = "result=OK";
const char kWarning[] = "pdfplyjoin: warning: ";

namespace {

bool startsWith(const std::string &text, const char *prefix, size_t at = 0)
{
    return text.compare(at, std::char_traits<char>::length(prefix), prefix) == 0;
}

// The whole number that `text` is, from `at`; nothing where it holds anything else.
std::optional<long long> number(const std::string &text, size_t at)
{
    if (at >= text.size() || text[at] < '0' || text[at] > '9')
        return std::nullopt;
    char *end = nullptr;
    const long long n = std::strtoll(text.c_str() + at, &end, 10);
    if (end != text.c_str() + text.size())
        return std::nullopt;
    return n;
}

} // namespace

std::string oneLine(std::string text)
{
    for (char &c : text) {
        if (c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

std::string progressLine(int percent)
{
    return kProgress + std::to_string(percent) + "%\n";
}

std::string sidesLines(const Sides &sides)
{
    std::string text;
    if (sides.sheets >= 0)
        text += "sheets=" + std::to_string(sides.sheets) + "\n";
    for (size_t n = 0; n < sides.pages.size(); ++n) {
        text += "pages=";
        for (size_t i = 0; i < sides.pages[n].size(); ++i)
            text += (i ? "," : "") + std::to_string(sides.pages[n][i]);
        text += "\n";
        if (n < sides.shows.size() && !sides.shows[n].empty())
            text += "shows=" + oneLine(sides.shows[n]) + "\n";
    }
    return text;
}

std::string warningLine(const std::string &warning)
{
    return kWarning + oneLine(warning) + "\n";
}

std::string answerHead(const Sides &sides, const std::vector<std::string> &warnings, size_t pdfLength)
{
    std::string head = sidesLines(sides);
    for (const std::string &w : warnings)
        head += warningLine(w);
    return head + "pdf=" + std::to_string(pdfLength) + "\n";
}

std::string refusal(int status, const std::string &reason, long long sheets)
{
    Sides known;
    known.sheets = sheets;
    return sidesLines(known) + "error=" + std::to_string(status) + " " + oneLine(reason) + "\n";
}

Sides readSides(const std::string &text)
{
    Sides sides;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (startsWith(line, "sheets=")) {
            if (const auto n = number(line, 7))
                sides.sheets = *n;
        } else if (startsWith(line, "pages=")) {
            std::vector<int> pages;
            for (size_t from = 6; from < line.size();) {
                size_t comma = line.find(',', from);
                if (comma == std::string::npos)
                    comma = line.size();
                if (const auto n = number(line.substr(0, comma), from))
                    pages.push_back(int(*n));
                from = comma + 1;
            }
            sides.pages.push_back(pages);
            sides.shows.emplace_back();
        } else if (startsWith(line, "shows=") && !sides.shows.empty()) {
            sides.shows.back() = line.substr(6);
        }
    }
    return sides;
}

std::vector<std::string> readWarnings(const std::string &text)
{
    std::vector<std::string> warnings;
    const size_t mark = std::char_traits<char>::length(kWarning);
    for (size_t at = 0; at < text.size();) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        if (startsWith(text, kWarning, at)) {
            size_t from = at + mark, to = end;
            while (from < to && (text[from] == ' ' || text[from] == '\t'))
                ++from;
            while (to > from && (text[to - 1] == ' ' || text[to - 1] == '\t' || text[to - 1] == '\r'))
                --to;
            warnings.push_back(text.substr(from, to - from));
        }
        at = end + 1;
    }
    return warnings;
}

std::optional<Answer> AnswerReader::next()
{
    size_t at = 0;
    while (true) {
        const size_t end = m_pending.find('\n', at);
        if (end == std::string::npos)
            return std::nullopt;  // more to come
        const std::string line = m_pending.substr(at, end - at);
        at = end + 1;
        if (startsWith(line, "pdf=")) {
            const auto length = number(line, 4);
            if (!length) {
                // A length that is no number: no bytes can be trusted to follow.
                Answer refused;
                refused.status = 1;
                refused.reason = "the tiling tool's answer could not be read";
                refused.said = m_pending.substr(0, at);
                m_pending.clear();
                return refused;
            }
            if (m_pending.size() - at < size_t(*length))
                return std::nullopt;
            Answer answer;
            answer.made = true;
            answer.said = m_pending.substr(0, at);
            answer.sides = readSides(answer.said);
            answer.warnings = readWarnings(answer.said);
            answer.pdf = m_pending.substr(at, size_t(*length));
            m_pending.erase(0, at + size_t(*length));
            return answer;
        }
        if (startsWith(line, "error=")) {
            Answer answer;
            const size_t space = line.find(' ');
            answer.status = std::atoi(line.c_str() + 6);
            answer.reason = space == std::string::npos ? std::string() : line.substr(space + 1);
            answer.said = m_pending.substr(0, at);
            answer.sides = readSides(answer.said);
            answer.warnings = readWarnings(answer.said);
            m_pending.erase(0, at);
            return answer;
        }
    }
}

} // namespace protocol

#include "cutshort.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string_view>

namespace {

bool isSpace(char c)
{
    return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0';
}

bool isDelimiter(char c)
{
    return isSpace(c) || std::strchr("<>[]()/%{}", c) != nullptr;
}

// The digits that end just before `end` (after blanks), read backwards; `start` receives
// where they begin. False when there are none.
bool numberBefore(const std::string &s, size_t end, long &value, size_t &start)
{
    size_t p = end;
    while (p > 0 && isSpace(s[p - 1]))
        --p;
    if (p == end && end != 0)
        return false;  // no blank between the number and what follows
    const size_t last = p;
    while (p > 0 && std::isdigit(static_cast<unsigned char>(s[p - 1])) && last - p < 10)
        --p;
    if (p == last || (p > 0 && !isSpace(s[p - 1])))
        return false;
    value = std::stol(s.substr(p, last - p));
    start = p;
    return true;
}

struct Header
{
    long number, generation;
    size_t body;  // just after "obj"
};

// Every object header "N G obj" in the file, in file order.
std::vector<Header> headers(const std::string &s)
{
    std::vector<Header> found;
    for (size_t at = s.find("obj"); at != std::string::npos; at = s.find("obj", at + 3)) {
        if (at + 3 < s.size() && !isDelimiter(s[at + 3]))
            continue;
        long generation = 0, number = 0;
        size_t genStart = 0, numStart = 0;
        if (at == 0 || !isSpace(s[at - 1]) || !numberBefore(s, at, generation, genStart)
            || !numberBefore(s, genStart, number, numStart) || number <= 0)
            continue;
        found.push_back({number, generation, at + 3});
    }
    return found;
}

// Whether the object's dictionary says /Type `type` (a name ends where a delimiter begins).
bool hasType(const std::string &s, size_t from, size_t to, const char *type)
{
    const std::string body = s.substr(from, to - from);
    for (size_t at = body.find("/Type"); at != std::string::npos; at = body.find("/Type", at + 5)) {
        size_t p = at + 5;
        while (p < body.size() && isSpace(body[p]))
            ++p;
        const size_t n = std::strlen(type);
        if (body.compare(p, n, type) == 0 && (p + n == body.size() || isDelimiter(body[p + n])))
            return true;
    }
    return false;
}

std::string reference(const Header &h)
{
    return std::to_string(h.number) + " " + std::to_string(h.generation) + " R";
}

} // namespace

CutShort mendCutShort(const std::string &bytes)
{
    CutShort result;
    const std::vector<Header> found = headers(bytes);
    if (found.empty())
        return result;
    long largest = 0;
    const Header *catalog = nullptr;
    std::vector<const Header *> pages;
    for (size_t i = 0; i < found.size(); ++i) {
        const Header &h = found[i];
        largest = std::max(largest, h.number);
        // The object's text: up to its "endobj", or the next header where it was cut.
        const size_t next = i + 1 < found.size() ? found[i + 1].body : bytes.size();
        const std::string_view text = std::string_view(bytes).substr(h.body, next - h.body);
        // A content stream's data is no dictionary: only the dictionary before it counts.
        const size_t to = h.body + std::min({text.find("endobj"), text.find("stream"), text.size()});
        if (hasType(bytes, h.body, to, "/Catalog"))
            catalog = &h;
        else if (hasType(bytes, h.body, to, "/Page"))
            pages.push_back(&h);
    }
    result.pageObjects = pages.size();
    const std::string cut = bytes + "\n";
    if (catalog) {
        result.mended.push_back(cut + "trailer\n<< /Size " + std::to_string(largest + 1) + " /Root " + reference(*catalog)
                                + " >>\n%%EOF\n");
    }
    if (!pages.empty()) {
        const long root = largest + 1, tree = largest + 2;
        std::string kids;
        for (const Header *page : pages)
            kids += reference(*page) + " ";
        result.mended.push_back(cut + std::to_string(root) + " 0 obj\n<< /Type /Catalog /Pages " + std::to_string(tree)
                                + " 0 R >>\nendobj\n" + std::to_string(tree) + " 0 obj\n<< /Type /Pages /Kids [ " + kids
                                + "] /Count " + std::to_string(pages.size()) + " >>\nendobj\ntrailer\n<< /Size "
                                + std::to_string(largest + 3) + " /Root " + std::to_string(root) + " 0 R >>\n%%EOF\n");
    }
    return result;
}

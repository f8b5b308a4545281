#include "pagerange.h"

#include <algorithm>
#include <charconv>

namespace {

std::string trimmed(const std::string &s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    const auto last = s.find_last_not_of(" \t");
    return s.substr(first, last - first + 1);
}

// A page number of at least 1; larger numbers than any document has are capped, since
// they only mean "past the end".
long long pageNumber(const std::string &text, const std::string &item)
{
    const std::string t = trimmed(text);
    if (t.empty() || t.find_first_not_of("0123456789") != std::string::npos)
        throw PageRangeError("bad page list item \"" + item + "\"");
    long long value = 0;
    const auto end = t.data() + t.size();
    const auto [ptr, ec] = std::from_chars(t.data(), end, value);
    if (ec == std::errc::result_out_of_range)
        value = 1LL << 40;
    else if (ec != std::errc() || ptr != end)
        throw PageRangeError("bad page list item \"" + item + "\"");
    if (value < 1)
        throw PageRangeError("page numbers begin at 1: \"" + item + "\"");
    return value;
}

} // namespace

std::vector<int> selectPages(Selection selection, const std::string &list, int pageCount)
{
    std::vector<int> pages;
    switch (selection) {
    case Selection::All:
    case Selection::Odd:
    case Selection::Even:
        for (int i = 0; i < pageCount; ++i) {
            const int number = i + 1;
            if (selection == Selection::All || (selection == Selection::Odd) == (number % 2 == 1))
                pages.push_back(i);
        }
        return pages;
    case Selection::List:
        break;
    }

    size_t start = 0;
    bool any = false;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        const std::string item = trimmed(list.substr(start, comma - start));
        start = comma + 1;
        if (item.empty())
            continue;
        any = true;
        const size_t dash = item.find('-');
        if (dash == std::string::npos) {
            const long long n = pageNumber(item, item);
            if (n <= pageCount)
                pages.push_back(int(n - 1));
            continue;
        }
        const std::string lowText = item.substr(0, dash);
        const std::string highText = item.substr(dash + 1);
        const long long from = trimmed(lowText).empty() ? 1 : pageNumber(lowText, item);
        const long long to = trimmed(highText).empty() ? std::max(pageCount, 1) : pageNumber(highText, item);
        if (from <= to) {
            for (long long n = from; n <= std::min<long long>(to, pageCount); ++n)
                pages.push_back(int(n - 1));
        } else {
            for (long long n = std::min<long long>(from, pageCount); n >= to; --n)
                pages.push_back(int(n - 1));
        }
    }
    if (!any)
        throw PageRangeError("the page list is empty");
    return pages;
}

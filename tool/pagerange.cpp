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
        throw PageRangeError("\"" + item + "\" is not a page number or range");
    long long value = 0;
    const auto end = t.data() + t.size();
    const auto [ptr, ec] = std::from_chars(t.data(), end, value);
    if (ec == std::errc::result_out_of_range)
        value = 1LL << 40;
    else if (ec != std::errc() || ptr != end)
        throw PageRangeError("\"" + item + "\" is not a page number or range");
    if (value < 1)
        throw PageRangeError("page numbers begin at 1: \"" + item + "\"");
    return value;
}

} // namespace

PageList parsePageList(const std::string &list)
{
    PageList ranges;
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        const std::string item = trimmed(list.substr(start, comma - start));
        start = comma + 1;
        if (item.empty())
            continue;
        const size_t dash = item.find('-');
        if (dash == std::string::npos) {
            const long long n = pageNumber(item, item);
            ranges.push_back({n, n});
            continue;
        }
        const std::string low = item.substr(0, dash), high = item.substr(dash + 1);
        const long long from = trimmed(low).empty() ? 1 : pageNumber(low, item);
        const long long to = trimmed(high).empty() ? PageRange::kLastPage : pageNumber(high, item);
        ranges.push_back({from, to});
    }
    if (ranges.empty())
        throw PageRangeError("the page list is empty");
    return ranges;
}

std::vector<int> selectPages(Selection selection, const PageList &list, int pageCount)
{
    std::vector<int> pages;
    if (selection != Selection::List) {
        for (int i = 0; i < pageCount; ++i) {
            const int number = i + 1;
            if (selection == Selection::All || (selection == Selection::Odd) == (number % 2 == 1))
                pages.push_back(i);
        }
        return pages;
    }
    const long long count = pageCount;
    for (const PageRange &r : list) {
        const long long to = r.to == PageRange::kLastPage ? std::max(count, r.from) : r.to;
        if (r.from <= to) {
            for (long long n = r.from; n <= std::min(to, count); ++n)
                pages.push_back(int(n - 1));
        } else {
            for (long long n = std::min(r.from, count); n >= to; --n)
                pages.push_back(int(n - 1));
        }
    }
    return pages;
}

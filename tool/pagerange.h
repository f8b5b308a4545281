// Page selection: all pages, odd or even page numbers, or a list such as "1,2,5-9,20",
// "12-" (to the last page), "-5" (from the first) or "9-5" (descending).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

enum class Selection { All, Odd, Even, List };

struct PageRangeError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// One item of a page list: pages `from` to `to` (from 1, either way round); `to` is
// kLastPage for a range open at its end.
struct PageRange
{
    static constexpr long long kLastPage = -1;
    long long from = 1;
    long long to = 1;
    bool operator==(const PageRange &o) const { return from == o.from && to == o.to; }
};
using PageList = std::vector<PageRange>;

// Reads a page list; a malformed or empty one throws, naming the item.
PageList parsePageList(const std::string &text);

// Zero-based indices of the selected pages of a document of `pageCount` pages, in the
// order they are placed. Numbers past the last page are skipped.
std::vector<int> selectPages(Selection selection, const PageList &list, int pageCount);

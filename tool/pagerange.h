// Page selection: all pages, odd or even page numbers, or a list such as "1,2,5-9,20",
// "12-" (to the last page) or "9-5" (descending).
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

enum class Selection { All, Odd, Even, List };

struct PageRangeError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// Zero-based indices of the selected pages of a document of `pageCount` pages, in the
// order they are placed. Numbers past the last page are skipped; a malformed list throws.
std::vector<int> selectPages(Selection selection, const std::string &list, int pageCount);

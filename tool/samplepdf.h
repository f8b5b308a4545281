// Sample PDFs with numbered pages, for the demonstration run and for the tests.
#pragma once

#include <string>
#include <vector>

struct SamplePage
{
    double width = 595, height = 842;  // MediaBox size in points
    double originX = 0, originY = 0;   // MediaBox lower-left corner
    int rotate = 0;                    // the page's /Rotate
    bool cropped = false;              // a CropBox inset by `cropInset` on every side
    double cropInset = 0;
    bool splitContents = false;        // /Contents as an array of two streams
    bool filled = false;               // the visible area filled with a colour of its own:
                                       // sampleColour(page number)
    double trimInset = 0;              // a TrimBox inset by this much, the colour filling
                                       // the whole MediaBox (artwork with a bleed)
};

// The colour of filled page `number` (from 1), as red, green and blue from 0 to 255: far
// apart from each other and from white for the first twelve.
struct SampleColour
{
    int red, green, blue;
};
SampleColour sampleColour(int number);

// Writes a PDF whose page i shows the text "Page i" (from 1) in Helvetica, a frame along
// its visible area and a small "TL" marker near the visible top-left corner.
void writeSamplePdf(const std::string &path, const std::vector<SamplePage> &pages);

// A mixed document: portrait and landscape pages of several sizes, one rotated, one with
// an offset MediaBox and one with a CropBox.
std::vector<SamplePage> mixedSamplePages(int count);

// Four A4 pages with what imposition must keep: on page 1 an internal link to page 3
// (/XYZ 100 700), a web link, a text note and a highlight with an appearance; on page 2 a
// filled text field "name" (value "Alice") and a checked check box "agree"; on page 3 a
// GoTo link to page 1, a dead link (its destination [null /Fit]) at (300, 50)-(400, 70) and
// one to an object that is no page at (300, 100)-(400, 120); on page 4 a link to the named
// destination "chapter2" (page 2), a web link of zero width at (300, 300)-(300, 312) and a link
// without any destination or action at (400, 400)-(450, 420).
// The outline: "Part" > "Page 1", "Chapter 2" (named), "Page 4" (GoTo) > "Page 3".
void writeAnnotatedPdf(const std::string &path);

// A copy of `in` encrypted with AES-256; `userPassword` may be empty (anyone can open it).
void writeEncryptedCopy(const std::string &in, const std::string &out, const std::string &userPassword);

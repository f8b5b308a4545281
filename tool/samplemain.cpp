// pdfplyjoin-sample OUTPUT [PAGES]: writes a sample PDF of numbered pages of mixed sizes.
// pdfplyjoin-sample --a5 OUTPUT [PAGES]: numbered A5 pages, all alike (for booklets).
// pdfplyjoin-sample --annotated OUTPUT: four pages with links, notes, fields and bookmarks.
// pdfplyjoin-sample --cards OUTPUT [PAGES]: business cards (85 x 55 mm) with 3 mm of bleed.
// pdfplyjoin-sample --filled OUTPUT [PAGES]: A4 pages, each filled with a colour of its own.
// pdfplyjoin-sample --letter OUTPUT [PAGES]: numbered US Letter pages, all alike.
#include "samplepdf.h"

#include <cstdlib>
#include <iostream>
#include <string>

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::cerr << "usage: pdfplyjoin-sample OUTPUT [PAGES]\n";
        return 2;
    }
    const std::string first = argv[1];
    const bool annotated = first == "--annotated", a5 = first == "--a5", cards = first == "--cards";
    const bool filled = first == "--filled", letter = first == "--letter";
    const int shift = annotated || a5 || cards || filled || letter ? 1 : 0;
    if (argc < 2 + shift) {
        std::cerr << "usage: pdfplyjoin-sample [--a5|--cards|--filled|--letter] OUTPUT [PAGES] | --annotated OUTPUT\n";
        return 2;
    }
    const int count = argc > 2 + shift ? std::atoi(argv[2 + shift]) : 12;
    try {
        if (annotated) {
            writeAnnotatedPdf(argv[2]);
        } else if (cards) {
            SamplePage page;
            const double mm = 72 / 25.4;
            page.trimInset = 3 * mm;
            page.width = 91 * mm;
            page.height = 61 * mm;
            writeSamplePdf(argv[2], std::vector<SamplePage>(size_t(count > 0 ? count : 2), page));
        } else if (filled) {
            SamplePage page;
            page.filled = true;
            writeSamplePdf(argv[2], std::vector<SamplePage>(size_t(count > 0 ? count : 12), page));
        } else if (a5 || letter) {
            SamplePage page;
            page.width = a5 ? 420 : 612;
            page.height = a5 ? 595 : 792;
            writeSamplePdf(argv[2], std::vector<SamplePage>(size_t(count > 0 ? count : 12), page));
        } else {
            writeSamplePdf(argv[1], mixedSamplePages(count > 0 ? count : 12));
        }
    } catch (const std::exception &e) {
        std::cerr << "pdfplyjoin-sample: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

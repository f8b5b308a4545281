// pdfplyjoin-sample OUTPUT [PAGES]: writes a sample PDF of numbered pages of mixed sizes.
// pdfplyjoin-sample --annotated OUTPUT: four pages with links, notes, fields and bookmarks.
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
    const bool annotated = std::string(argv[1]) == "--annotated";
    const int count = argc > 2 && !annotated ? std::atoi(argv[2]) : 12;
    try {
        if (annotated && argc > 2)
            writeAnnotatedPdf(argv[2]);
        else
            writeSamplePdf(argv[1], mixedSamplePages(count > 0 ? count : 12));
    } catch (const std::exception &e) {
        std::cerr << "pdfplyjoin-sample: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

// pdfplyjoin-sample OUTPUT [PAGES]: writes a sample PDF of numbered pages of mixed sizes.
#include "samplepdf.h"

#include <cstdlib>
#include <iostream>

int main(int argc, char *argv[])
{
    if (argc < 2) {
        std::cerr << "usage: pdfplyjoin-sample OUTPUT [PAGES]\n";
        return 2;
    }
    const int count = argc > 2 ? std::atoi(argv[2]) : 12;
    try {
        writeSamplePdf(argv[1], mixedSamplePages(count > 0 ? count : 12));
    } catch (const std::exception &e) {
        std::cerr << "pdfplyjoin-sample: " << e.what() << "\n";
        return 1;
    }
    return 0;
}

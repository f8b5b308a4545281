// libFuzzer target: imposing whatever bytes arrive as the input PDF.
#include "impose.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <unistd.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const std::string dir = [] {
        char pattern[] = "/tmp/pdfplyjoin-fuzz-XXXXXX";
        return std::string(mkdtemp(pattern));
    }();
    const std::string in = dir + "/in.pdf", out = dir + "/out.pdf";
    if (FILE *f = std::fopen(in.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    Options o;
    o.input = in;
    o.output = out;
    o.columns = 3;
    o.rows = 2;
    o.rotation = 90;
    o.lines = true;
    o.gutterX = o.gutterY = 5;
    // The print room's and the preview's paths too, chosen by the input's length.
    switch (size % 6) {
    case 1: o.duplex = Duplex::Long; o.stack = true; break;
    case 2: o.repeat = true; o.duplex = Duplex::Short; o.backShiftX = 3; break;
    case 3: o.trim = true; o.bleed = 8; o.cropMarks = 10; o.slug = true; o.bottom = 20; break;
    case 4: o.someSheets = true; o.sheetList = {{2, 3}}; break;
    case 5: o.booklet = true; o.duplex = Duplex::Long; o.creep = 2; break;
    default: break;
    }
    try {
        impose(o, [](int) {}, [](const std::string &) {});
    } catch (...) {
    }
    std::remove(out.c_str());
    return 0;
}

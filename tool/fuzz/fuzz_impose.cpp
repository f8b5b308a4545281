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
    try {
        impose(o, [](int) {}, [](const std::string &) {});
    } catch (...) {
    }
    std::remove(out.c_str());
    return 0;
}

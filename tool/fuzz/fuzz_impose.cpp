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
    o.files.input = in;
    o.files.output = out;
    o.grid.columns = 3;
    o.grid.rows = 2;
    o.pages.rotation = 90;
    o.marks.lines = true;
    o.margins.gutterX = o.margins.gutterY = 5;
    // The print room's, the proof's, the way back's and the poster's paths too, chosen by the
    // input's length; the last three read every drawing and picture for ink.
    switch (size % 9) {
    case 1: o.twoSided.duplex = Duplex::Long; o.room.stack = true; break;
    case 2: o.room.repeat = true; o.twoSided.duplex = Duplex::Short; o.twoSided.backShiftX = 3; break;
    case 3: o.room.trim = true; o.room.bleed = 8; o.marks.cropMarks = 10; o.marks.slug = true; o.margins.bottom = 20; break;
    case 4: o.files.proof = true; o.files.proofSheets = {{2, 3}}; break;
    case 5: o.booklet.on = true; o.twoSided.duplex = Duplex::Long; o.booklet.creep = 2; break;
    case 6: o.cut.on = true; o.booklet.on = true; o.sizing.autoRotate = true; o.pages.dropBlank = true; break;
    case 7: o.poster.on = true; o.poster.columns = o.poster.rows = 2; o.poster.overview = true; o.pages.dropBlank = true;
            o.margins.left = o.margins.right = o.margins.top = o.margins.bottom = 20; o.marks.lines = false; break;
    case 8: o.cut.on = true; o.cut.scan = ScanOrder::BacksReversed; o.twoSided.duplex = Duplex::Short; break;
    default: break;
    }
    try {
        impose(o, [](int) {}, [](const std::string &) {});
    } catch (...) {
    }
    std::remove(out.c_str());
    return 0;
}

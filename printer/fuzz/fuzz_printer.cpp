// libFuzzer target: what the printer application decodes from its clients. The first byte
// chooses:
//   0  a PWG raster stream, read by libcups as PAPPL reads it, each page checked and its
//      lines made into a PDF page as the printer does;
//   1  a JPEG, placed as a page of its own size;
//   2  a job's attributes as kept beside it, and the file name its title gives;
//   3  a CUPS job's option text, as the backend reads it.
#include "cupsjob.h"
#include "handoff.h"
#include "jpeginfo.h"
#include "picturepdf.h"

#include <cups/raster.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

struct Memory
{
    const uint8_t *data;
    size_t size, at = 0;
};

ssize_t readMemory(void *context, unsigned char *buffer, size_t bytes)
{
    auto *m = static_cast<Memory *>(context);
    const size_t n = std::min(bytes, m->size - m->at);
    std::memcpy(buffer, m->data + m->at, n);
    m->at += n;
    return ssize_t(n);
}

void raster(const uint8_t *data, size_t size)
{
    Memory memory{data, size};
    cups_raster_t *stream = cupsRasterOpenIO(readMemory, &memory, CUPS_RASTER_READ);
    if (!stream)
        return;
    const std::string scratch = "/tmp/fuzz-printer-" + std::to_string(getpid());
    {
        PicturePdf pdf(scratch);
        cups_page_header2_t h;
        while (cupsRasterReadHeader2(stream, &h)) {
            const RasterPageFormat f = rasterPageFormatOf(h);
            std::string error;
            // Pages the printer takes; here only those small enough to be quick.
            if (f.bytesPerLine * f.height > (std::uint64_t(1) << 22) || !pdf.startRasterPage(f, error))
                break;
            std::vector<unsigned char> line(size_t(f.bytesPerLine));
            for (unsigned y = 0; y < h.cupsHeight && cupsRasterReadPixels(stream, line.data(), h.cupsBytesPerLine); ++y)
                pdf.addRasterLine(y, line.data());
            if (!pdf.endRasterPage(error))
                break;
        }
        if (std::FILE *out = std::fopen("/dev/null", "wb")) {
            std::string error;
            pdf.write(out, error);
            std::fclose(out);
        }
    }
    cupsRasterClose(stream);
}

void jpeg(const uint8_t *data, size_t size)
{
    JpegInfo info;
    std::string error;
    if (readJpegInfo(data, size, info, error))
        pageOfJpeg(info);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    const std::string text(reinterpret_cast<const char *>(data + 1), size - 1);
    switch (data[0] % 4) {
    case 0:
        raster(data + 1, size - 1);
        break;
    case 1:
        jpeg(data + 1, size - 1);
        break;
    case 2: {
        ReceivedJob job = jobFromAttributesText(text);
        job.title = text.substr(0, 300);
        jobFileName(job);
        break;
    }
    default:
        jobOfQueue(text.substr(0, 200), text.substr(0, 4), text, "application/pdf");
        break;
    }
    return 0;
}

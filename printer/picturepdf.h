// Pages that arrive as pictures made into a PDF: each page one image at its own resolution,
// the page as large as the picture at that resolution. A raster page's lines are compressed as
// they come into a scratch file, so that no page is ever held whole in memory; a JPEG goes
// into the PDF as it is (not decoded, not resampled).
//
// What a client sends is checked before anything is taken for it: a page's size, its line
// length and the number of pages, in 64-bit arithmetic.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

// The caps on a picture page: sides of at most 65536 pixels, at most 1 GiB of pixels a page,
// at most 10000 pages a job.
constexpr std::uint64_t kMaxPictureSide = 65536;
constexpr std::uint64_t kMaxPictureBytes = std::uint64_t(1) << 30;
constexpr unsigned kMaxPicturePages = 10000;

// A raster page's format as its header states it (a PWG raster page header's fields).
struct RasterPageFormat
{
    std::uint64_t width = 0, height = 0;   // pixels
    std::uint64_t bitsPerColor = 0, bitsPerPixel = 0, bytesPerLine = 0;
    int colorSpace = 0;                    // the header's colour space number
    std::uint64_t xResolution = 0, yResolution = 0;  // pixels per inch
};

// The format a raster page's header states.
RasterPageFormat rasterPageFormatOf(const cups_page_header2_t &header);

// The colours of a raster colour space: 1 (grey, white or black), 3 (RGB), 4 (CMYK); 0 for
// one not taken.
unsigned rasterComponents(int colorSpace);

// Why page `page` (from 1) of this format is refused, or empty where it is taken.
std::string refusedRasterPage(const RasterPageFormat &format, unsigned page);

class PicturePdf
{
public:
    // `scratch`: the file the compressed lines go to, made with the first raster page and
    // removed with this object.
    explicit PicturePdf(std::string scratch);
    ~PicturePdf();
    PicturePdf(const PicturePdf &) = delete;
    PicturePdf &operator=(const PicturePdf &) = delete;

    // A raster page starts: false, with the reason, where it is refused.
    bool startRasterPage(const RasterPageFormat &format, std::string &error);
    // Line `y` of the page, `bytesPerLine` bytes. Lines come in order; lines never given are
    // white, lines past the page's height are dropped.
    bool addRasterLine(std::uint64_t y, const unsigned char *line);
    bool endRasterPage(std::string &error);
    // A JPEG file as one page of its own size, turned upright where it says so.
    bool addJpegPage(const std::string &file, std::string &error);

    std::size_t pages() const;
    // Writes the PDF; false with the reason.
    bool write(std::FILE *out, std::string &error) const;

private:
    struct Page;
    bool writeCompressed(const unsigned char *data, std::size_t size, bool finish);
    bool padTo(std::uint64_t y);

    std::string m_scratch;
    std::FILE *m_file = nullptr;
    std::vector<Page> m_pages;
    struct Deflater;
    std::unique_ptr<Deflater> m_deflater;  // the page being received
    RasterPageFormat m_format;
    std::uint64_t m_nextLine = 0;
};

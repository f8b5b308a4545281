#include "jpeginfo.h"

#include <cstdint>
#include <cstring>

namespace {

// Pixels per inch a picture without any word of its resolution is taken at: a PDF's own unit.
constexpr double kUnstatedResolution = 72;

unsigned be16(const unsigned char *p)
{
    return unsigned(p[0]) << 8 | p[1];
}

// Reads the TIFF structure of an Exif block: the orientation and the resolution.
class ExifReader
{
public:
    ExifReader(const unsigned char *data, std::size_t size) : m_data(data), m_size(size) {}

    void read(JpegInfo &info, double &xResolution, double &yResolution, int &unit) const
    {
        if (m_size < 8 || !(std::memcmp(m_data, "II*\0", 4) == 0 || std::memcmp(m_data, "MM\0*", 4) == 0))
            return;
        const std::uint32_t first = u32(4);
        std::uint32_t count = 0;
        if (!within(first, 2) || (count = u16(first)) > 1000 || !within(first + 2, std::uint64_t(count) * 12))
            return;
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint32_t entry = first + 2 + i * 12;
            const unsigned tag = u16(entry), type = u16(entry + 2);
            if (tag == 0x0112 && type == 3) {
                const unsigned value = u16(entry + 8);
                if (value >= 1 && value <= 8)
                    info.orientation = int(value);
            } else if ((tag == 0x011A || tag == 0x011B) && type == 5) {
                const std::uint32_t at = u32(entry + 8);
                if (within(at, 8) && u32(at + 4) != 0)
                    (tag == 0x011A ? xResolution : yResolution) = double(u32(at)) / u32(at + 4);
            } else if (tag == 0x0128 && type == 3) {
                unit = int(u16(entry + 8));
            }
        }
    }

private:
    bool within(std::uint64_t at, std::uint64_t length) const { return at + length <= m_size; }
    bool little() const { return m_data[0] == 'I'; }
    unsigned u16(std::uint32_t at) const
    {
        return little() ? unsigned(m_data[at]) | unsigned(m_data[at + 1]) << 8 : be16(m_data + at);
    }
    std::uint32_t u32(std::uint32_t at) const
    {
        return little() ? u16(at) | std::uint32_t(u16(at + 2)) << 16 : std::uint32_t(u16(at)) << 16 | u16(at + 2);
    }

    const unsigned char *m_data;
    std::size_t m_size;
};

bool isFrameStart(unsigned marker)
{
    // Baseline, extended, progressive and lossless frames, Huffman or arithmetic coded.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

} // namespace

bool readJpegInfo(const unsigned char *bytes, std::size_t size, JpegInfo &info, std::string &error)
{
    info = JpegInfo();
    if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) {
        error = "not a JPEG file";
        return false;
    }
    double jfifX = 0, jfifY = 0, exifX = 0, exifY = 0;
    int jfifUnit = 0, exifUnit = 2;
    bool frame = false;
    std::size_t at = 2;
    while (at + 4 <= size) {
        if (bytes[at] != 0xFF) {
            error = "the JPEG's markers are damaged";
            return false;
        }
        const unsigned marker = bytes[at + 1];
        if (marker == 0xFF) {  // fill
            ++at;
            continue;
        }
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // no length
            at += 2;
            continue;
        }
        const std::size_t length = be16(bytes + at + 2);
        if (length < 2 || at + 2 + length > size) {
            error = "the JPEG is cut short";
            return false;
        }
        const unsigned char *body = bytes + at + 4;
        const std::size_t bodySize = length - 2;
        if (isFrameStart(marker)) {
            if (bodySize < 6 || body[0] != 8) {
                error = "only JPEG pictures of 8 bits a colour are taken";
                return false;
            }
            info.height = be16(body + 1);
            info.width = be16(body + 3);
            info.components = body[5];
            frame = true;
        } else if (marker == 0xE0 && bodySize >= 12 && std::memcmp(body, "JFIF\0", 5) == 0) {
            jfifUnit = body[7];
            jfifX = be16(body + 8);
            jfifY = be16(body + 10);
        } else if (marker == 0xE1 && bodySize >= 14 && std::memcmp(body, "Exif\0\0", 6) == 0) {
            ExifReader(body + 6, bodySize - 6).read(info, exifX, exifY, exifUnit);
        } else if (marker == 0xEE && bodySize >= 12 && std::memcmp(body, "Adobe", 5) == 0) {
            info.invertedCmyk = true;
        } else if (marker == 0xDA || marker == 0xD9) {
            break;
        }
        at += 2 + length;
    }
    if (!frame) {
        error = "the JPEG has no picture";
        return false;
    }
    if (info.width == 0 || info.height == 0 || (info.components != 1 && info.components != 3 && info.components != 4)) {
        error = "the JPEG's size or colours are not taken";
        return false;
    }
    info.invertedCmyk = info.invertedCmyk && info.components == 4;
    // Dots per inch or per centimetre; JFIF first, then Exif, else the PDF's unit.
    const double perInch = jfifUnit == 2 ? 2.54 : 1;
    if ((jfifUnit == 1 || jfifUnit == 2) && jfifX > 0 && jfifY > 0) {
        info.xResolution = jfifX * perInch;
        info.yResolution = jfifY * perInch;
    } else if ((exifUnit == 2 || exifUnit == 3) && exifX > 0 && exifY > 0) {
        info.xResolution = exifX * (exifUnit == 3 ? 2.54 : 1);
        info.yResolution = exifY * (exifUnit == 3 ? 2.54 : 1);
    }
    return true;
}

PageOfJpeg pageOfJpeg(const JpegInfo &info)
{
    const double xr = info.xResolution > 0 ? info.xResolution : kUnstatedResolution;
    const double yr = info.yResolution > 0 ? info.yResolution : kUnstatedResolution;
    const double w = info.width * 72.0 / xr, h = info.height * 72.0 / yr;
    // Orientations 5 to 8 show the picture turned a quarter: the page is as high as the
    // picture is wide.
    const bool quarter = info.orientation >= 5;
    PageOfJpeg page;
    page.width = quarter ? h : w;
    page.height = quarter ? w : h;
    const double W = page.width, H = page.height;
    // x' = a x + c y + e, y' = b x + d y + f over the image's unit square (its first row at
    // the top).
    const double matrices[8][6] = {
        {W, 0, 0, H, 0, 0},    // 1 as stored
        {-W, 0, 0, H, W, 0},   // 2 mirrored
        {-W, 0, 0, -H, W, H},  // 3 half a turn
        {W, 0, 0, -H, 0, H},   // 4 mirrored, upside down
        {0, -H, -W, 0, W, H},  // 5 mirrored about the diagonal
        {0, -H, W, 0, 0, H},   // 6 a quarter turn clockwise
        {0, H, W, 0, 0, 0},    // 7 mirrored about the other diagonal
        {0, H, -W, 0, W, 0},   // 8 a quarter turn anticlockwise
    };
    const int o = info.orientation >= 1 && info.orientation <= 8 ? info.orientation : 1;
    std::memcpy(page.matrix, matrices[o - 1], sizeof page.matrix);
    return page;
}

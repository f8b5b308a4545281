#include "picturepdf.h"
#include "jpeginfo.h"

#include <qpdf/Pipeline.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <locale>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace {

// The colour spaces of a raster page header, by number.
enum RasterSpace { kWhite = 0, kRgb = 1, kBlack = 3, kCmyk = 6, kSGrey = 18, kSRgb = 19, kAdobeRgb = 20 };

std::string number(double value)
{
    std::ostringstream text;
    text.imbue(std::locale::classic());
    text.precision(6);
    text << std::fixed << value;
    return text.str();
}

// A stretch of a file, read when qpdf writes the stream it is the data of.
class FileSlice : public QPDFObjectHandle::StreamDataProvider
{
public:
    FileSlice(std::string path, std::uint64_t offset, std::uint64_t length)
        : m_path(std::move(path)), m_offset(offset), m_length(length)
    {
    }

    void provideStreamData(QPDFObjGen const &, Pipeline *pipeline) override
    {
        std::FILE *file = std::fopen(m_path.c_str(), "rb");
        if (!file || fseeko(file, off_t(m_offset), SEEK_SET) != 0) {
            if (file)
                std::fclose(file);
            throw std::runtime_error("the picture's data cannot be read again");
        }
        unsigned char buffer[65536];
        std::uint64_t left = m_length;
        while (left > 0) {
            const std::size_t n = std::fread(buffer, 1, std::size_t(std::min<std::uint64_t>(left, sizeof buffer)), file);
            if (n == 0)
                break;
            pipeline->write(buffer, n);
            left -= n;
        }
        std::fclose(file);
        pipeline->finish();
        if (left > 0)
            throw std::runtime_error("the picture's data was cut short");
    }

private:
    std::string m_path;
    std::uint64_t m_offset, m_length;
};

} // namespace

struct PicturePdf::Page
{
    std::string file;       // where its data is
    std::uint64_t offset = 0, length = 0;
    bool jpeg = false;
    JpegInfo jpegInfo;       // for a JPEG
    RasterPageFormat format; // for a raster page
};

struct PicturePdf::Deflater
{
    z_stream stream{};
    bool open = false;
    ~Deflater()
    {
        if (open)
            deflateEnd(&stream);
    }
};

RasterPageFormat rasterPageFormatOf(const cups_page_header2_t &h)
{
    RasterPageFormat f;
    f.width = h.cupsWidth;
    f.height = h.cupsHeight;
    f.bitsPerColor = h.cupsBitsPerColor;
    f.bitsPerPixel = h.cupsBitsPerPixel;
    f.bytesPerLine = h.cupsBytesPerLine;
    f.colorSpace = int(h.cupsColorSpace);
    f.xResolution = h.HWResolution[0];
    f.yResolution = h.HWResolution[1];
    return f;
}

unsigned rasterComponents(int colorSpace)
{
    switch (colorSpace) {
    case kWhite: case kBlack: case kSGrey: return 1;
    case kRgb: case kSRgb: case kAdobeRgb: return 3;
    case kCmyk: return 4;
    default: return 0;
    }
}

std::string refusedRasterPage(const RasterPageFormat &f, unsigned page)
{
    const std::string which = "Page " + std::to_string(page);
    if (page > kMaxPicturePages)
        return "A picture job of more than " + std::to_string(kMaxPicturePages) + " pages is not taken.";
    if (f.width == 0 || f.height == 0 || f.width > kMaxPictureSide || f.height > kMaxPictureSide)
        return which + " is " + std::to_string(f.width) + " x " + std::to_string(f.height) + " pixels; pages of 1 to "
               + std::to_string(kMaxPictureSide) + " pixels a side are taken.";
    const unsigned components = rasterComponents(f.colorSpace);
    if (f.bitsPerColor != 8 || components == 0 || f.bitsPerPixel != 8 * components)
        return which + " is in colours that are not taken (8 bits a colour, grey, RGB or CMYK are).";
    // Sides of at most 2^16 pixels and 4 colours keep every product below 2^37.
    if (f.bytesPerLine != f.width * components)
        return which + " says its lines are " + std::to_string(f.bytesPerLine) + " bytes long; "
               + std::to_string(f.width) + " pixels make " + std::to_string(f.width * components) + ".";
    if (f.bytesPerLine * f.height > kMaxPictureBytes)
        return which + " would take " + std::to_string(f.bytesPerLine * f.height >> 20) + " MiB; at most "
               + std::to_string(kMaxPictureBytes >> 20) + " MiB a page are taken.";
    if (f.xResolution == 0 || f.yResolution == 0 || f.xResolution > 100000 || f.yResolution > 100000)
        return which + " states no resolution that can be used.";
    return std::string();
}

PicturePdf::PicturePdf(std::string scratch) : m_scratch(std::move(scratch)) {}

std::size_t PicturePdf::pages() const
{
    return m_pages.size();
}

PicturePdf::~PicturePdf()
{
    m_deflater.reset();
    if (m_file) {
        std::fclose(m_file);
        unlink(m_scratch.c_str());
    }
}

bool PicturePdf::startRasterPage(const RasterPageFormat &format, std::string &error)
{
    error = refusedRasterPage(format, unsigned(m_pages.size() + 1));
    if (!error.empty())
        return false;
    if (!m_file && !(m_file = std::fopen(m_scratch.c_str(), "w+bx"))) {
        error = "the pictures cannot be kept: " + std::string(std::strerror(errno));
        return false;
    }
    m_deflater = std::make_unique<Deflater>();
    if (deflateInit(&m_deflater->stream, Z_BEST_SPEED) != Z_OK) {
        error = "the pictures cannot be compressed";
        return false;
    }
    m_deflater->open = true;
    Page page;
    page.file = m_scratch;
    page.offset = std::uint64_t(ftello(m_file));
    page.format = format;
    m_pages.push_back(page);
    m_format = format;
    m_nextLine = 0;
    return true;
}

bool PicturePdf::writeCompressed(const unsigned char *data, std::size_t size, bool finish)
{
    z_stream &z = m_deflater->stream;
    z.next_in = const_cast<unsigned char *>(data);
    z.avail_in = uInt(size);
    unsigned char out[65536];
    int status;
    do {
        z.next_out = out;
        z.avail_out = sizeof out;
        status = deflate(&z, finish ? Z_FINISH : Z_NO_FLUSH);
        if (status == Z_STREAM_ERROR)
            return false;
        const std::size_t made = sizeof out - z.avail_out;
        if (made && std::fwrite(out, 1, made, m_file) != made)
            return false;
    } while (z.avail_out == 0 || (finish && status != Z_STREAM_END));
    return true;
}

bool PicturePdf::padTo(std::uint64_t y)
{
    // Missing lines are white: 255 for light-additive colours, 0 for black and CMYK.
    const bool inked = m_format.colorSpace == kBlack || m_format.colorSpace == kCmyk;
    const std::vector<unsigned char> white(std::size_t(m_format.bytesPerLine), inked ? 0 : 255);
    for (; m_nextLine < y && m_nextLine < m_format.height; ++m_nextLine) {
        if (!writeCompressed(white.data(), white.size(), false))
            return false;
    }
    return true;
}

bool PicturePdf::addRasterLine(std::uint64_t y, const unsigned char *line)
{
    if (!m_deflater || y >= m_format.height || y < m_nextLine)
        return m_deflater != nullptr;
    if (!padTo(y) || !writeCompressed(line, std::size_t(m_format.bytesPerLine), false))
        return false;
    m_nextLine = y + 1;
    return true;
}

bool PicturePdf::endRasterPage(std::string &error)
{
    if (!m_deflater || !padTo(m_format.height) || !writeCompressed(nullptr, 0, true) || std::fflush(m_file) != 0) {
        error = "the pictures cannot be kept: " + std::string(std::strerror(errno));
        m_deflater.reset();
        return false;
    }
    m_deflater.reset();
    m_pages.back().length = std::uint64_t(ftello(m_file)) - m_pages.back().offset;
    return true;
}

bool PicturePdf::addJpegPage(const std::string &file, std::string &error)
{
    // The markers come before the picture's data: the first 256 KiB hold them, or the rest
    // of the file does.
    std::FILE *in = std::fopen(file.c_str(), "rb");
    struct stat st;
    if (!in || fstat(fileno(in), &st) != 0) {
        if (in)
            std::fclose(in);
        error = "the JPEG cannot be read";
        return false;
    }
    std::vector<unsigned char> head(std::size_t(std::min<off_t>(st.st_size, 1 << 18)));
    const bool read = std::fread(head.data(), 1, head.size(), in) == head.size();
    std::fclose(in);
    Page page;
    if (!read || !readJpegInfo(head.data(), head.size(), page.jpegInfo, error)) {
        if (read && error.empty())
            error = "the JPEG cannot be read";
        return false;
    }
    if (std::uint64_t(page.jpegInfo.width) * page.jpegInfo.height * page.jpegInfo.components > kMaxPictureBytes * 4) {
        error = "the JPEG is too large a picture";
        return false;
    }
    page.file = file;
    page.length = std::uint64_t(st.st_size);
    page.jpeg = true;
    m_pages.push_back(page);
    return true;
}

bool PicturePdf::write(std::FILE *out, std::string &error) const
{
    if (m_pages.empty()) {
        error = "the job has no pages";
        return false;
    }
    try {
        QPDF pdf;
        pdf.emptyPDF();
        QPDFPageDocumentHelper document(pdf);
        for (const Page &p : m_pages) {
            double width, height;
            std::string matrix;
            QPDFObjectHandle image = pdf.newStream();
            QPDFObjectHandle dict = image.getDict();
            dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
            dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
            dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
            unsigned components;
            bool inverted;
            if (p.jpeg) {
                const PageOfJpeg shown = pageOfJpeg(p.jpegInfo);
                width = shown.width;
                height = shown.height;
                for (double m : shown.matrix)
                    matrix += number(m) + " ";
                dict.replaceKey("/Width", QPDFObjectHandle::newInteger(p.jpegInfo.width));
                dict.replaceKey("/Height", QPDFObjectHandle::newInteger(p.jpegInfo.height));
                components = p.jpegInfo.components;
                inverted = p.jpegInfo.invertedCmyk;
                image.replaceStreamData(std::make_shared<FileSlice>(p.file, 0, p.length),
                                        QPDFObjectHandle::newName("/DCTDecode"), QPDFObjectHandle::newNull());
            } else {
                width = double(p.format.width) * 72 / double(p.format.xResolution);
                height = double(p.format.height) * 72 / double(p.format.yResolution);
                matrix = number(width) + " 0 0 " + number(height) + " 0 0 ";
                dict.replaceKey("/Width", QPDFObjectHandle::newInteger(std::int64_t(p.format.width)));
                dict.replaceKey("/Height", QPDFObjectHandle::newInteger(std::int64_t(p.format.height)));
                components = rasterComponents(p.format.colorSpace);
                inverted = p.format.colorSpace == kBlack;
                image.replaceStreamData(std::make_shared<FileSlice>(p.file, p.offset, p.length),
                                        QPDFObjectHandle::newName("/FlateDecode"), QPDFObjectHandle::newNull());
            }
            dict.replaceKey("/ColorSpace", QPDFObjectHandle::newName(components == 1   ? "/DeviceGray"
                                                                     : components == 4 ? "/DeviceCMYK"
                                                                                       : "/DeviceRGB"));
            if (inverted) {
                QPDFObjectHandle decode = QPDFObjectHandle::newArray();
                for (unsigned i = 0; i < components; ++i) {
                    decode.appendItem(QPDFObjectHandle::newInteger(1));
                    decode.appendItem(QPDFObjectHandle::newInteger(0));
                }
                dict.replaceKey("/Decode", decode);
            }
            const std::string drawing = "q " + matrix + "cm /Im0 Do Q\n";
            QPDFObjectHandle sheet = QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 " + number(width) + " "
                                                             + number(height) + "] /Resources << /XObject << >> >> >>");
            sheet.getKey("/Resources").getKey("/XObject").replaceKey("/Im0", image);
            sheet.replaceKey("/Contents", pdf.newStream(drawing));
            document.addPage(pdf.makeIndirectObject(sheet), false);
        }
        QPDFWriter writer(pdf);
        writer.setOutputFile("the job", out, false);
        // The pictures go as they are (compressed once, or JPEG); only the drawing is compressed.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(true);
        writer.write();
        return true;
    } catch (const std::exception &e) {
        error = e.what();
        return false;
    }
}

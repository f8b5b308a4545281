#include "samplepdf.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <charconv>

namespace {

std::string num(double v)
{
    char buf[32];
    auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, 2);
    return std::string(buf, r.ptr);
}

} // namespace

void writeSamplePdf(const std::string &path, const std::vector<SamplePage> &pages)
{
    QPDF pdf;
    pdf.emptyPDF();
    QPDFObjectHandle font = pdf.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
    QPDFPageDocumentHelper doc(pdf);
    int number = 0;
    for (const SamplePage &p : pages) {
        ++number;
        const double x0 = p.originX + (p.cropped ? p.cropInset : 0);
        const double y0 = p.originY + (p.cropped ? p.cropInset : 0);
        const double x1 = p.originX + p.width - (p.cropped ? p.cropInset : 0);
        const double y1 = p.originY + p.height - (p.cropped ? p.cropInset : 0);
        const double size = std::min(p.width, p.height) / 8;
        std::string frame = "q 0 0 1 RG 4 w " + num(x0 + 2) + " " + num(y0 + 2) + " " + num(x1 - x0 - 4) + " "
                            + num(y1 - y0 - 4) + " re S Q\n";
        std::string text = "BT /F1 " + num(size) + " Tf " + num((x0 + x1) / 2 - size * 1.6) + " "
                           + num((y0 + y1) / 2) + " Td (Page " + std::to_string(number) + ") Tj ET\n"
                           + "BT /F1 12 Tf " + num(x0 + 12) + " " + num(y1 - 24) + " Td (TL) Tj ET\n";
        if (p.cropped) {
            // Drawn outside the visible area: must never show on a sheet.
            text += "BT /F1 10 Tf " + num(p.originX + 1) + " " + num(p.originY + 1) + " Td (HIDDEN) Tj ET\n";
        }

        QPDFObjectHandle page = QPDFObjectHandle::newDictionary();
        page.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        page.replaceKey("/MediaBox", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(
                                         p.originX, p.originY, p.originX + p.width, p.originY + p.height)));
        if (p.cropped)
            page.replaceKey("/CropBox", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(x0, y0, x1, y1)));
        if (p.rotate)
            page.replaceKey("/Rotate", QPDFObjectHandle::newInteger(p.rotate));
        QPDFObjectHandle fonts = QPDFObjectHandle::newDictionary();
        fonts.replaceKey("/F1", font);
        QPDFObjectHandle resources = QPDFObjectHandle::newDictionary();
        resources.replaceKey("/Font", fonts);
        page.replaceKey("/Resources", resources);
        if (p.splitContents) {
            QPDFObjectHandle contents = QPDFObjectHandle::newArray();
            contents.appendItem(QPDFObjectHandle::newStream(&pdf, frame));
            contents.appendItem(QPDFObjectHandle::newStream(&pdf, text));
            page.replaceKey("/Contents", contents);
        } else {
            page.replaceKey("/Contents", QPDFObjectHandle::newStream(&pdf, frame + text));
        }
        doc.addPage(QPDFPageObjectHelper(pdf.makeIndirectObject(page)), false);
    }
    QPDFWriter writer(pdf, path.c_str());
    writer.setDeterministicID(true);
    writer.write();
}

std::vector<SamplePage> mixedSamplePages(int count)
{
    std::vector<SamplePage> pages;
    for (int i = 0; i < count; ++i) {
        SamplePage p;
        switch (i % 6) {
        case 1: p.width = 842; p.height = 595; break;          // A4 landscape
        case 2: p.width = 612; p.height = 792; p.rotate = 90; break;
        case 3: p.width = 420; p.height = 595; p.originX = 100; p.originY = -50; break;
        case 4: p.cropped = true; p.cropInset = 60; break;
        case 5: p.splitContents = true; break;
        default: break;
        }
        pages.push_back(p);
    }
    return pages;
}

#include "rasterpdf.h"

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <memory>

std::string pdfOfPages(const std::vector<RasterPage> &pages)
{
    QPDF pdf;
    pdf.emptyPDF();
    QPDFPageDocumentHelper document(pdf);
    for (const RasterPage &page : pages) {
        const double width = page.width * 72.0 / page.xResolution, height = page.height * 72.0 / page.yResolution;
        QPDFObjectHandle image = pdf.newStream();
        QPDFObjectHandle dict = image.getDict();
        dict.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
        dict.replaceKey("/Subtype", QPDFObjectHandle::newName("/Image"));
        dict.replaceKey("/Width", QPDFObjectHandle::newInteger(page.width));
        dict.replaceKey("/Height", QPDFObjectHandle::newInteger(page.height));
        dict.replaceKey("/BitsPerComponent", QPDFObjectHandle::newInteger(8));
        dict.replaceKey("/ColorSpace", QPDFObjectHandle::newName(page.components == 1 ? "/DeviceGray" : "/DeviceRGB"));
        // Compressed by the writer.
        image.replaceStreamData(page.pixels, QPDFObjectHandle::newNull(), QPDFObjectHandle::newNull());
        const std::string drawing = "q " + std::to_string(width) + " 0 0 " + std::to_string(height) + " 0 0 cm /Im0 Do Q\n";
        QPDFObjectHandle sheet = QPDFObjectHandle::parse("<< /Type /Page /MediaBox [0 0 " + std::to_string(width) + " "
                                                         + std::to_string(height) + "] >>");
        sheet.replaceKey("/Resources", QPDFObjectHandle::parse("<< /XObject << >> >>"));
        sheet.getKey("/Resources").getKey("/XObject").replaceKey("/Im0", image);
        sheet.replaceKey("/Contents", pdf.newStream(drawing));
        document.addPage(pdf.makeIndirectObject(sheet), false);
    }
    QPDFWriter writer(pdf);
    writer.setOutputMemory();
    writer.setCompressStreams(true);
    writer.setStreamDataMode(qpdf_s_compress);
    writer.write();
    std::unique_ptr<Buffer> buffer(writer.getBuffer());
    return std::string(reinterpret_cast<const char *>(buffer->getBuffer()), buffer->getSize());
}

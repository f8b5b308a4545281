#include "calibrate.h"

#include "geometry.h"
#include "layout.h"
#include "output.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <string>

namespace {

constexpr double kMm = 72.0 / 25.4;
constexpr int kReach = 15;  // millimetres each way from the centre

std::string num(double v)
{
    return pdfNumber(v, 3);
}

std::string line(double x0, double y0, double x1, double y1)
{
    return num(x0) + " " + num(y0) + " m " + num(x1) + " " + num(y1) + " l S\n";
}

std::string text(double x, double y, double size, const std::string &words)
{
    return "BT /F1 " + num(size) + " Tf " + num(x) + " " + num(y) + " Td (" + words + ") Tj ET\n";
}

// A side: its heading, and a cross (front) or the rulers (back) at the centre (cx, cy). The
// back is laid out as the work's backs are: moved by the back shift in its own directions,
// then, for a booklet, turned as a whole where its backs are.
std::string side(bool back, double width, double height, const Options &o)
{
    const TwoSided &twoSided = o.twoSided;
    const double cx = width / 2, cy = height / 2;
    std::string s = "q 0 g 0 G\n";
    if (back) {
        Matrix frame{1, 0, 0, 1, twoSided.backShiftX, twoSided.backShiftY};
        if (o.booklet.on && backTurned(bookletEdge(twoSided.duplex), height >= width))
            frame = frame.then({-1, 0, 0, -1, width, height});
        s += matrixOperands(frame, std::max(width, height), 0.0005) + " cm\n";
    }
    s += text(36, height - 48, 11, back ? "pdfplyjoin calibration - BACK" : "pdfplyjoin calibration - FRONT");
    if (!back) {
        s += text(36, height - 64, 8, "Print both sides of one sheet, as the booklets or cards will be printed.");
        s += text(36, height - 76, 8, "Hold the sheet against the light and look at its back.");
        s += "0.3 w\n" + line(cx - 20 * kMm, cy, cx + 20 * kMm, cy) + line(cx, cy - 20 * kMm, cx, cy + 20 * kMm);
        s += num(cx - 2 * kMm) + " " + num(cy - 2 * kMm) + " " + num(4 * kMm) + " " + num(4 * kMm) + " re S\n";
        s += "Q\n";
        return s;
    }
    s += text(36, height - 64, 8, "Where the cross of the front, seen through the sheet, meets the rulers gives X (across)");
    s += text(36, height - 76, 8, "and Y (up and down) in millimetres. Enter them as the Back shift, in mm");
    s += text(36, height - 88, 8, "(pdfplyjoin -backshift X Y mm), to move every back onto its front.");
    s += "0.2 w\n";
    // Each quadrant holds the numbers of one ruler only: across, below on the left and above
    // on the right; up and down, left above and right below.
    for (int half = -2 * kReach; half <= 2 * kReach; ++half) {
        const double at = half * 0.5 * kMm;
        const double tick = half % 10 == 0 ? 4 * kMm : half % 2 == 0 ? 2.5 * kMm : 1.5 * kMm;
        const double side = half < 0 ? -1 : 1;
        s += line(cx + at, cy, cx + at, cy + side * tick);
        s += line(cx, cy + at, cx - side * tick, cy + at);
        if (half % 10 == 0 && half != 0) {
            const std::string label = std::to_string(half / 2);
            const double width = 3.3 * double(label.size());
            s += text(cx + at - width / 2, half < 0 ? cy - 4 * kMm - 7 : cy + 4 * kMm + 2, 6, label);
            s += text(half < 0 ? cx + 4 * kMm + 2 : cx - 4 * kMm - 2 - width, cy + at - 2, 6, label);
        }
    }
    s += line(cx - kReach * kMm, cy, cx + kReach * kMm, cy) + line(cx, cy - kReach * kMm, cx, cy + kReach * kMm);
    s += text(cx + kReach * kMm + 4, cy - 2, 7, "X");
    s += text(cx - 2, cy + kReach * kMm + 4, 7, "Y");
    s += "Q\n";
    return s;
}

} // namespace

void writeCalibrationSheet(const Options &o)
{
    const double width = o.sizing.customSize ? o.sizing.sheetWidth : 210 * kMm;
    const double height = o.sizing.customSize ? o.sizing.sheetHeight : 297 * kMm;
    OutputFile output(o.files.output);
    QPDF pdf;
    pdf.emptyPDF();
    QPDFObjectHandle font = pdf.makeIndirectObject(
        QPDFObjectHandle::parse("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica /Encoding /WinAnsiEncoding >>"));
    QPDFPageDocumentHelper pages(pdf);
    for (const bool back : {false, true}) {
        QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::parse(
            "<< /Type /Page /MediaBox [0 0 " + num(width) + " " + num(height) + "] /Resources << >> >>"));
        page.getKey("/Resources").replaceKey("/Font", QPDFObjectHandle::newDictionary({{"/F1", font}}));
        page.replaceKey("/Contents", pdf.newStream(side(back, width, height, o)));
        pages.addPage(page, false);
    }
    QPDFWriter writer(pdf);
    writer.setOutputPipeline(&output.pipeline());
    writer.write();
    output.commit();
}

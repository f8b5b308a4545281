#include "samplepdf.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <charconv>
#include <cstdio>

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
        const double inset = p.cropped ? p.cropInset : p.trimInset;  // what the page shows as itself
        const double x0 = p.originX + inset, y0 = p.originY + inset;
        const double x1 = p.originX + p.width - inset, y1 = p.originY + p.height - inset;
        const double size = std::min(p.width, p.height) / 8;
        std::string fill;
        if (p.filled || p.trimInset > 0) {
            const SampleColour c = sampleColour(number);
            const double inset = p.trimInset > 0 ? -p.trimInset : 0;  // the bleed: all of the media
            fill = "q " + num(c.red / 255.0) + " " + num(c.green / 255.0) + " " + num(c.blue / 255.0) + " rg "
                   + num(x0 + inset) + " " + num(y0 + inset) + " " + num(x1 - x0 - 2 * inset) + " "
                   + num(y1 - y0 - 2 * inset) + " re f Q\n";
        }
        std::string frame = fill + "q 0 0 1 RG 4 w " + num(x0 + 2) + " " + num(y0 + 2) + " " + num(x1 - x0 - 4) + " "
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
        if (p.trimInset > 0)
            page.replaceKey("/TrimBox", QPDFObjectHandle::newArray(QPDFObjectHandle::Rectangle(x0, y0, x1, y1)));
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

SampleColour sampleColour(int number)
{
    static const SampleColour colours[] = {{220, 40, 40},  {40, 170, 60},  {40, 80, 220},   {230, 200, 30},
                                           {160, 40, 200}, {30, 190, 200}, {240, 130, 20},  {120, 70, 30},
                                           {230, 90, 170}, {90, 90, 90},   {150, 200, 60},  {20, 40, 110}};
    return colours[(number - 1 + 1200) % 12];
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

namespace {

QPDFObjectHandle dict(QPDF &pdf, const std::string &text)
{
    return QPDFObjectHandle::parse(&pdf, text);
}

} // namespace

namespace {

std::vector<QPDFObjectHandle> objectsOf(const std::vector<QPDFPageObjectHelper> &pages)
{
    std::vector<QPDFObjectHandle> objects;
    for (const QPDFPageObjectHelper &page : pages)
        objects.push_back(page.getObjectHandle());
    return objects;
}

// A form XObject for an annotation's appearance.
QPDFObjectHandle appearance(QPDF &pdf, const std::string &bbox, const std::string &content)
{
    QPDFObjectHandle s = QPDFObjectHandle::newStream(&pdf, content);
    s.getDict().replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
    s.getDict().replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
    s.getDict().replaceKey("/BBox", QPDFObjectHandle::parse(bbox));
    return s;
}

// A text field and a check box on the second page, the document's form.
void addFormFields(QPDF &pdf, std::vector<QPDFObjectHandle> pages)
{
    QPDFObjectHandle textAp = appearance(pdf, "[0 0 150 20]", "/Tx BMC BT /F1 12 Tf 2 5 Td (Alice) Tj ET EMC");
    textAp.getDict().replaceKey("/Resources", pages[1].getKey("/Resources"));
    QPDFObjectHandle text = pdf.makeIndirectObject(dict(pdf,
        "<< /Type /Annot /Subtype /Widget /FT /Tx /T (name) /V (Alice) /DA (/F1 12 Tf 0 g) /Rect [100 500 250 520] /F 4 >>"));
    text.replaceKey("/AP", QPDFObjectHandle::newDictionary());
    text.getKey("/AP").replaceKey("/N", textAp);
    text.replaceKey("/P", pages[1]);
    QPDFObjectHandle check = pdf.makeIndirectObject(dict(pdf,
        "<< /Type /Annot /Subtype /Widget /FT /Btn /T (agree) /V /Yes /AS /Yes /Rect [100 450 115 465] /F 4 >>"));
    QPDFObjectHandle states = QPDFObjectHandle::newDictionary();
    states.replaceKey("/Yes", appearance(pdf, "[0 0 15 15]", "0 g 2 2 11 11 re f"));
    states.replaceKey("/Off", appearance(pdf, "[0 0 15 15]", ""));
    check.replaceKey("/AP", QPDFObjectHandle::newDictionary());
    check.getKey("/AP").replaceKey("/N", states);
    check.replaceKey("/P", pages[1]);
    pages[1].replaceKey("/Annots", QPDFObjectHandle::newArray({text, check}));
    pdf.getRoot().replaceKey("/AcroForm", QPDFObjectHandle::newDictionary());
    pdf.getRoot().getKey("/AcroForm").replaceKey("/Fields", QPDFObjectHandle::newArray({text, check}));

}

// An outline: a part holding pages 1 and 4 (with page 3 below it) and a named chapter.
void addBookmarks(QPDF &pdf, std::vector<QPDFObjectHandle> pages)
{
    auto ref = [&](int i) { return pages.at(size_t(i)).unparse(); };
    QPDFObjectHandle outlines = pdf.makeIndirectObject(dict(pdf, "<< /Type /Outlines /Count 5 >>"));
    QPDFObjectHandle part = pdf.makeIndirectObject(dict(pdf, "<< /Title (Part) /Count 4 >>"));
    QPDFObjectHandle o1 = pdf.makeIndirectObject(dict(pdf, "<< /Title (Page 1) /Dest [" + ref(0) + " /Fit] >>"));
    QPDFObjectHandle o2 = pdf.makeIndirectObject(dict(pdf, "<< /Title (Chapter 2) /Dest (chapter2) >>"));
    QPDFObjectHandle o4 = pdf.makeIndirectObject(dict(pdf, "<< /Title (Page 4) /Count 1 /A << /S /GoTo /D [" + ref(3) + " /XYZ null null null] >> >>"));
    QPDFObjectHandle o3 = pdf.makeIndirectObject(dict(pdf, "<< /Title (Page 3) /Dest [" + ref(2) + " /XYZ 0 400 null] >>"));
    outlines.replaceKey("/First", part);
    outlines.replaceKey("/Last", part);
    part.replaceKey("/Parent", outlines);
    part.replaceKey("/First", o1);
    part.replaceKey("/Last", o4);
    o1.replaceKey("/Parent", part);
    o1.replaceKey("/Next", o2);
    o2.replaceKey("/Parent", part);
    o2.replaceKey("/Prev", o1);
    o2.replaceKey("/Next", o4);
    o4.replaceKey("/Parent", part);
    o4.replaceKey("/Prev", o2);
    o4.replaceKey("/First", o3);
    o4.replaceKey("/Last", o3);
    o3.replaceKey("/Parent", o4);
    pdf.getRoot().replaceKey("/Outlines", outlines);
}

} // namespace

void writeAnnotatedPdf(const std::string &path)
{
    const std::string sample = path + ".plain";
    writeSamplePdf(sample, std::vector<SamplePage>(4));
    QPDF pdf;
    pdf.processFile(sample.c_str());
    std::remove(sample.c_str());
    std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(pdf).getAllPages();
    auto ref = [&](int i) { return pages.at(size_t(i)).getObjectHandle().unparse(); };
    auto annots = [&](int i, std::vector<QPDFObjectHandle> items) {
        pages.at(size_t(i)).getObjectHandle().replaceKey("/Annots", QPDFObjectHandle::newArray(items));
    };

    QPDFObjectHandle highlightAp = appearance(pdf, "[0 0 100 20]", "1 1 0 rg 0 0 100 20 re f");
    annots(0, {
        pdf.makeIndirectObject(dict(pdf, "<< /Type /Annot /Subtype /Link /Rect [50 750 200 770] /Border [0 0 0] /Dest [" + ref(2) + " /XYZ 100 700 null] >>")),
        pdf.makeIndirectObject(dict(pdf, "<< /Type /Annot /Subtype /Link /Rect [50 700 200 720] /A << /S /URI /URI (https://www.tavrell.example/) >> >>")),
        pdf.makeIndirectObject(dict(pdf, "<< /Type /Annot /Subtype /Text /Rect [400 780 420 800] /Contents (A note) /Name /Comment >>")),
    });
    QPDFObjectHandle highlight = pdf.makeIndirectObject(dict(pdf,
        "<< /Type /Annot /Subtype /Highlight /Rect [300 600 400 620] /QuadPoints [300 620 400 620 300 600 400 600] /C [1 1 0] >>"));
    highlight.replaceKey("/AP", QPDFObjectHandle::newDictionary());
    highlight.getKey("/AP").replaceKey("/N", highlightAp);
    pages[0].getObjectHandle().getKey("/Annots").appendItem(highlight);

    addFormFields(pdf, objectsOf(pages));

    // The second and third links are dead already: their destinations name no page (the
    // third an object that is not a page).
    QPDFObjectHandle notAPage = pdf.makeIndirectObject(dict(pdf, "<< /Marker (not a page) >>"));
    annots(2, {pdf.makeIndirectObject(dict(pdf, "<< /Type /Annot /Subtype /Link /Rect [50 50 200 70] /A << /S /GoTo /D [" + ref(0) + " /FitH 800] >> >>")),
               pdf.makeIndirectObject(dict(pdf, "<< /Type /Annot /Subtype /Link /Rect [300 50 400 70] /Dest [null /Fit] >>")),
               pdf.makeIndirectObject(dict(pdf, "<< /Type /Annot /Subtype /Link /Rect [300 100 400 120] /Dest [" + notAPage.unparse() + " /Fit] >>"))});
    // The second link has no width, as pdfTeX writes some; the third leads nowhere at all.
    annots(3, {pdf.makeIndirectObject(dict(pdf, "<< /Type /Annot /Subtype /Link /Rect [50 50 200 70] /Dest (chapter2) >>")),
               pdf.makeIndirectObject(dict(pdf, "<< /Type /Annot /Subtype /Link /Rect [300 300 300 312] /A << /S /URI /URI (https://www.tavrell.example/spot) >> >>")),
               pdf.makeIndirectObject(dict(pdf, "<< /Type /Annot /Subtype /Link /Rect [400 400 450 420] /Border [0 0 1] >>"))});

    QPDFObjectHandle names = dict(pdf, "<< /Dests << /Names [(chapter2) [" + ref(1) + " /XYZ 0 842 null]] >> >>");
    pdf.getRoot().replaceKey("/Names", names);

    addBookmarks(pdf, objectsOf(pages));

    QPDFWriter writer(pdf, path.c_str());
    writer.setDeterministicID(true);
    writer.write();
}

void writeEncryptedCopy(const std::string &in, const std::string &out, const std::string &userPassword)
{
    QPDF pdf;
    pdf.processFile(in.c_str());
    QPDFWriter writer(pdf, out.c_str());
    writer.setR6EncryptionParameters(userPassword.c_str(), "owner", true, true, true, true, true, true, qpdf_r3p_full,
                                     true);
    writer.write();
}

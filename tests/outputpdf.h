// Reading pdfplyjoin's output in tests with the qpdf library alone (no command-line tools,
// so that the tests run wherever the program builds): where each page of a sample document
// landed, and whether a file is a sound PDF.
#pragma once

#include <QLineF>
#include <QMap>
#include <QRectF>
#include <QRegularExpression>
#include <QString>

#include <qpdf/Pl_Discard.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>

// Where a page landed, read from its sheet: the matrix that draws the page's form, the
// form's box, and the sheet's unit.
struct PagePlacement
{
    int sheet = -1;
    double a = 1, b = 0, c = 0, d = 1, e = 0, f = 0;  // page space to the sheet's units
    QRectF box;                                       // the form's box, in page space
    double userUnit = 1;                              // points in one unit of the sheet

    QPointF map(double x, double y) const { return {a * x + c * y + e, b * x + d * y + f}; }
    // The box as it lands on the sheet, in points from the sheet's lower-left corner.
    QRectF landing() const
    {
        const QPointF p[4] = {map(box.left(), box.top()), map(box.right(), box.top()), map(box.left(), box.bottom()),
                              map(box.right(), box.bottom())};
        double x0 = p[0].x(), x1 = x0, y0 = p[0].y(), y1 = y0;
        for (const QPointF &q : p) {
            x0 = std::min(x0, q.x()), x1 = std::max(x1, q.x());
            y0 = std::min(y0, q.y()), y1 = std::max(y1, q.y());
        }
        return QRectF(QPointF(x0 * userUnit, y0 * userUnit), QPointF(x1 * userUnit, y1 * userUnit));
    }
};

inline int pageCount(const QString &pdf)
{
    QPDF q;
    q.setSuppressWarnings(true);
    q.processFile(pdf.toLocal8Bit().constData());
    return int(QPDFPageDocumentHelper(q).getAllPages().size());
}

inline QString streamText(QPDFObjectHandle stream)
{
    const auto data = stream.getStreamData(qpdf_dl_generalized);
    return QString::fromLatin1(reinterpret_cast<const char *>(data->getBuffer()), int(data->getSize()));
}

inline double unitOf(QPDFObjectHandle sheet)
{
    QPDFObjectHandle unit = sheet.getKey("/UserUnit");
    return unit.isNumber() ? unit.getNumericValue() : 1.0;
}

// By page number. `sheets` receives the sheets in order, `lines` the separator lines in
// points.
inline QMap<int, PagePlacement> readPlacements(QPDF &pdf, std::vector<QPDFObjectHandle> *sheets = nullptr,
                                               QList<QLineF> *lines = nullptr)
{
    // A page drawn: its matrix, after a clipping rectangle where the page bleeds.
    static const QRegularExpression placement(
        QStringLiteral("q (?:\\S+ \\S+ \\S+ \\S+ re W n )?(\\S+) (\\S+) (\\S+) (\\S+) (\\S+) (\\S+) cm (/Fx\\d+) Do Q"));
    static const QRegularExpression label(QStringLiteral("\\(Page (\\d+)\\) Tj"));
    static const QRegularExpression line(QStringLiteral("(\\S+) (\\S+) m (\\S+) (\\S+) l S"));
    QMap<int, PagePlacement> result;
    int index = 0;
    for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(pdf).getAllPages()) {
        QPDFObjectHandle sheet = page.getObjectHandle();
        if (sheets)
            sheets->push_back(sheet);
        const double unit = unitOf(sheet);
        const QString content = streamText(sheet.getKey("/Contents"));
        for (auto it = placement.globalMatch(content); it.hasNext();) {
            const auto m = it.next();
            QPDFObjectHandle form = sheet.getKey("/Resources").getKey("/XObject").getKey(m.captured(7).toStdString());
            const auto bbox = form.getDict().getKey("/BBox").getArrayAsRectangle();
            PagePlacement p;
            p.sheet = index;
            p.a = m.captured(1).toDouble(), p.b = m.captured(2).toDouble(), p.c = m.captured(3).toDouble();
            p.d = m.captured(4).toDouble(), p.e = m.captured(5).toDouble(), p.f = m.captured(6).toDouble();
            p.box = QRectF(QPointF(bbox.llx, bbox.lly), QPointF(bbox.urx, bbox.ury));
            p.userUnit = unit;
            result.insert(label.match(streamText(form)).captured(1).toInt(), p);
        }
        if (lines) {
            for (auto it = line.globalMatch(content); it.hasNext();) {
                const auto m = it.next();
                lines->append(QLineF(m.captured(1).toDouble() * unit, m.captured(2).toDouble() * unit,
                                     m.captured(3).toDouble() * unit, m.captured(4).toDouble() * unit));
            }
        }
        ++index;
    }
    return result;
}

// What "qpdf --check" finds: every object and stream readable, the whole file writable
// again, and no warning on the way.
inline bool isSoundPdf(const QString &path)
{
    try {
        QPDF pdf;
        pdf.setSuppressWarnings(true);
        pdf.processFile(path.toLocal8Bit().constData());
        for (QPDFObjectHandle object : pdf.getAllObjects()) {
            Pl_Discard discard;
            if (object.isStream() && !object.pipeStreamData(&discard, 0, qpdf_dl_generalized))
                return false;
        }
        Pl_Discard discard;
        QPDFWriter writer(pdf);
        writer.setOutputPipeline(&discard);
        writer.write();
        return !pdf.anyWarnings();
    } catch (const std::exception &) {
        return false;
    }
}

// What printing asks of the printer, decided without one: the sides the sheets were made for,
// and the two jobs of printing two-sided by hand.
#include "settings/sheetoptions.h"
#include "print/posterborder.h"
#include "print/printplan.h"
#include "print/turnstack.h"
#include "run/optionsstring.h"

#include <QtTest>

#include <cups/cups.h>

class TestPrint : public QObject
{
    Q_OBJECT

private slots:
    void sidesOfTheSheets_data();
    void sidesOfTheSheets();
    void byHand_data();
    void byHand();
    void pagesPrinted_data();
    void pagesPrinted();
    void turningTheStack_data();
    void turningTheStack();
    void paperForTheSheets_data();
    void paperForTheSheets();
};

void TestPrint::sidesOfTheSheets_data()
{
    QTest::addColumn<QString>("booklet");
    QTest::addColumn<QString>("bothSides");
    QTest::addColumn<QString>("sides");
    QTest::newRow("N-up") << "0" << "off" << "one-sided";
    QTest::newRow("N-up, short edge") << "0" << "short edge" << "two-sided-short-edge";
    QTest::newRow("booklet: the short edge unless told") << "1" << "off" << "two-sided-short-edge";
    QTest::newRow("booklet, long edge") << "1" << "long edge" << "two-sided-long-edge";
}

void TestPrint::sidesOfTheSheets()
{
    QFETCH(QString, booklet);
    QFETCH(QString, bothSides);
    QFETCH(QString, sides);
    SheetChoices o;
    setSheetOptionText(o, "Booklet", booklet);
    setSheetOptionText(o, "BothSides", bothSides);
    QCOMPARE(sidesKeyword(sidesOfSheets(o)), sides);
}

void TestPrint::byHand_data()
{
    QTest::addColumn<int>("count");  // pages (sides) of the file
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("faceUp");
    QTest::addColumn<QString>("jobs");  // fronts | backs, with "reversed", "blank first", "blank last"
    QTest::addColumn<QString>("fed");   // the pages as the printer takes them, fronts | backs, 0 blank
    QTest::newRow("even, face down") << 8 << 0 << 0 << false << "1,3,5,7 | 2,4,6,8" << "1 3 5 7 | 2 4 6 8";
    QTest::newRow("even, face up: the last sheet on top") << 8 << 0 << 0 << true << "1,3,5,7 | 2,4,6,8 reversed"
                                                           << "1 3 5 7 | 8 6 4 2";
    QTest::newRow("odd, face down: a blank for the last") << 5 << 0 << 0 << false << "1,3,5 | 2,4 blank last"
                                                          << "1 3 5 | 2 4 0";
    // Face up, the last sheet (which has no back) lies on top: its blank goes first.
    QTest::newRow("odd, face up: a blank first") << 5 << 0 << 0 << true << "1,3,5 | 2,4 reversed blank first"
                                                 << "1 3 5 | 0 4 2";
    QTest::newRow("pages 3 to 6") << 8 << 3 << 6 << false << "3,5 | 4,6" << "3 5 | 4 6";
    QTest::newRow("a back alone takes its front") << 8 << 4 << 4 << false << "3 | 4" << "3 | 4";
    QTest::newRow("a front alone takes its back") << 8 << 5 << 5 << false << "5 | 6" << "5 | 6";
    QTest::newRow("one sheet without a back, face up") << 1 << 0 << 0 << true << "1 |  reversed blank first" << "1 | 0";
}

void TestPrint::byHand()
{
    QFETCH(int, count);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(bool, faceUp);
    QFETCH(QString, jobs);
    const HandTwoSided plan = handTwoSided(count, from, to, faceUp);
    QString read = plan.fronts.pageRanges + QStringLiteral(" | ") + plan.backs.pageRanges;
    if (plan.backs.reverse)
        read += QStringLiteral(" reversed");
    if (plan.backs.blankFirst)
        read += QStringLiteral(" blank first");
    if (plan.backs.blankLast)
        read += QStringLiteral(" blank last");
    QCOMPARE(read.replace(QLatin1Char('-'), QLatin1Char(',')), jobs);
    QFETCH(QString, fed);
    QStringList sent;
    for (const QList<int> &job : handJobPages(plan)) {
        QStringList pages;
        for (const int page : job)
            pages << QString::number(page);
        sent << pages.join(QLatin1Char(' '));
    }
    QCOMPARE(sent.join(QStringLiteral(" | ")), fed);
}

void TestPrint::pagesPrinted_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<QString>("ranges");
    QTest::newRow("all") << 5 << 0 << 0 << "1-5";
    QTest::newRow("3 to 6, the last included") << 8 << 3 << 6 << "3-6";
    QTest::newRow("one page") << 8 << 4 << 4 << "4";
    QTest::newRow("to beyond the file") << 3 << 2 << 9 << "2-3";
    QTest::newRow("from a page on") << 4 << 3 << 0 << "3-4";
}

void TestPrint::pagesPrinted()
{
    QFETCH(int, count);
    QFETCH(int, from);
    QFETCH(int, to);
    QFETCH(QString, ranges);
    QCOMPARE(pageRanges(pagesToPrint(count, from, to)), ranges);
}

void TestPrint::turningTheStack_data()
{
    QTest::addColumn<bool>("portrait");
    QTest::addColumn<QString>("edge");
    QTest::addColumn<QString>("words");
    QTest::addColumn<bool>("asABook");
    QTest::newRow("portrait, long edge") << true << "long" << "from left to right (as a page of a book turns)" << true;
    QTest::newRow("portrait, short edge") << true << "short" << "from top to bottom (as a wall calendar turns)" << false;
    QTest::newRow("landscape, long edge") << false << "long" << "from top to bottom (as a wall calendar turns)" << false;
    QTest::newRow("landscape, short edge") << false << "short" << "from left to right (as a page of a book turns)" << true;
}

// The words and the picture come from one decision: the picture's thick edge is the one the
// words turn the stack about.
void TestPrint::turningTheStack()
{
    QFETCH(bool, portrait);
    QFETCH(QString, edge);
    QFETCH(QString, words);
    QFETCH(bool, asABook);
    const Sides sides = edge == QLatin1String("long") ? Sides::LongEdge : Sides::ShortEdge;
    QVERIFY2(turnStackText(sides, portrait, 3, false).contains(words), qPrintable(turnStackText(sides, portrait, 3, false)));
    QCOMPARE(stackTurn(sides, portrait).asABook, asABook);
    TurnStackDialog dialog(sides, portrait, 3, false);
    QWidget *picture = dialog.findChild<QWidget *>(QStringLiteral("TurnPicture"));
    QVERIFY(picture);
    picture->resize(300, 170);
    const QImage image = picture->grab().toImage();
    const QSizeF sheet = portrait ? QSizeF(70, 99) : QSizeF(99, 70);
    const QRectF before(QPointF(30, 170 - sheet.height() - 10), sheet);
    const auto orange = [&image](QPointF at) {
        const QColor c = image.pixelColor(at.toPoint());
        return c.red() > 150 && c.green() < 130 && c.blue() < 80;
    };
    const QPointF rightEdge(before.right(), before.center().y()), bottomEdge(before.center().x(), before.bottom());
    QCOMPARE(orange(rightEdge), asABook);
    QCOMPARE(orange(bottomEdge), !asABook);
}

void TestPrint::paperForTheSheets_data()
{
    QTest::addColumn<QSizeF>("sheet");  // mm
    QTest::addColumn<QString>("wanted");
    QTest::addColumn<bool>("printable");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QRectF>("ink");    // mm from the sheet's top left
    QTest::addColumn<QString>("border");
    QTest::addColumn<QString>("options");  // the options string the sheets are made with
    QTest::addColumn<QString>("widened");  // what a poster's margins are widened by
    QTest::addColumn<QString>("alsoListed");  // a paper the printer lists after A4 and Letter
    // Six Letter pages as a booklet: Ledger sheets, printed on the printer's A4 or Letter.
    QTest::newRow("ledger booklet on A4 or Letter: the larger scale") << QSizeF(431.8, 279.4) << "" << false
                                                                      << "printed on A4 at 69%" << QRectF() << "" << "" << "" << "";
    QTest::newRow("Letter in the tray") << QSizeF(431.8, 279.4) << "tray:na_letter_8.5x11in" << false
                                        << "printed on Letter at 65%" << QRectF() << "" << "" << "" << "";
    QTest::newRow("the person picks Letter") << QSizeF(431.8, 279.4) << "na_letter_8.5x11in" << false
                                             << "printed on Letter at 65%" << QRectF() << "" << "" << "" << "";
    QTest::newRow("A4 sheets: as they are") << QSizeF(210, 297) << "" << false << "" << QRectF() << "" << "" << "" << "";
    QTest::newRow("landscape A4 sheets: as they are") << QSizeF(297, 210) << "" << false << "" << QRectF() << "" << "" << "" << "";
    QTest::newRow("crop marks into the border") << QSizeF(210, 297) << "" << false << "" << QRectF(1, 1, 208, 295)
                                                << "the sheets' pages and marks fall 3 mm into the printer's 4 mm border" << "" << "" << "";
    QTest::newRow("fit to the printable area: clear of it") << QSizeF(431.8, 279.4) << "" << true << "printed on A4 at 67%"
                                                            << QRectF(1, 1, 429.8, 277.4) << "" << "" << "" << "";
    QTest::newRow("a poster's margins widened to the border")
        << QSizeF(210, 297) << "" << false << "" << QRectF() << "" << " -per 2*2 -l 2 mm -r 5 mm -t 2 mm -b 2 mm -poster 2*2"
        << "-l 11.34 pt -t 11.34 pt -b 11.34 pt" << "";
    QTest::newRow("a landscape poster's margins") << QSizeF(297, 210) << "" << false << "" << QRectF() << ""
                                                  << " -l 1 mm -t 5 mm -poster A2" << "-l 11.34 pt -r 11.34 pt -b 11.34 pt" << "";
    QTest::newRow("a poster's own margins hold the border") << QSizeF(210, 297) << "" << false << "" << QRectF() << ""
                                                            << " -poster A1" << "" << "";
    QTest::newRow("sheets that are no poster") << QSizeF(210, 297) << "" << false << "" << QRectF() << ""
                                               << " -l 1 mm -per 2*2" << "" << "";
    QTest::newRow("a poster placed on other paper") << QSizeF(431.8, 279.4) << "" << false << "printed on A4 at 69%"
                                                    << QRectF() << "" << " -l 1 mm -poster 3*3" << "" << "";
    // A4 and Folio (210 x 330 mm) hold these sheets at the same scale: the first listed.
    QTest::newRow("a tie: the paper listed first") << QSizeF(420, 300) << "" << false << "printed on A4 at 70%" << QRectF()
                                                   << "" << "" << "" << "om_folio_210x330mm";
}

void TestPrint::paperForTheSheets()
{
    QFETCH(QSizeF, sheet);
    QFETCH(QString, wanted);
    QFETCH(bool, printable);
    QFETCH(QString, said);
    QFETCH(QRectF, ink);
    QFETCH(QString, border);
    QFETCH(QString, options);
    QFETCH(QString, widened);
    QFETCH(QString, alsoListed);
    const double mm = 72 / 25.4;
    const QMarginsF four(4 * mm, 4 * mm, 4 * mm, 4 * mm);
    QList<Paper> papers{{QStringLiteral("iso_a4_210x297mm"), QSizeF(210, 297) * mm, four},
                        {QStringLiteral("na_letter_8.5x11in"), QSizeF(215.9, 279.4) * mm, four}};
    if (const pwg_media_t *also = pwgMediaForPWG(alsoListed.toUtf8().constData()))
        papers.append({alsoListed, QSizeF(also->width, also->length) / 100 * mm, four});
    const bool tray = wanted.startsWith(QLatin1String("tray:"));
    const PaperChoice choice = choosePaper(sheet * mm, papers, tray ? QString() : wanted, printable,
                                           tray ? QStringList{wanted.mid(5)} : QStringList());
    QCOMPARE(paperWords(choice), said);
    const QRectF inkPoints(ink.topLeft() * mm, ink.size() * mm);
    QCOMPARE(borderWords(inkPoints, sheet * mm, choice), border);
    QCOMPARE(posterBorderWords(options, choice).join(QLatin1Char(' ')), widened);
}

QTEST_MAIN(TestPrint)
#include "tst_print.moc"

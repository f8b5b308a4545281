// What printing asks of the printer, decided without one: the sides the sheets were made for,
// and the two jobs of printing two-sided by hand.
#include "print/printplan.h"
#include "run/optionsstring.h"

#include <QtTest>

class TestPrint : public QObject
{
    Q_OBJECT

private slots:
    void sidesOfTheSheets_data();
    void sidesOfTheSheets();
    void byHand_data();
    void byHand();
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
    SheetOptions o;
    o.booklet = booklet;
    o.bothSides = bothSides;
    QCOMPARE(sidesKeyword(sidesOfSheets(o)), sides);
}

void TestPrint::byHand_data()
{
    QTest::addColumn<int>("count");  // pages (sides) of the file
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<bool>("faceUp");
    QTest::addColumn<QString>("jobs");  // fronts | backs, with "reversed", "blank first", "blank last"
    QTest::newRow("even, face down") << 8 << 0 << 0 << false << "1,3,5,7 | 2,4,6,8";
    QTest::newRow("even, face up: the last sheet on top") << 8 << 0 << 0 << true << "1,3,5,7 | 2,4,6,8 reversed";
    QTest::newRow("odd, face down: a blank for the last") << 5 << 0 << 0 << false << "1,3,5 | 2,4 blank last";
    QTest::newRow("odd, face up: a blank first") << 5 << 0 << 0 << true << "1,3,5 | 2,4 reversed blank first";
    QTest::newRow("pages 3 to 6") << 8 << 3 << 6 << false << "3,5 | 4,6";
    QTest::newRow("a back alone takes its front") << 8 << 4 << 4 << false << "3 | 4";
    QTest::newRow("a front alone takes its back") << 8 << 5 << 5 << false << "5 | 6";
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
}

QTEST_GUILESS_MAIN(TestPrint)
#include "tst_print.moc"

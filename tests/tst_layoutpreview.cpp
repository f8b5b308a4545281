// The layout preview: its geometry computed directly, and the real tiles in the window.
#include "app/previewgeometry.h"
#include "app/sheetwin.h"
#include "testenv.h"
#include "ui_sheetwin.h"

#include <QTextEdit>

using Lengths = QStringList;  // "text|unit" for left, right, top, bottom, x, y

static LayoutValues layout(FillOrder order, const QString &cols, const QString &rows, const Lengths &lengths = {})
{
    LayoutValues v;
    v.order = order;
    v.columns = cols;
    v.rows = rows;
    for (int i = 0; i < 6; ++i) {
        const QStringList parts = lengths.value(i, QStringLiteral("|mm")).split(QLatin1Char('|'));
        v.lengths[i] = {parts.at(0), parts.at(1)};
    }
    return v;
}

static QString describe(const QVector<PreviewTile> &tiles)
{
    QStringList parts;
    for (const PreviewTile &t : tiles)
        parts << QStringLiteral("%1@%2,%3,%4x%5").arg(t.number).arg(t.rect.x()).arg(t.rect.y()).arg(t.rect.width()).arg(t.rect.height());
    return parts.join(QLatin1Char(' '));
}

class TestLayoutPreview : public QObject
{
    Q_OBJECT

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void geometry_data();
    void geometry();
    void numbering_data();
    void numbering();
    void gridCounts_data();
    void gridCounts();
    void unitsInPoints_data();
    void unitsInPoints();
    void hugeLengthsDoNotOverflow();
    void tilesInTheWindow();
    void everyKeystrokeRedraws();
    void noOrderCheckedLeavesFrameBlank();

private:
    std::unique_ptr<TestEnv> env;
};

void TestLayoutPreview::geometry_data()
{
    QTest::addColumn<LayoutValues>("values");
    QTest::addColumn<QString>("tiles");
    const auto H = FillOrder::Horizontal;
    QTest::newRow("(a) 2x2") << layout(H, "2", "2") << "1@0,6,100x97 2@100,6,100x97 3@0,103,100x97 4@100,103,100x97";
    QTest::newRow("(b) 3x2") << layout(H, "3", "2") << "1@0,6,66x97 2@66,6,66x97 3@133,6,66x97 4@0,103,66x97 5@66,103,66x97 6@133,103,66x97";
    QTest::newRow("(c) margins 10 mm, gutters 5 mm")
        << layout(H, "2", "2", {"10|mm", "10|mm", "10|mm", "10|mm", "5|mm", "5|mm"})
        << "1@28,34,63x60 2@105,34,63x60 3@28,108,63x60 4@105,108,63x60";
    QTest::newRow("(d) gutter capped with margin text")
        << layout(H, "2", "2", {"0|mm", "0|mm", "0|mm", "0|mm", "3|inch", "0|mm"})
        << "1@0,6,92x97 2@107,6,92x97 3@0,103,92x97 4@107,103,92x97";
    QTest::newRow("(d) without margin text")
        << layout(H, "2", "2", {"|mm", "|mm", "|mm", "|mm", "3|inch", "0|mm"})
        << "1@0,6,0x97 2@200,6,0x97 3@0,103,0x97 4@200,103,0x97";
    QTest::newRow("blank margin counts as text")
        << layout(H, "2", "1", {" |mm", "|mm", "|mm", "|mm", "250|point", "|mm"}) << "1@0,6,92x194 2@107,6,92x194";
    QTest::newRow("gutter 200 not capped") << layout(H, "2", "1", {"|mm", "|mm", "|mm", "|mm", "200|point", "|mm"})
                                           << "1@0,6,0x194 2@200,6,0x194";
    QTest::newRow("gutter 200.5 capped to 200") << layout(H, "2", "1", {"|mm", "|mm", "|mm", "|mm", "200.5|point", "|mm"})
                                                << "1@0,6,0x194 2@200,6,0x194";
    QTest::newRow("one column, no cap") << layout(H, "1", "1", {"300|point"}) << "1@300,6,-100x194";
    QTest::newRow("margin cap, gutter text") << layout(H, "3", "1", {"150|point", "|mm", "|mm", "|mm", "0|mm", "|mm"})
                                             << "1@30,6,56x194 2@86,6,56x194 3@143,6,56x194";
    QTest::newRow("margin cap, no gutter text") << layout(H, "3", "1", {"150|point"})
                                                << "1@100,6,33x194 2@133,6,33x194 3@166,6,33x194";
    QTest::newRow("Custom empty grid") << layout(H, "", "") << "1@0,6,200x194";
}

void TestLayoutPreview::geometry()
{
    QFETCH(LayoutValues, values);
    QFETCH(QString, tiles);
    QCOMPARE(describe(previewTiles(values)), tiles);
}

void TestLayoutPreview::numbering_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<QString>("cols");
    QTest::addColumn<QString>("rows");
    QTest::addColumn<QString>("grid");  // numbers row by row from the top
    QTest::newRow("2x2 HR") << int(FillOrder::HorizontalReversed) << "2" << "2" << "2 1 4 3";
    QTest::newRow("2x2 V") << int(FillOrder::Vertical) << "2" << "2" << "1 3 2 4";
    QTest::newRow("2x2 VR") << int(FillOrder::VerticalReversed) << "2" << "2" << "3 1 4 2";
    QTest::newRow("3x2 V") << int(FillOrder::Vertical) << "3" << "2" << "1 3 5 2 4 6";
    QTest::newRow("3x2 VR") << int(FillOrder::VerticalReversed) << "3" << "2" << "5 3 1 6 4 2";
    QTest::newRow("3x3 VR") << int(FillOrder::VerticalReversed) << "3" << "3" << "7 4 1 8 5 2 9 6 3";
}

void TestLayoutPreview::numbering()
{
    QFETCH(int, order);
    QFETCH(QString, cols);
    QFETCH(QString, rows);
    QFETCH(QString, grid);
    QVector<PreviewTile> tiles = previewTiles(layout(FillOrder(order), cols, rows));
    std::sort(tiles.begin(), tiles.end(), [](const PreviewTile &a, const PreviewTile &b) {
        return std::make_pair(a.rect.y(), a.rect.x()) < std::make_pair(b.rect.y(), b.rect.x());
    });
    QStringList numbers;
    for (const PreviewTile &t : tiles)
        numbers << QString::number(t.number);
    QCOMPARE(numbers.join(QLatin1Char(' ')), grid);
}

void TestLayoutPreview::gridCounts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");
    for (const char *t : {"", "abc", "0", "-3", "2.5"})
        QTest::newRow(t[0] ? t : "empty") << QString::fromLatin1(t) << 1;
    QTest::newRow("7") << "7" << 7;
    QTest::newRow("11") << "11" << 10;
    QTest::newRow("99") << "99" << 10;
}

void TestLayoutPreview::gridCounts()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QCOMPARE(previewTiles(layout(FillOrder::Horizontal, text, "1")).size(), count);
}

void TestLayoutPreview::unitsInPoints_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("unit");
    QTest::newRow("25.4 mm") << "25.4" << "mm";
    QTest::newRow("2.54 cm") << "2.54" << "cm";
    QTest::newRow("1 inch") << "1" << "inch";
    QTest::newRow("72 point") << "72" << "point";
}

void TestLayoutPreview::unitsInPoints()
{
    QFETCH(QString, text);
    QFETCH(QString, unit);
    QCOMPARE(qRound(previewLengthPoints(text, unit) * 1000), 72000);
    QCOMPARE(previewLengthPoints(QStringLiteral("-1"), unit), 0.0f);
    QCOMPARE(previewLengthPoints(QStringLiteral("x"), unit), 0.0f);
}

void TestLayoutPreview::hugeLengthsDoNotOverflow()
{
    // Run under the sanitizer build too: no integer overflow anywhere.
    const QVector<PreviewTile> one = previewTiles(layout(FillOrder::Horizontal, "1", "1", {"10000000000|point"}));
    QCOMPARE(one.size(), 1);
    QVERIFY(one[0].rect.x() > 200);
    QVERIFY(one[0].rect.width() < 0);
    const QVector<PreviewTile> many = previewTiles(layout(FillOrder::VerticalReversed, "1", "10",
                                                          {"1e30|inch", "1e30|cm", "1e30|mm", "inf|point", "1e30|mm", "1e38|inch"}));
    QCOMPARE(many.size(), 10);
}

void TestLayoutPreview::tilesInTheWindow()
{
    Sheetwin w;
    QCOMPARE(w.previewEdit.size(), 4);  // drawn by the restore at start-up
    w.ui->comboBox_pagers_per_sheet->setCurrentText(QStringLiteral("Custom"));
    w.ui->lineEdit_pages_per_sheet_horizontal->setText(QStringLiteral("10"));
    w.ui->lineEdit_pages_per_sheet_vertical->setText(QStringLiteral("10"));
    const QList<QTextEdit *> children = w.ui->frame_preview->findChildren<QTextEdit *>(QString(), Qt::FindDirectChildrenOnly);
    QCOMPARE(children.size(), 100);
    QCOMPARE(w.previewEdit.size(), 100);
    QTextEdit *eleven = w.previewEdit.at(10);
    QCOMPARE(eleven->toPlainText(), QStringLiteral("11"));
    QCOMPARE(eleven->geometry(), QRect(0, 25, 20, 19));
    QCOMPARE(w.previewEdit.last()->geometry(), QRect(180, 180, 20, 19));
    QCOMPARE(w.previewEdit.last()->toPlainText(), QStringLiteral("100"));
    QVERIFY(eleven->isReadOnly());
    QCOMPARE(eleven->styleSheet(), QStringLiteral("background-color:rgb(170,255,255)"));
    QCOMPARE(eleven->parentWidget(), w.ui->frame_preview);

    clickRadio(w.ui->radioButton_verticalreversed);
    w.ui->comboBox_pagers_per_sheet->setCurrentText(QStringLiteral("3x3"));
    QCOMPARE(w.previewEdit.size(), 9);
    QCOMPARE(w.ui->frame_preview->findChildren<QTextEdit *>().size(), 9);
    QCOMPARE(w.previewEdit.first()->geometry().x(), 133);
}

void TestLayoutPreview::everyKeystrokeRedraws()
{
    Sheetwin w;
    w.ui->lineEdit_left->clear();
    QTextEdit *before = w.previewEdit.first();
    QTest::keyClicks(w.ui->lineEdit_left, QStringLiteral("1"));
    QVERIFY(w.previewEdit.first() != before || w.previewEdit.first()->geometry().x() != 0);
    QTest::keyClicks(w.ui->lineEdit_left, QStringLiteral("0"));  // "10" mm
    QCOMPARE(w.previewEdit.first()->geometry().x(), 28);
    QTest::keyClicks(w.ui->lineEdit_left, QStringLiteral("x"));  // "10x" is no number
    QCOMPARE(w.previewEdit.first()->geometry().x(), 0);
    w.ui->comboBox_left->setCurrentText(QStringLiteral("inch"));
    w.ui->lineEdit_left->setText(QStringLiteral("1"));
    QCOMPARE(w.previewEdit.first()->geometry().x(), 72);
}

void TestLayoutPreview::noOrderCheckedLeavesFrameBlank()
{
    for (const char *key : {"radioButton_horizontal", "radioButton_horizontalreversed", "radioButton_vertical",
                            "radioButton_verticalreversed"})
        TestEnv::store(key, QStringLiteral("0"));
    Sheetwin w;
    w.ui->lineEdit_x->setText(QStringLiteral("3"));
    QVERIFY(w.previewEdit.isEmpty());
    QVERIFY(w.ui->frame_preview->findChildren<QTextEdit *>().isEmpty());
    QVERIFY(w.GetSetParameter().contains(QStringLiteral(" -order  -gx")));
}

QTEST_MAIN(TestLayoutPreview)
#include "tst_layoutpreview.moc"

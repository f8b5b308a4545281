// The options string handed to the tiling tool.
#include "settings/sheetoptions.h"
#include "run/windowwords.h"
#include "app/sheetwin.h"
#include "run/optionsstring.h"
#include "sheetswindow/sheetswindow.h"
#include "run/toolcontract.h"
#include "testenv.h"
#include "ui_sheetwin.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSpinBox>

using Stored = QList<QPair<QString, QString>>;

// Stores each key with its value, as the program would.
static void storeAll(const Stored &stored)
{
    for (const auto &kv : stored)
        TestEnv::store(kv.first.toLatin1().constData(), kv.second);
}

class TestOptionsString : public QObject
{
    Q_OBJECT

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }
    void fromSettingsAndLayout_data();
    void fromSettingsAndLayout();
    void throughTheWindow();
    void sheetOptionsAddWords_data();
    void sheetOptionsAddWords();
    void calibrationWords_data();
    void calibrationWords();
    void reasonsInTheWindowsWords_data();
    void reasonsInTheWindowsWords();
    void everySheetControl_data();
    void everySheetControl();
    void rulesGreyOutWithTheirReason_data();
    void rulesGreyOutWithTheirReason();

private:
    std::unique_ptr<TestEnv> env;
};

static LayoutValues layout(FillOrder order, const QStringList &lengths, const QString &cols, const QString &rows)
{
    LayoutValues v;
    v.order = order;
    for (int i = 0; i < 6; ++i) {
        const QStringList parts = lengths.value(i, QStringLiteral("0|mm")).split(QLatin1Char('|'));
        v.lengths[i] = {parts.at(0), parts.at(1)};
    }
    v.columns = cols;
    v.rows = rows;
    return v;
}

void TestOptionsString::fromSettingsAndLayout_data()
{
    QTest::addColumn<Stored>("stored");
    QTest::addColumn<LayoutValues>("layout");
    QTest::addColumn<QString>("expected");
    const auto H = FillOrder::Horizontal;
    const LayoutValues plain = layout(H, {}, "2", "2");

    QTest::newRow("defaults") << Stored{} << plain << " -rt 0  -order H  -per 2*2";
    QTest::newRow("worked example 2")
        << Stored{{"radioButton_addcolor", "1"}, {"colorR", "255"}, {"colorG", "0"}, {"colorB", "0"},
                  {"radioButton_remain_original_size", "0"}, {"radioButton_scaling", "1"}, {"spinBox_scaling", "50"},
                  {"radioButton_allpages", "0"}, {"radioButton_oddpages", "1"}, {"RotateCombo_rotate", "90 degrees"}}
        << layout(FillOrder::VerticalReversed, {"5|mm", "0|mm", "1|cm", "0|mm", "0.5|inch", "10|point"}, "3", "2")
        << " -addline 255 0 0 -scale 50 -odd  -rt 90  -order VR  -l 5 mm -t 10 mm -gx 0.5 inch -gy 10 point -per 3*2";
    QTest::newRow("worked example 3")
        << Stored{{"radioButton_remain_original_size", "0"}, {"radioButton_scaling", "0"}, {"radioButton_fit_to_page_size", "1"},
                  {"lineEdit_Width", "8.5"}, {"comboBox_pagesize_width", "inch"}, {"lineEdit_Height", "11"},
                  {"comboBox_pagesize_height", "inch"}, {"radioButton_allpages", "0"}, {"radioButton_oddpages", "0"},
                  {"radioButton_evem_pages", "0"}, {"radioButton_pageno", "1"}, {"lineEdit_pageno", "1,2,5-9,20"},
                  {"RotateCombo_rotate", "180 degrees"}}
        << layout(H, {"0|mm", "12|point", "0|mm", "2.5|cm"}, "", "4")
        << " -size Custom  8.5 in 11 in -pr 1,2,5-9,20 -rt 180  -order H  -r 12 point -b 0 mm -per 1*4";
    QTest::newRow("colours clamped, non-number passes")
        << Stored{{"radioButton_addcolor", "1"}, {"colorR", "300"}, {"colorG", "-5"}, {"colorB", "x"}} << plain
        << " -addline 255 0 x -rt 0  -order H  -per 2*2";
    const char *scales[][2] = {{"0", "100"}, {"150", "100"}, {"99", "99"}, {"1", "1"}, {"abc", "100"}};
    for (auto &sc : scales)
        QTest::newRow(qPrintable(QStringLiteral("scale %1").arg(sc[0])))
            << Stored{{"radioButton_remain_original_size", "0"}, {"radioButton_scaling", "1"}, {"spinBox_scaling", sc[0]}} << plain
            << QStringLiteral(" -scale %1 -rt 0  -order H  -per 2*2").arg(sc[1]);
    QTest::newRow("no scaling mode at all")
        << Stored{{"radioButton_remain_original_size", "0"}} << plain << " -rt 0  -order H  -per 2*2";
    QTest::newRow("fit, bad width, cm height")
        << Stored{{"radioButton_remain_original_size", "0"}, {"radioButton_fit_to_page_size", "1"}, {"lineEdit_Width", "-3"},
                  {"lineEdit_Height", "30"}, {"comboBox_pagesize_height", "cm"}}
        << plain << " -size Custom 210 mm 300 mm -rt 0  -order H  -per 2*2";
    QTest::newRow("fit, empty width, point")
        << Stored{{"radioButton_remain_original_size", "0"}, {"radioButton_fit_to_page_size", "1"}, {"lineEdit_Width", ""},
                  {"comboBox_pagesize_width", "point"}}
        << plain << " -size Custom  210 pt 297 mm -rt 0  -order H  -per 2*2";
    QTest::newRow("page list empty falls back")
        << Stored{{"radioButton_allpages", "0"}, {"radioButton_oddpages", "0"}, {"radioButton_evem_pages", "0"},
                  {"radioButton_pageno", "1"}, {"lineEdit_pageno", ""}}
        << plain << " -pr 1-2 -rt 0  -order H  -per 2*2";
    QTest::newRow("page list with blanks unquoted")
        << Stored{{"radioButton_allpages", "0"}, {"radioButton_pageno", "1"}, {"lineEdit_pageno", "1, 3"}}
        << plain << " -pr 1, 3 -rt 0  -order H  -per 2*2";
    QTest::newRow("even") << Stored{{"radioButton_allpages", "0"}, {"radioButton_evem_pages", "1"}} << plain
                          << " -even  -rt 0  -order H  -per 2*2";
    QTest::newRow("selection value neither 0 nor 1 stops the cascade")
        << Stored{{"radioButton_allpages", "x"}, {"radioButton_oddpages", "1"}} << plain << " -rt 0  -order H  -per 2*2";
    QTest::newRow("lengths present and absent")
        << Stored{} << layout(H, {"00|mm", "1.5|cm", "2|cm", "1.5|inch", "|mm", " 0|point"}, "12", "3")
        << " -rt 0  -order H  -l 00 mm -r 0 mm -t 20 mm -b 1.5 inch -gy  0 point -per 12*3";
    QTest::newRow("grid fallbacks") << Stored{} << layout(H, {}, "x", "-2") << " -rt 0  -order H  -per 1*1";
    QTest::newRow("no order") << Stored{} << layout(FillOrder::None, {}, "2", "2") << " -rt 0  -order  -per 2*2";
    QTest::newRow("huge cm does not overflow") << Stored{} << layout(H, {"2147483647|cm"}, "1", "1")
                                               << " -rt 0  -order H  -l 21474836470 mm -per 1*1";
}

void TestOptionsString::fromSettingsAndLayout()
{
    QFETCH(Stored, stored);
    QFETCH(LayoutValues, layout);
    QFETCH(QString, expected);
    storeAll(stored);
    const SettingsFile file;
    QCOMPARE(buildOptionsString(PageOptions::fromSettings(file), layout), expected);
}

void TestOptionsString::throughTheWindow()
{
    Sheetwin w;
    QCOMPARE(w.GetSetParameter(), QStringLiteral(" -rt 0  -order H  -per 2*2"));
    // The layout comes from the live controls, the page options from the file, every call.
    w.ui->comboBox_pagers_per_sheet->setCurrentText(QStringLiteral("3x3"));
    clickRadio(w.ui->radioButton_vertical);
    w.ui->lineEdit_x->setText(QStringLiteral("4"));
    w.ui->comboBox_x->setCurrentText(QStringLiteral("point"));
    TestEnv::store("RotateCombo_rotate", QStringLiteral("270 degrees"));
    QCOMPARE(w.GetSetParameter(), QStringLiteral(" -rt 270  -order V  -gx 4 point -per 3*3"));
    QCOMPARE(buildOptionsString(PageOptions::defaults(), w.layoutValues()),
             QStringLiteral(" -rt 0  -order V  -gx 4 point -per 3*3"));
}

void TestOptionsString::sheetOptionsAddWords_data()
{
    QTest::addColumn<Stored>("stored");
    QTest::addColumn<QString>("added");  // after the string the page options and layout make
    const QPair<QString, QString> booklet{"Booklet", "1"};
    QTest::newRow("all off") << Stored{} << "";
    QTest::newRow("all off, values stored") << Stored{{"Signature", "3"}, {"Creep", "1"}, {"RightToLeft", "1"},
                                                      {"Duplex", "long edge"}, {"CropMarksLength", "4"}, {"FrameWidth", "2"}}
                                            << "";
    QTest::newRow("booklet") << Stored{booklet} << " -booklet";
    QTest::newRow("signature") << Stored{booklet, {"Signature", "3"}} << " -booklet -signature 3";
    QTest::newRow("creep") << Stored{booklet, {"Creep", "1.5"}, {"CreepUnit", "cm"}} << " -booklet -creep 1.5 cm";
    QTest::newRow("creep 0") << Stored{booklet, {"Creep", "0"}} << " -booklet";
    QTest::newRow("right to left") << Stored{booklet, {"RightToLeft", "1"}} << " -booklet -rtl";
    QTest::newRow("long edge, as an earlier version kept it") << Stored{booklet, {"Duplex", "long edge"}}
                                                              << " -booklet -duplex long";
    QTest::newRow("long edge") << Stored{booklet, {"BothSides", "long edge"}, {"Duplex", "short edge"}}
                               << " -booklet -duplex long";
    QTest::newRow("booklet, short edge: its default") << Stored{booklet, {"BothSides", "short edge"}} << " -booklet";
    QTest::newRow("both sides, shifted") << Stored{{"BothSides", "short edge"}, {"BackShiftX", "0.5"}, {"BackShiftY", "-1"}}
                                         << " -duplex short -backshift 0.5 -1 mm";
    QTest::newRow("shift with one side only") << Stored{{"BackShiftX", "2"}} << "";
    QTest::newRow("stack, bleed, slug, turned") << Stored{{"Stack", "1"}, {"Bleed", "1"}, {"Slug", "1"}, {"AutoRotate", "1"}}
                                                << " -stack -bleed 3 mm -slug -autorotate";
    QTest::newRow("step and repeat with a bleed: the cards' own size") << Stored{{"Repeat", "1"}, {"Bleed", "1"}}
                                                                       << " -repeat -bleed 3 mm -fit actual";
    QTest::newRow("actual size") << Stored{{"Fit", "actual size"}} << " -fit actual";
    QTest::newRow("stack and repeat: stack") << Stored{{"Stack", "1"}, {"Repeat", "1"}} << " -stack";
    QTest::newRow("no stack in a booklet") << Stored{booklet, {"Stack", "1"}} << " -booklet";
    QTest::newRow("quarto with the binder's marks")
        << Stored{booklet, {"Fold", "quarto"}, {"SpineMarks", "1"}, {"Sewing", "4"}, {"FoldMarks", "1"}}
        << " -booklet -fold 8 -spinemarks -sewing 4 -foldmarks";
    QTest::newRow("octavo") << Stored{booklet, {"Fold", "octavo"}} << " -booklet -fold 16";
    QTest::newRow("binding without a booklet") << Stored{{"Fold", "octavo"}, {"SpineMarks", "1"}, {"Sewing", "4"}} << "";
    QTest::newRow("crop marks") << Stored{{"CropMarks", "1"}} << " -cropmarks 5 mm";
    QTest::newRow("frame") << Stored{{"Frame", "1"}} << " -frame 0.5";
    QTest::newRow("all together")
        << Stored{booklet, {"Signature", "2"}, {"Creep", "1"}, {"RightToLeft", "1"}, {"BothSides", "long edge"},
                  {"CropMarks", "1"}, {"CropMarksLength", "4"}, {"CropMarksUnit", "inch"}, {"Frame", "1"}, {"FrameWidth", "1"}}
        << " -booklet -signature 2 -creep 1 mm -rtl -duplex long -cropmarks 4 inch -frame 1";
}

void TestOptionsString::sheetOptionsAddWords()
{
    QFETCH(Stored, stored);
    QFETCH(QString, added);
    storeAll(stored);
    Sheetwin w;
    QCOMPARE(w.GetSetParameter(), QStringLiteral(" -rt 0  -order H  -per 2*2") + added);
}

void TestOptionsString::calibrationWords_data()
{
    QTest::addColumn<QString>("options");
    QTest::addColumn<Stored>("sheet");
    QTest::addColumn<QString>("words");  // of the test sheet, before "-- OUT"
    QTest::newRow("the run's sheet, edge and shift")
        << " -size Custom 210 mm 297 mm -rt 0  -order H  -per 2*2" << Stored{{"BothSides", "long edge"}, {"BackShiftX", "1"}, {"BackShiftY", "-2"}}
        << "-calibrate -size Custom 210 mm 297 mm -duplex long -backshift 1 -2 mm";
    QTest::newRow("no sheet size, one side") << " -rt 0  -order H  -per 2*2" << Stored{} << "-calibrate";
    QTest::newRow("a booklet: turned as its backs are") << " -rt 0  -order H  -per 2*2" << Stored{{"Booklet", "1"}}
                                                         << "-calibrate -booklet";
}

void TestOptionsString::calibrationWords()
{
    QFETCH(QString, options);
    QFETCH(Stored, sheet);
    QFETCH(QString, words);
    storeAll(sheet);
    const QStringList args = calibrationArguments(options, readSheetChoices(SettingsFile()), QStringLiteral("out.pdf"));
    QCOMPARE(args.join(QLatin1Char(' ')), words + QStringLiteral(" -- out.pdf"));
}

void TestOptionsString::reasonsInTheWindowsWords_data()
{
    QTest::addColumn<QString>("reason");
    QTest::addColumn<QString>("shown");
    QTest::newRow("a margin") << "\"abc\" is not a number (after -l)" << "\"abc\" is not a number (Left margin)";
    QTest::newRow("the page list") << "\"a\" is not a page number or range (after -pr)"
                                   << "\"a\" is not a page number or range (Page Num.)";
    QTest::newRow("two") << "x (after -gy) and y (after -creep)" << "x (Gutter Y) and y (Creep)";
    QTest::newRow("no switch of the window") << "bad (after -sheets)" << "bad (after -sheets)";
    QTest::newRow("a way out named by the switch")
        << "page 3 of a.pdf at actual size would be larger than the cells (85 x 55 mm) and cover the neighbours' "
           "trims: make the cells larger or use -fit shrink"
        << "page 3 of a.pdf at actual size would be larger than the cells (85 x 55 mm) and cover the neighbours' "
           "trims: make the cells larger or use Fit: shrink only";
    QTest::newRow("none") << "a.pdf is encrypted and needs a password" << "a.pdf is encrypted and needs a password";
}

void TestOptionsString::reasonsInTheWindowsWords()
{
    QFETCH(QString, reason);
    QFETCH(QString, shown);
    QCOMPARE(inWindowWords(reason), shown);
}

// What a sheet control shows, read as a person reads it.
static QString shownBy(QWidget *control)
{
    if (auto *box = qobject_cast<QCheckBox *>(control))
        return box->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
    if (auto *edit = qobject_cast<QLineEdit *>(control))
        return edit->text();
    if (auto *combo = qobject_cast<QComboBox *>(control))
        return combo->currentText();
    if (auto *spin = qobject_cast<QSpinBox *>(control))
        return QString::number(spin->value());
    return QStringLiteral("<no control>");
}

// Every control of the sheets window, used as a person uses it (ticked, typed into, chosen
// by typing), found by its own name: its key in the settings file, its words in the options
// string and the name the window gives it in a reason follow; and the key stored shows in it.
void TestOptionsString::everySheetControl_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("action");  // "tick", or "type" or "choose" and the text
    QTest::addColumn<Stored>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("added");   // to the options string
    QTest::addColumn<QString>("option");  // the switch, as a reason of the tool names it
    QTest::addColumn<QString>("words");   // the control, as the window names it instead
    const QPair<QString, QString> booklet{"Booklet", "1"}, longEdge{"BothSides", "long edge"};
    QTest::newRow("booklet") << "checkBox_Booklet" << "tick" << Stored{} << "Booklet" << "1" << " -booklet" << "-booklet"
                             << "Booklet";
    QTest::newRow("signature") << "spinBox_Signature" << "type 3" << Stored{booklet} << "Signature" << "3"
                               << " -booklet -signature 3" << "-signature" << "Sheets per signature";
    QTest::newRow("creep") << "lineEdit_Creep" << "type 1.5" << Stored{booklet} << "Creep" << "1.5"
                           << " -booklet -creep 1.5 mm" << "-creep" << "Creep";
    QTest::newRow("creep unit") << "comboBox_CreepUnit" << "choose cm" << Stored{booklet, {"Creep", "1"}} << "CreepUnit"
                                << "cm" << " -booklet -creep 1 cm" << "-creep" << "Creep";
    QTest::newRow("right to left") << "checkBox_RightToLeft" << "tick" << Stored{booklet} << "RightToLeft" << "1"
                                   << " -booklet -rtl" << "-rtl" << "Right to left";
    QTest::newRow("crop marks") << "checkBox_CropMarks" << "tick" << Stored{} << "CropMarks" << "1" << " -cropmarks 5 mm"
                                << "-cropmarks" << "Crop marks";
    QTest::newRow("crop marks' length") << "lineEdit_CropMarks" << "type 4" << Stored{{"CropMarks", "1"}}
                                        << "CropMarksLength" << "4" << " -cropmarks 4 mm" << "-cropmarks" << "Crop marks";
    QTest::newRow("crop marks' unit") << "comboBox_CropMarksUnit" << "choose inch" << Stored{{"CropMarks", "1"}}
                                      << "CropMarksUnit" << "inch" << " -cropmarks 5 inch" << "-cropmarks" << "Crop marks";
    QTest::newRow("frame") << "checkBox_Frame" << "tick" << Stored{} << "Frame" << "1" << " -frame 0.5" << "-frame"
                           << "Frame";
    QTest::newRow("frame's width") << "lineEdit_Frame" << "type 2" << Stored{{"Frame", "1"}} << "FrameWidth" << "2"
                                   << " -frame 2" << "-frame" << "Frame";
    QTest::newRow("both sides") << "comboBox_BothSides" << "choose long edge" << Stored{} << "BothSides" << "long edge"
                                << " -duplex long" << "-duplex" << "Both sides";
    QTest::newRow("back shift across") << "lineEdit_BackShiftX" << "type 3" << Stored{longEdge} << "BackShiftX" << "3"
                                       << " -duplex long -backshift 3 0 mm" << "-backshift" << "Back shift";
    QTest::newRow("back shift up") << "lineEdit_BackShiftY" << "type 4" << Stored{longEdge} << "BackShiftY" << "4"
                                   << " -duplex long -backshift 0 4 mm" << "-backshift" << "Back shift";
    QTest::newRow("back shift's unit") << "comboBox_BackShiftUnit" << "choose cm" << Stored{longEdge, {"BackShiftX", "1"}}
                                       << "BackShiftUnit" << "cm" << " -duplex long -backshift 1 0 cm" << "-backshift"
                                       << "Back shift";
    QTest::newRow("cut and stack") << "checkBox_Stack" << "tick" << Stored{} << "Stack" << "1" << " -stack" << "-stack"
                                   << "Cut and stack";
    QTest::newRow("step and repeat") << "checkBox_Repeat" << "tick" << Stored{} << "Repeat" << "1" << " -repeat"
                                     << "-repeat" << "Step and repeat";
    QTest::newRow("bleed") << "checkBox_Bleed" << "tick" << Stored{} << "Bleed" << "1" << " -bleed 3 mm" << "-bleed"
                           << "Bleed";
    QTest::newRow("bleed's length") << "lineEdit_Bleed" << "type 2" << Stored{{"Bleed", "1"}} << "BleedLength" << "2"
                                    << " -bleed 2 mm" << "-bleed" << "Bleed";
    QTest::newRow("bleed's unit") << "comboBox_BleedUnit" << "choose point" << Stored{{"Bleed", "1"}} << "BleedUnit"
                                  << "point" << " -bleed 3 point" << "-bleed" << "Bleed";
    QTest::newRow("slug line") << "checkBox_Slug" << "tick" << Stored{} << "Slug" << "1" << " -slug" << "-slug"
                               << "Slug line";
    QTest::newRow("fit") << "comboBox_Fit" << "choose shrink only" << Stored{} << "Fit" << "shrink only" << " -fit shrink"
                         << "-fit" << "Fit";
    QTest::newRow("turn pages to fit") << "checkBox_AutoRotate" << "tick" << Stored{} << "AutoRotate" << "1"
                                       << " -autorotate" << "-autorotate" << "Turn pages to fit";
    QTest::newRow("fold") << "comboBox_Fold" << "choose quarto" << Stored{booklet} << "Fold" << "quarto"
                          << " -booklet -fold 8" << "-fold" << "Fold";
    QTest::newRow("spine marks") << "checkBox_SpineMarks" << "tick" << Stored{booklet} << "SpineMarks" << "1"
                                 << " -booklet -spinemarks" << "-spinemarks" << "Spine marks";
    QTest::newRow("fold marks") << "checkBox_FoldMarks" << "tick" << Stored{booklet} << "FoldMarks" << "1"
                                << " -booklet -foldmarks" << "-foldmarks" << "Fold marks";
    QTest::newRow("sewing stations") << "spinBox_Sewing" << "type 4" << Stored{booklet} << "Sewing" << "4"
                                     << " -booklet -sewing 4" << "-sewing" << "Sewing stations";
}

void TestOptionsString::everySheetControl()
{
    QFETCH(QString, control);
    QFETCH(QString, action);
    QFETCH(Stored, before);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QString, added);
    QFETCH(QString, option);
    QFETCH(QString, words);
    const QString base = QStringLiteral(" -rt 0  -order H  -per 2*2");
    storeAll(before);
    {
        SheetsWindow sheets;
        sheets.show();
        QWidget *used = sheets.findChild<QWidget *>(control);
        QVERIFY2(used && used->isEnabled(), qPrintable(control));
        const QString text = action.section(QLatin1Char(' '), 1);
        if (action == QLatin1String("tick")) {
            QTest::mouseClick(used, Qt::LeftButton, Qt::NoModifier, QPoint(6, used->height() / 2));
        } else {
            used->setFocus();
            if (action.startsWith(QLatin1String("type")))
                QTest::keyClick(used, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(used, text);
        }
        QCOMPARE(shownBy(used), value);
    }
    QCOMPARE(TestEnv::stored(key.toLatin1().constData()), value);
    QCOMPARE(Sheetwin().GetSetParameter(), base + added);
    QCOMPARE(inWindowWords(QStringLiteral("wrong (after %1)").arg(option)), QStringLiteral("wrong (%1)").arg(words));

    // The other way: the value stored, a new window shows it.
    env = std::make_unique<TestEnv>();
    storeAll(before);
    TestEnv::store(key.toLatin1().constData(), value);
    SheetsWindow again;
    QCOMPARE(shownBy(again.findChild<QWidget *>(control)), value);
}

// What the tool's rules refuse beside what is chosen is greyed out, and says why in the
// window's words.
void TestOptionsString::rulesGreyOutWithTheirReason_data()
{
    QTest::addColumn<Stored>("stored");
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("why");  // its tool tip; empty: it can be ticked
    const QString exclude = QStringLiteral("\"Cut and stack\" and \"Step and repeat\" exclude each other: a page is "
                                           "either in one pile or on every cell");
    const QString inBooklet = QStringLiteral("\"Cut and stack\" and \"Step and repeat\" are ignored in a booklet, "
                                             "which has its own order");
    QTest::newRow("nothing chosen") << Stored{} << "checkBox_Stack" << "";
    QTest::newRow("step and repeat: no cut and stack") << Stored{{"Repeat", "1"}} << "checkBox_Stack" << exclude;
    QTest::newRow("cut and stack: no step and repeat") << Stored{{"Stack", "1"}} << "checkBox_Repeat" << exclude;
    QTest::newRow("cut and stack: itself untickable") << Stored{{"Stack", "1"}} << "checkBox_Stack" << "";
    QTest::newRow("booklet: no cut and stack") << Stored{{"Booklet", "1"}} << "checkBox_Stack" << inBooklet;
    QTest::newRow("booklet: no step and repeat") << Stored{{"Booklet", "1"}, {"Repeat", "1"}} << "checkBox_Repeat"
                                                  << inBooklet;
    QTest::newRow("no booklet: no signatures") << Stored{} << "spinBox_Signature"
        << "\"Sheets per signature\", \"Creep\" and \"Right to left\" are ignored without \"Booklet\"";
    QTest::newRow("booklet: signatures") << Stored{{"Booklet", "1"}} << "spinBox_Signature" << "";
    QTest::newRow("no booklet: no binder's marks") << Stored{} << "checkBox_SpineMarks"
        << "\"Spine marks\", \"Sewing stations\" and \"Fold marks\" are ignored without \"Booklet\" or \"Fold\": no "
           "sheet is folded";
    QTest::newRow("one side: no back shift") << Stored{} << "lineEdit_BackShiftX"
        << "\"Back shift\" is ignored without \"Both sides\" or \"Booklet\": no sheet has a back";
    QTest::newRow("both sides: a back shift") << Stored{{"BothSides", "long edge"}} << "lineEdit_BackShiftY" << "";
    QTest::newRow("booklet: a back shift") << Stored{{"Booklet", "1"}} << "pushButton_Calibration" << "";
    const QString onePosterSide = QStringLiteral("\"Scale\", \"Fit\", \"Bleed\" and \"Both sides\" are ignored with \"Poster\": "
                                                 "the page is enlarged to the poster, printed on one side");
    QTest::newRow("a poster: no cut apart") << Stored{{"Poster", "1"}} << "checkBox_Cut"
        << "\"Cut apart\" and \"Poster\" exclude each other: one cuts sheets into pages, the other a page into sheets";
    QTest::newRow("a booklet: no poster") << Stored{{"Booklet", "1"}} << "checkBox_Poster"
        << "\"Poster\" cannot go with \"Booklet\", \"Fold\", \"Cut and stack\" or \"Step and repeat\": a poster's sheets have an "
           "order of their own";
    QTest::newRow("cut apart, one-sided: no scan's order") << Stored{{"Cut", "1"}} << "comboBox_Scan"
        << "\"Scanned\" is ignored without \"Cut apart\" and \"Both sides\" or \"Booklet\": no sheet has a back to scan";
    QTest::newRow("a booklet cut apart: its scan's order") << Stored{{"Cut", "1"}, {"Booklet", "1"}} << "comboBox_Scan" << "";
    QTest::newRow("no poster: no overlap") << Stored{} << "lineEdit_Overlap"
        << "\"Overlap\" and \"Overview sheet\" are ignored without \"Poster\"";
    QTest::newRow("a poster: its overview") << Stored{{"Poster", "1"}} << "checkBox_Overview" << "";
    QTest::newRow("cut apart: no crop marks") << Stored{{"Cut", "1"}} << "checkBox_CropMarks"
        << "\"Crop marks\", \"Frame\", \"Slug line\" and \"Line Color\" are ignored with \"Cut apart\": the pages cut out "
           "carry no marks";
    QTest::newRow("a poster: no bleed") << Stored{{"Poster", "1"}} << "checkBox_Bleed" << onePosterSide;
    QTest::newRow("a poster: one side") << Stored{{"Poster", "1"}} << "comboBox_BothSides" << onePosterSide;
    QTest::newRow("nothing cut: no blank pages to leave out") << Stored{} << "checkBox_DropBlank"
        << "\"Leave out blank pages\" is ignored without \"Cut apart\" or \"Poster\"";
}

void TestOptionsString::rulesGreyOutWithTheirReason()
{
    QFETCH(Stored, stored);
    QFETCH(QString, control);
    QFETCH(QString, why);
    storeAll(stored);
    SheetsWindow sheets;
    QWidget *box = sheets.findChild<QWidget *>(control);
    QVERIFY(box);
    QCOMPARE(box->isEnabled(), why.isEmpty());
    if (!why.isEmpty()) {
        QCOMPARE(box->toolTip(), why);
    } else {
        // Free of the rules, a control says what it does, as its form has it.
        const QString own = box->toolTip();
        QVERIFY2(!own.isEmpty() && !own.contains(QLatin1String("ignored")) && !own.contains(QLatin1String("exclude")),
                 qPrintable(own));
    }
}

QTEST_MAIN(TestOptionsString)
#include "tst_optionsstring.moc"

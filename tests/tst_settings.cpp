// The settings file: its path, the defaults, and the main window's load and save.
#include "app/sheetwin.h"
#include "settings/settings.h"
#include "testenv.h"
#include "ui_sheetwin.h"

#include <QPointer>
#include <QStandardPaths>

class TestSettings : public QObject
{
    Q_OBJECT

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void pathFollowsAppdata_data();
    void pathFollowsAppdata();
    void firstRunShowsDefaults();
    void closeAndReopenRestoresLayout();
    void storedCustomGridWinsOverPreset();
    void storedOrderCascade_data();
    void storedOrderCascade();
    void unknownStoredTextsKeepCurrentItem();
    void defaultsComeFromOneTable();
    void theSharedSettingsSayWhatChanged_data();
    void theSharedSettingsSayWhatChanged();

private:
    std::unique_ptr<TestEnv> env;
};

void TestSettings::pathFollowsAppdata_data()
{
    QTest::addColumn<QString>("appdata");
    QTest::addColumn<QString>("expected");    // empty: in the user's configuration folder
    QTest::newRow("set") << QStringLiteral("/home/u/data") << QStringLiteral("/home/u/data/DIVAdedovuViduvuzoraSettingInfo.ini");
    QTest::newRow("trailing slash kept") << QStringLiteral("/d/") << QStringLiteral("/d//DIVAdedovuViduvuzoraSettingInfo.ini");
    // Decoded as the system encodes it (UTF-8 on Linux), not byte by byte.
    QTest::newRow("non-ASCII name") << QStringLiteral("/d/\u00fc") << QStringLiteral("/d/\u00fc/DIVAdedovuViduvuzoraSettingInfo.ini");
    // Never the root of the file system: the configuration folder takes over.
    QTest::newRow("unset") << QString() << QString();
}

void TestSettings::pathFollowsAppdata()
{
    QFETCH(QString, appdata);
    QFETCH(QString, expected);
    if (expected.isEmpty()) {
        expected = QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
                       .filePath(QStringLiteral("DIVAdedovuViduvuzoraSettingInfo.ini"));
    } else {
        // The folder in the system's separators, then "/" and the file's name.
        const int last = expected.lastIndexOf(QLatin1Char('/'));
        expected = QDir::toNativeSeparators(expected.left(last)) + expected.mid(last);
    }
    qputenv("APPDATA", appdata.toLocal8Bit());  // as the system holds it
    QCOMPARE(GetSettingInfoFileName(), expected);
}

void TestSettings::firstRunShowsDefaults()
{
    Sheetwin w;
    Ui_Sheetwin *ui = w.ui;
    QVERIFY(ui->radioButton_horizontal->isChecked());
    for (QLineEdit *e : {ui->lineEdit_left, ui->lineEdit_right, ui->lineEdit_top, ui->lineEdit_bottom, ui->lineEdit_x, ui->lineEdit_y})
        QCOMPARE(e->text(), QStringLiteral("0"));
    for (QComboBox *c : {ui->comboBox_left, ui->comboBox_right, ui->comboBox_top, ui->comboBox_bottom, ui->comboBox_x, ui->comboBox_y})
        QCOMPARE(c->currentText(), QStringLiteral("mm"));
    QCOMPARE(ui->comboBox_pagers_per_sheet->currentText(), QStringLiteral("2x2"));
    QCOMPARE(ui->lineEdit_pages_per_sheet_horizontal->text(), QStringLiteral("2"));
    QCOMPARE(ui->lineEdit_pages_per_sheet_vertical->text(), QStringLiteral("2"));
    QVERIFY(!ui->lineEdit_pages_per_sheet_horizontal->isEnabled());
    QVERIFY(!ui->lineEdit_pages_per_sheet_vertical->isEnabled());
    QCOMPARE(ui->lineEdit_OutputPath->text(), QString());
    QVERIFY(!QFile::exists(g_qStrSettingInfoFileName));  // nothing written before closing
}

void TestSettings::closeAndReopenRestoresLayout()
{
    {
        QPointer<Sheetwin> w = new Sheetwin;
        Ui_Sheetwin *ui = w->ui;
        ui->comboBox_pagers_per_sheet->setCurrentText(QStringLiteral("Custom"));
        clickRadio(ui->radioButton_verticalreversed);
        ui->lineEdit_pages_per_sheet_horizontal->setText(QStringLiteral("4"));
        ui->lineEdit_pages_per_sheet_vertical->setText(QStringLiteral("3"));
        ui->lineEdit_left->setText(QStringLiteral("12.5"));
        ui->comboBox_left->setCurrentText(QStringLiteral("inch"));
        ui->lineEdit_y->setText(QString());
        ui->comboBox_y->setCurrentText(QStringLiteral("point"));
        w->show();
        w->close();  // deletes itself, saving on the way
        QTRY_VERIFY(w.isNull());
    }
    QCOMPARE(TestEnv::stored("radioButton_verticalreversed"), QStringLiteral("1"));
    QCOMPARE(TestEnv::stored("radioButton_horizontal"), QStringLiteral("0"));
    QCOMPARE(TestEnv::stored("lineEdit_y"), QString());

    Sheetwin again;
    Ui_Sheetwin *ui = again.ui;
    QVERIFY(ui->radioButton_verticalreversed->isChecked());
    QVERIFY(!ui->radioButton_horizontal->isChecked());
    QCOMPARE(ui->comboBox_pagers_per_sheet->currentText(), QStringLiteral("Custom"));
    QCOMPARE(ui->lineEdit_pages_per_sheet_horizontal->text(), QStringLiteral("4"));
    QCOMPARE(ui->lineEdit_pages_per_sheet_vertical->text(), QStringLiteral("3"));
    QVERIFY(ui->lineEdit_pages_per_sheet_horizontal->isEnabled());
    QCOMPARE(ui->lineEdit_left->text(), QStringLiteral("12.5"));
    QCOMPARE(ui->comboBox_left->currentText(), QStringLiteral("inch"));
    QCOMPARE(ui->lineEdit_y->text(), QString());  // an empty text is a value, not a missing key
    QCOMPARE(ui->comboBox_y->currentText(), QStringLiteral("point"));
}

void TestSettings::storedCustomGridWinsOverPreset()
{
    TestEnv::store("comboBox_pagers_per_sheet", QStringLiteral("Custom"));
    TestEnv::store("lineEdit_pages_per_sheet_horizontal", QStringLiteral("7"));
    TestEnv::store("lineEdit_pages_per_sheet_vertical", QStringLiteral("3"));
    Sheetwin w;
    QCOMPARE(w.ui->lineEdit_pages_per_sheet_horizontal->text(), QStringLiteral("7"));
    QCOMPARE(w.ui->lineEdit_pages_per_sheet_vertical->text(), QStringLiteral("3"));
    QVERIFY(w.ui->lineEdit_pages_per_sheet_horizontal->isEnabled());
    QVERIFY(w.ui->lineEdit_pages_per_sheet_vertical->isEnabled());
}

void TestSettings::storedOrderCascade_data()
{
    QTest::addColumn<QStringList>("stored");   // h, hr, v, vr
    QTest::addColumn<QString>("checked");      // "" when none
    QTest::newRow("vertical") << QStringList{"0", "0", "1", "0"} << QStringLiteral("radioButton_vertical");
    QTest::newRow("first 1 wins") << QStringList{"0", "1", "1", "1"} << QStringLiteral("radioButton_horizontalreversed");
    QTest::newRow("none") << QStringList{"0", "0", "0", "0"} << QString();
    QTest::newRow("not exactly 1") << QStringList{"yes", " 1", "0", "1"} << QStringLiteral("radioButton_verticalreversed");
}

void TestSettings::storedOrderCascade()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, checked);
    const char *keys[] = {"radioButton_horizontal", "radioButton_horizontalreversed", "radioButton_vertical", "radioButton_verticalreversed"};
    for (int i = 0; i < 4; ++i)
        TestEnv::store(keys[i], stored.at(i));
    Sheetwin w;
    for (const char *key : keys)
        QCOMPARE(w.findChild<QRadioButton *>(QLatin1String(key))->isChecked(), checked == QLatin1String(key));
}

void TestSettings::unknownStoredTextsKeepCurrentItem()
{
    TestEnv::store("comboBox_left", QStringLiteral("MM"));
    TestEnv::store("comboBox_top", QStringLiteral("cm"));
    TestEnv::store("comboBox_pagers_per_sheet", QStringLiteral("9x9"));
    TestEnv::store("lineEdit_pages_per_sheet_horizontal", QStringLiteral("6"));
    Sheetwin w;
    QCOMPARE(w.ui->comboBox_left->currentText(), QStringLiteral("mm"));
    QCOMPARE(w.ui->comboBox_top->currentText(), QStringLiteral("cm"));
    QCOMPARE(w.ui->comboBox_pagers_per_sheet->currentText(), QStringLiteral("2x2"));
    QCOMPARE(w.ui->lineEdit_pages_per_sheet_horizontal->text(), QStringLiteral("6"));
    QVERIFY(!w.ui->lineEdit_pages_per_sheet_horizontal->isEnabled());
}

void TestSettings::defaultsComeFromOneTable()
{
    // A reader of a missing key gets the table's default, whoever reads it.
    QCOMPARE(readSetting(SettingKey::PagesPerSheet), QStringLiteral("2*2"));
    QCOMPARE(readSetting(SettingKey::ScalingPercent), QStringLiteral("100"));
    QCOMPARE(readSetting(SettingKey::CustomWidth), QStringLiteral("0"));
    QCOMPARE(readSetting(SettingKey::Rotate), QStringLiteral("0 degree"));
    writeSetting(SettingKey::OutputFolder, QStringLiteral("/out"));
    QCOMPARE(readSetting(SettingKey::OutputFolder), QStringLiteral("/out"));
    QVERIFY(env->fileBytes().contains("[SettingInfo]"));
}

void TestSettings::theSharedSettingsSayWhatChanged_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<QString>("stored");    // in the file before; "<absent>": not there
    QTest::addColumn<QString>("written");
    QTest::addColumn<bool>("changed");      // the file's text changed
    QTest::addColumn<bool>("choices");      // the sheet options read from it changed
    QTest::newRow("a booklet ticked") << QByteArray(SettingKey::Booklet) << "<absent>" << "1" << true << true;
    QTest::newRow("the same again") << QByteArray(SettingKey::Booklet) << "1" << "1" << false << false;
    // The default written out is the person's choice kept, of the same value.
    QTest::newRow("the default chosen") << QByteArray(SettingKey::Booklet) << "<absent>" << "0" << true << false;
    // A length kept as typed: the text changes, the value does not.
    QTest::newRow("a length typed otherwise") << QByteArray(SettingKey::Creep) << "0.5" << "0.50" << true << false;
    QTest::newRow("a key that is no sheet option") << QByteArray(SettingKey::LastPrinter) << "a" << "b" << true << false;
}

// The one settings object the windows share: each value written at once, and said where it
// changed (a window follows another by it), the sheet options only where their value did.
void TestSettings::theSharedSettingsSayWhatChanged()
{
    QFETCH(QByteArray, key);
    QFETCH(QString, stored);
    QFETCH(QString, written);
    QFETCH(bool, changed);
    QFETCH(bool, choices);
    if (stored != QLatin1String("<absent>"))
        TestEnv::store(key.constData(), stored);
    Settings settings;
    QSignalSpy said(&settings, &Settings::changed), chosen(&settings, &Settings::sheetChoicesChanged);
    if (QByteArray(SettingKey::LastPrinter) == key)
        settings.setLastPrinter(written);
    else
        settings.setSheetOption(key.constData(), written);
    QCOMPARE(TestEnv::stored(key.constData()), written);
    QCOMPARE(said.size(), changed ? 1 : 0);
    QCOMPARE(chosen.size(), choices ? 1 : 0);
    if (choices)
        QCOMPARE(chosen.at(0).at(0).value<SheetChoices>(), settings.sheetChoices());
}

QTEST_MAIN(TestSettings)
#include "tst_settings.moc"

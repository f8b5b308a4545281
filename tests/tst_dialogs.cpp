// The page options dialog and the about box.
#include "about.h"
#include "app/sheetwin.h"
#include "setting.h"
#include "testenv.h"
#include "ui_about.h"
#include "ui_setting.h"
#include "ui_sheetwin.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDesktopServices>
#include <QGroupBox>
#include <QLabel>
#include <QStyleOptionButton>
#include <QTextBlock>
#include <QTextLayout>
#include <QTimer>
#include <QToolButton>

class LinkRecorder : public QObject
{
    Q_OBJECT
public:
    LinkRecorder()
    {
        for (const char *scheme : {"http", "https", "mailto"})
            QDesktopServices::setUrlHandler(QLatin1String(scheme), this, "open");
    }
    ~LinkRecorder() override
    {
        for (const char *scheme : {"http", "https", "mailto"})
            QDesktopServices::unsetUrlHandler(QLatin1String(scheme));
    }
    QList<QUrl> opened;
public slots:
    void open(const QUrl &url) { opened << url; }
};

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void freshFileState();
    void fitToPageSizeWithCustomAndBack();
    void resetKeepsSizesAndSavesNothing();
    void applyRoundTrip();
    void applyReachesNextRun();
    void cancelLeavesFileUnchanged();
    void addLineStaysSelected();
    void colourDialog_data();
    void colourDialog();
    void loadingCascades_data();
    void loadingCascades();
    void dialogFrames();
    void textsFitAndControlsAnswer_data();
    void textsFitAndControlsAnswer();
    void aboutBox();
    void settingButtonOpensModalDialog();

private:
    std::unique_ptr<TestEnv> env;
};

void TestDialogs::freshFileState()
{
    Setting d;
    Ui_Setting *ui = d.ui;
    QVERIFY(ui->radioButton_remain_original_size->isChecked());
    QVERIFY(ui->radioButton_allpages->isChecked());
    QCOMPARE(ui->spinBox_scaling->value(), 100);
    QCOMPARE(ui->PageSizeCombo->currentText(), QStringLiteral("A4"));
    QCOMPARE(ui->lineEdit_Height->text(), QStringLiteral("297"));
    QCOMPARE(ui->lineEdit_Width->text(), QStringLiteral("210"));
    QCOMPARE(ui->comboBox_pagesize_height->currentText(), QStringLiteral("mm"));
    QCOMPARE(ui->lineEdit_pageno->text(), QStringLiteral("1-2"));
    for (QWidget *w : {static_cast<QWidget *>(ui->spinBox_scaling), static_cast<QWidget *>(ui->PageSizeCombo),
                       static_cast<QWidget *>(ui->lineEdit_Height), static_cast<QWidget *>(ui->lineEdit_Width),
                       static_cast<QWidget *>(ui->comboBox_pagesize_width), static_cast<QWidget *>(ui->lineEdit_pageno),
                       static_cast<QWidget *>(ui->pushButton_setcolor)})
        QVERIFY2(!w->isEnabled(), qPrintable(w->objectName()));
    QCOMPARE(ui->RotateCombo_rotate->currentText(), QStringLiteral("0 degree"));
    QVERIFY(!ui->radioButton_addcolor->isChecked());
    QCOMPARE(d.windowTitle(), QStringLiteral("Setting"));
}

void TestDialogs::fitToPageSizeWithCustomAndBack()
{
    TestEnv::store("Height", QStringLiteral("123"));
    Setting d;
    Ui_Setting *ui = d.ui;
    clickRadio(ui->radioButton_fit_to_page_size);
    QVERIFY(ui->PageSizeCombo->isEnabled());
    QVERIFY(!ui->lineEdit_Height->isEnabled());
    ui->PageSizeCombo->setCurrentText(QStringLiteral("Custom"));
    QVERIFY(ui->lineEdit_Height->isEnabled() && ui->comboBox_pagesize_width->isEnabled());
    QCOMPARE(ui->lineEdit_Height->text(), QStringLiteral("123"));
    QCOMPARE(ui->lineEdit_Width->text(), QStringLiteral("0"));
    ui->comboBox_pagesize_width->setCurrentText(QStringLiteral("inch"));
    ui->PageSizeCombo->setCurrentText(QStringLiteral("Letter"));
    QCOMPARE(ui->lineEdit_Height->text(), QStringLiteral("279.4"));
    QCOMPARE(ui->lineEdit_Width->text(), QStringLiteral("215.9"));
    QCOMPARE(ui->comboBox_pagesize_width->currentText(), QStringLiteral("mm"));
    QVERIFY(!ui->lineEdit_Height->isEnabled() && !ui->comboBox_pagesize_height->isEnabled());
    ui->PageSizeCombo->setCurrentText(QStringLiteral("Ledger"));
    QCOMPARE(ui->lineEdit_Height->text(), QStringLiteral("431.8"));
}

void TestDialogs::resetKeepsSizesAndSavesNothing()
{
    Setting d;
    Ui_Setting *ui = d.ui;
    clickRadio(ui->radioButton_fit_to_page_size);
    ui->PageSizeCombo->setCurrentText(QStringLiteral("Custom"));
    ui->lineEdit_Width->setText(QStringLiteral("99"));
    clickRadio(ui->radioButton_scaling);
    ui->spinBox_scaling->setValue(40);
    clickRadio(ui->radioButton_oddpages);
    ui->RotateCombo_rotate->setCurrentText(QStringLiteral("270 degrees"));
    clickRadio(ui->radioButton_addcolor);
    d.r = 10;
    QTest::mouseClick(ui->pushButton, Qt::LeftButton);  // Reset
    QVERIFY(ui->radioButton_remain_original_size->isChecked());
    QVERIFY(!ui->radioButton_scaling->isChecked());
    QVERIFY(ui->radioButton_allpages->isChecked());
    QVERIFY(!ui->radioButton_oddpages->isChecked());
    QCOMPARE(ui->RotateCombo_rotate->currentText(), QStringLiteral("0 degree"));
    QVERIFY(!ui->radioButton_addcolor->isChecked());
    QVERIFY(!ui->pushButton_setcolor->isEnabled());
    QCOMPARE(d.r, 0);
    QCOMPARE(ui->PageSizeCombo->currentText(), QStringLiteral("Custom"));
    QCOMPARE(ui->lineEdit_Width->text(), QStringLiteral("99"));
    QCOMPARE(ui->spinBox_scaling->value(), 40);
    QVERIFY(!ui->lineEdit_Width->isEnabled() && !ui->spinBox_scaling->isEnabled());
    QVERIFY(!QFile::exists(g_qStrSettingInfoFileName));
}

void TestDialogs::applyRoundTrip()
{
    TestEnv::store("PageSizeCombo", QStringLiteral("Tabloid"));  // no such item: replaced by the shown one
    TestEnv::store("colorG", QStringLiteral("77"));
    TestEnv::store("radioButton_addcolor", QStringLiteral("1"));
    TestEnv::store("lineEdit_pageno", QStringLiteral("3, 5-"));
    TestEnv::store("radioButton_allpages", QStringLiteral("0"));
    TestEnv::store("radioButton_pageno", QStringLiteral("1"));
    TestEnv::store("spinBox_scaling", QStringLiteral("55"));
    {
        Setting d;
        QVERIFY(d.ui->lineEdit_pageno->isEnabled());
        QTest::mouseClick(d.ui->ConvertButton, Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Accepted));
    }
    const QList<QPair<const char *, const char *>> expected = {
        {"radioButton_remain_original_size", "1"}, {"radioButton_scaling", "0"}, {"spinBox_scaling", "55"},
        {"radioButton_fit_to_page_size", "0"}, {"PageSizeCombo", "A3"}, {"lineEdit_Height", "297"},
        {"comboBox_pagesize_height", "mm"}, {"lineEdit_Width", "210"}, {"comboBox_pagesize_width", "mm"},
        {"radioButton_allpages", "0"}, {"radioButton_oddpages", "0"}, {"radioButton_evem_pages", "0"},
        {"radioButton_pageno", "1"}, {"lineEdit_pageno", "3, 5-"}, {"RotateCombo_rotate", "0 degree"},
        {"colorR", "0"}, {"colorG", "77"}, {"colorB", "0"}, {"radioButton_addcolor", "1"},
    };
    for (const auto &kv : expected)
        QCOMPARE(TestEnv::stored(kv.first), QLatin1String(kv.second));
}

void TestDialogs::applyReachesNextRun()
{
    Sheetwin w;
    Setting d;
    clickRadio(d.ui->radioButton_scaling);
    d.ui->spinBox_scaling->setValue(60);
    clickRadio(d.ui->radioButton_evem_pages);
    d.ui->RotateCombo_rotate->setCurrentText(QStringLiteral("90 degrees"));
    clickRadio(d.ui->radioButton_addcolor);
    d.r = 200;
    QTest::mouseClick(d.ui->ConvertButton, Qt::LeftButton);
    QCOMPARE(w.GetSetParameter(), QStringLiteral(" -addline 200 0 0 -scale 60 -even  -rt 90  -order H  -per 2*2"));
}

void TestDialogs::cancelLeavesFileUnchanged()
{
    TestEnv::store("RotateCombo_rotate", QStringLiteral("180 degrees"));
    const QByteArray before = env->fileBytes();
    {
        Setting d;
        clickRadio(d.ui->radioButton_scaling);
        QTest::mouseClick(d.ui->pushButton, Qt::LeftButton);  // Reset, then Cancel
        QTest::mouseClick(d.ui->pushButton_Cancle, Qt::LeftButton);
        QCOMPARE(d.result(), int(QDialog::Rejected));
    }
    {
        Setting d;
        d.show();
        d.close();  // the title bar's close control
    }
    QCOMPARE(env->fileBytes(), before);
}

void TestDialogs::addLineStaysSelected()
{
    Setting d;
    d.show();
    clickRadio(d.ui->radioButton_addcolor);
    QVERIFY(d.ui->radioButton_addcolor->isChecked());
    QVERIFY(d.ui->pushButton_setcolor->isEnabled());
    clickRadio(d.ui->radioButton_addcolor);
    QVERIFY(d.ui->radioButton_addcolor->isChecked());
    QVERIFY(d.ui->pushButton_setcolor->isEnabled());
}

void TestDialogs::colourDialog_data()
{
    QTest::addColumn<bool>("accept");
    QTest::addColumn<QColor>("expected");
    QTest::newRow("accepted") << true << QColor(12, 34, 56);
    QTest::newRow("cancelled keeps the colour") << false << QColor(200, 100, 50);
}

void TestDialogs::colourDialog()
{
    QFETCH(bool, accept);
    QFETCH(QColor, expected);
    Setting d;
    d.r = 200;
    d.g = 100;
    d.b = 50;
    bool sawDialog = false;
    QTimer::singleShot(0, [&] {
        auto *dialog = qobject_cast<QColorDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        sawDialog = true;
        QVERIFY(dialog->testOption(QColorDialog::DontUseNativeDialog));
        if (accept) {
            dialog->setCurrentColor(QColor(12, 34, 56));
            dialog->accept();
        } else {
            dialog->reject();
        }
    });
    d.pushButton_setcolor_click();
    QVERIFY(sawDialog);
    QCOMPARE(QColor(d.r, d.g, d.b), expected);
}

void TestDialogs::loadingCascades_data()
{
    QTest::addColumn<QStringList>("stored");  // key=value
    QTest::addColumn<QString>("checked");     // the checked radio buttons, in form order
    QTest::newRow("original wins over scale") << QStringList{"radioButton_remain_original_size=1", "radioButton_scaling=1"}
                                              << "radioButton_remain_original_size radioButton_allpages";
    QTest::newRow("scale") << QStringList{"radioButton_remain_original_size=0", "radioButton_scaling=1"}
                           << "radioButton_scaling radioButton_allpages";
    QTest::newRow("unknown mode keeps the form") << QStringList{"radioButton_remain_original_size=x"}
                                                 << "radioButton_allpages";
    QTest::newRow("even after zeros") << QStringList{"radioButton_allpages=0", "radioButton_oddpages=0", "radioButton_evem_pages=1",
                                                     "radioButton_pageno=1"}
                                      << "radioButton_remain_original_size radioButton_evem_pages";
    QTest::newRow("range cascade stops at a non-zero") << QStringList{"radioButton_allpages=2", "radioButton_oddpages=1"}
                                                       << "radioButton_remain_original_size radioButton_allpages";
    QTest::newRow("line on") << QStringList{"radioButton_addcolor=1"}
                             << "radioButton_remain_original_size radioButton_allpages radioButton_addcolor";
}

void TestDialogs::loadingCascades()
{
    QFETCH(QStringList, stored);
    QFETCH(QString, checked);
    for (const QString &kv : stored)
        TestEnv::store(kv.section(QLatin1Char('='), 0, 0).toLatin1().constData(), kv.section(QLatin1Char('='), 1));
    Setting d;
    QStringList on;
    for (const char *name : {"radioButton_remain_original_size", "radioButton_fit_to_page_size", "radioButton_scaling",
                             "radioButton_allpages", "radioButton_pageno", "radioButton_oddpages", "radioButton_evem_pages",
                             "radioButton_addcolor"}) {
        if (d.findChild<QRadioButton *>(QLatin1String(name))->isChecked())
            on << QLatin1String(name);
    }
    QCOMPARE(on.join(QLatin1Char(' ')), checked);
    QCOMPARE(d.ui->pushButton_setcolor->isEnabled(), d.ui->radioButton_addcolor->isChecked());
    QCOMPARE(d.ui->spinBox_scaling->isEnabled(), d.ui->radioButton_scaling->isChecked() || checked == "radioButton_allpages");
}

void TestDialogs::dialogFrames()
{
    Setting s;
    about a;
    for (QDialog *d : {static_cast<QDialog *>(&s), static_cast<QDialog *>(&a)}) {
        QCOMPARE(d->minimumSize(), d->maximumSize());
        const Qt::WindowFlags flags = d->windowFlags();
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
        QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(d->palette().window().texture().size() == d->size());
        QVERIFY(!d->parent());
    }
    QCOMPARE(s.size(), QSize(621, 386));
    QCOMPARE(a.size(), QSize(320, 251));
}

void TestDialogs::textsFitAndControlsAnswer_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("main window") << "Sheetwin";
    QTest::newRow("page options") << "Setting";
    QTest::newRow("about box") << "about";
}

// The windows place their widgets at fixed rectangles: every text must fit its rectangle
// in the font and style the widget draws it with, and every radio button and check box must
// answer a click on its circle and on its text.
void TestDialogs::textsFitAndControlsAnswer()
{
    QFETCH(QString, window);
    std::unique_ptr<QWidget> w;
    if (window == QLatin1String("Sheetwin"))
        w = std::make_unique<Sheetwin>();
    else if (window == QLatin1String("Setting"))
        w = std::make_unique<Setting>();
    else
        w = std::make_unique<about>();
    w->setAttribute(Qt::WA_DeleteOnClose, false);
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.get()));
    QStringList problems;
    auto misfit = [&](QWidget *widget, const QString &text, int need, int have) {
        if (need > have)
            problems << QStringLiteral("%1 \"%2\": needs %3 px, has %4").arg(widget->objectName(), text).arg(need).arg(have);
    };

    for (QWidget *widget : w->findChildren<QWidget *>()) {
        const QFontMetrics fm = widget->fontMetrics();
        QStyle *style = widget->style();
        if (auto *label = qobject_cast<QLabel *>(widget); label && !label->text().isEmpty() && !label->pixmap()) {
            misfit(label, label->text(), label->sizeHint().width(), label->width());
            misfit(label, label->text(), fm.height(), label->height());
        } else if (qobject_cast<QRadioButton *>(widget) || qobject_cast<QCheckBox *>(widget)) {
            auto *button = static_cast<QAbstractButton *>(widget);
            const bool radio = qobject_cast<QRadioButton *>(widget);
            // Where a click must reach it: the middle of its circle and of its text.
            QStyleOptionButton opt;
            opt.initFrom(button);
            opt.text = button->text();
            const QRect circle = style->subElementRect(radio ? QStyle::SE_RadioButtonIndicator : QStyle::SE_CheckBoxIndicator, &opt, button);
            const QRect contents = style->subElementRect(radio ? QStyle::SE_RadioButtonContents : QStyle::SE_CheckBoxContents, &opt, button);
            const QRect text(contents.left(), contents.top(), fm.horizontalAdvance(button->text()), contents.height());
            // From its left edge to the last pixel of its text.
            misfit(button, button->text(), contents.left() + fm.boundingRect(button->text()).right() + 1, button->width());
            for (const QPoint &spot : {circle.center(), text.center()}) {
                QWidget *hit = w->childAt(button->mapTo(w.get(), spot));
                if (hit != button)
                    problems << QStringLiteral("%1: a click at (%2, %3) reaches %4").arg(button->objectName()).arg(spot.x()).arg(spot.y())
                                    .arg(hit ? hit->objectName() : QStringLiteral("nothing"));
            }
            // Nothing stacked above it, shown or hidden, covers its circle or text.
            const QRect clickable = (circle | text).translated(button->pos());
            const QObjectList siblings = button->parent()->children();
            for (qsizetype i = siblings.indexOf(button) + 1; i < siblings.size(); ++i) {
                auto *above = qobject_cast<QWidget *>(siblings[i]);
                if (above && !above->isWindow() && above->geometry().intersects(clickable))
                    problems << QStringLiteral("%1 lies over %2").arg(above->objectName(), button->objectName());
            }
        } else if (auto *button = qobject_cast<QPushButton *>(widget); button && !button->text().isEmpty()) {
            const int margins = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button)
                                + 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
            misfit(button, button->text(), fm.horizontalAdvance(button->text()) + margins, button->width());
        } else if (auto *tool = qobject_cast<QToolButton *>(widget); tool && !tool->text().isEmpty()) {
            if (tool->icon().isNull()) {
                // Its text, inside its frame.
                const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, tool);
                misfit(tool, tool->text(), fm.boundingRect(tool->text()).width() + 2 * frame + 2, tool->width());
                misfit(tool, tool->text(), fm.height() + 2 * frame, tool->height());
            } else {
                misfit(tool, tool->text(), tool->sizeHint().width(), tool->width());
                misfit(tool, tool->text(), tool->sizeHint().height(), tool->height());
            }
        } else if (auto *box = qobject_cast<QGroupBox *>(widget); box && !box->title().isEmpty()) {
            misfit(box, box->title(), fm.horizontalAdvance(box->title()) + 2 * fm.averageCharWidth(), box->width());
        } else if (auto *browser = qobject_cast<QTextBrowser *>(widget)) {
            // The about text: every paragraph on one line, all of it without a scroll bar.
            QTextDocument *doc = browser->document();
            for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
                if (block.layout()->lineCount() > 1)
                    problems << QStringLiteral("%1: \"%2\" wraps").arg(browser->objectName(), block.text());
            }
            misfit(browser, QStringLiteral("its text"), int(doc->size().height()), browser->viewport()->height());
            misfit(browser, QStringLiteral("its text"), int(doc->idealWidth()), browser->viewport()->width());
        }
    }
    QVERIFY2(problems.isEmpty(), qPrintable(QLatin1Char('\n') + problems.join(QLatin1Char('\n'))));
}

void TestDialogs::aboutBox()
{
    LinkRecorder links;
    about a;
    a.show();
    QVERIFY(QTest::qWaitForWindowExposed(&a));
    QCOMPARE(a.windowTitle(), QStringLiteral("About"));
    QTextBrowser *text = a.ui->textBrowser;
    QCOMPARE(text->contextMenuPolicy(), Qt::NoContextMenu);
    QVERIFY(text->toPlainText().contains(QStringLiteral("Tavrell PDF Plyjoin")));
    const QString html = text->toHtml();
    QVERIFY(html.contains(QStringLiteral("mailto:support@tavrell.example")));
    // What the licence asks an interactive program to say: the licence, no warranty, the version.
    const QString said = text->toPlainText();
    QVERIFY2(!said.contains(QStringLiteral("All rights reserved")), qPrintable(said));
    QVERIFY(said.contains(QStringLiteral("GNU GPL 3 or later")) && said.contains(QStringLiteral("no warranty")));
    QVERIFY(said.contains(QStringLiteral("Version ") + QStringLiteral(PLYJOIN_VERSION)));
    // Clicking the links opens them with the system's handler; the dialog stays open.
    for (const QString &anchor : {QStringLiteral("www.tavrell.example"), QStringLiteral("support@tavrell.example")}) {
        QTextCursor found = text->document()->find(anchor);
        QVERIFY(!found.isNull());
        QTextCursor c(found);
        c.setPosition(found.selectionStart() + 2);
        const QRect r = text->cursorRect(c);
        QTest::mouseClick(text->viewport(), Qt::LeftButton, Qt::NoModifier, r.center());
    }
    QCOMPARE(links.opened, (QList<QUrl>{QUrl(QStringLiteral("https://www.tavrell.example/")),
                                        QUrl(QStringLiteral("mailto:support@tavrell.example"))}));
    QVERIFY(a.isVisible());
    QTest::mouseClick(a.ui->pushButton_OK, Qt::LeftButton);
    QCOMPARE(a.result(), int(QDialog::Accepted));
    QVERIFY(!a.isVisible());
}

void TestDialogs::settingButtonOpensModalDialog()
{
    Sheetwin w;
    QString seen;
    QTimer::singleShot(0, [&seen] {
        QWidget *modal = QApplication::activeModalWidget();
        seen = modal ? QString::fromLatin1(modal->metaObject()->className()) : QStringLiteral("none");
        if (auto *d = qobject_cast<QDialog *>(modal))
            d->reject();
    });
    QTest::mouseClick(w.ui->toolButton_Setting, Qt::LeftButton);
    QCOMPARE(seen, QStringLiteral("Setting"));
    QTimer::singleShot(0, [&seen] {
        QWidget *modal = QApplication::activeModalWidget();
        seen = modal ? QString::fromLatin1(modal->metaObject()->className()) : QStringLiteral("none");
        if (auto *d = qobject_cast<QDialog *>(modal))
            d->accept();
    });
    QTest::mouseClick(w.ui->toolButton_About, Qt::LeftButton);
    QCOMPARE(seen, QStringLiteral("about"));
    QVERIFY(!QApplication::activeModalWidget());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"

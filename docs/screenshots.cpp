// Renders the README's pictures: the main window with files listed and a 3x2 preview, the
// previews of a few layouts, the page options dialog, the about box, and the window after a
// run in which the last file failed, with the reason on screen.
// With --sheets, the sheets window beside the main window on a real document, and a booklet;
// with --cut and --poster, a 2-up handout cut apart and a page as a poster.
// usage: plyjoin-screenshots OUTDIR SAMPLE.pdf... [--fails LOCKED.pdf] [--sheets DOCUMENT.pdf]
//        [--cut HANDOUT.pdf --poster PLAN.pdf]
#include "about.h"
#include "app/sheetwin.h"
#include "widgets/formfont.h"
#include "setting.h"
#include "settings/settingsfile.h"
#include "sheetswindow/sheetswindow.h"
#include "ui_sheetswindow.h"
#include "ui_sheetwin.h"

#include <QElapsedTimer>
#include <QPainter>

#include <QApplication>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QScreen>
#include <QTemporaryDir>
#include <QToolTip>
#include <QThread>
#include <QUrl>

static void save(QWidget *w, const QString &path)
{
    w->show();
    QApplication::processEvents();
    w->grab().save(path);
}

// Both windows on one picture, side by side, as they stand on a desktop.
static void saveBeside(QWidget *left, QWidget *right, const QString &path)
{
    const QImage a = left->grab().toImage(), b = right->grab().toImage();
    QImage both(a.width() + 16 + b.width(), std::max(a.height(), b.height()), QImage::Format_RGB32);
    both.fill(QColor(60, 70, 80));
    QPainter painter(&both);
    painter.drawImage(0, 0, a);
    painter.drawImage(a.width() + 16, 0, b);
    painter.end();
    both.save(path);
}

// The sheets window on a real document: beside the main window with a 2x2 layout on A4, then
// as a booklet on A4 landscape with crop marks and a frame, its front and its back.
static void sheetsPictures(Sheetwin *window, const QString &document, const QDir &out)
{
    window->addFilesFromCommandLine({document});
    QTableWidget *table = window->ui->tableWidget_Files;
    writeSetting(SettingKey::RemainOriginalSize, QStringLiteral("0"));
    writeSetting(SettingKey::FitToPageSize, QStringLiteral("1"));
    window->ui->comboBox_pagers_per_sheet->setCurrentText(QStringLiteral("2x2"));
    window->ui->radioButton_horizontal->click();
    for (QLineEdit *e : {window->ui->lineEdit_left, window->ui->lineEdit_right, window->ui->lineEdit_top,
                         window->ui->lineEdit_bottom, window->ui->lineEdit_x, window->ui->lineEdit_y})
        e->setText(QStringLiteral("5"));
    table->setCurrentCell(table->rowCount() - 1, 0);
    window->On_Button_Preview();
    SheetsWindow *sheets = nullptr;
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String("SheetsWindow"))
            sheets = static_cast<SheetsWindow *>(top);
    }
    if (!sheets)
        return;
    int shown = 0;
    QObject::connect(sheets, &SheetsWindow::sideShown, [&shown] { ++shown; });
    auto settle = [&] {
        const int before = shown;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30000 && (shown == before || sheets->proofs().isToolRunning()))
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        QThread::msleep(300);
        QApplication::processEvents();
    };
    window->move(0, 0);
    sheets->move(window->frameGeometry().right() + 20, 0);
    sheets->setCurrentSide(2);
    settle();
    saveBeside(window, sheets, out.filePath(QStringLiteral("sheets.png")));

    writeSetting(SettingKey::PageWidth, QStringLiteral("297"));
    writeSetting(SettingKey::PageHeight, QStringLiteral("210"));
    writeSetting(SettingKey::PageSize, QStringLiteral("Custom"));
    window->ui->lineEdit_x->setText(QStringLiteral("12"));
    sheets->ui->checkBox_CropMarks->setChecked(true);
    sheets->ui->checkBox_Frame->setChecked(true);
    sheets->ui->lineEdit_Creep->setText(QStringLiteral("1"));
    sheets->ui->checkBox_Booklet->setChecked(true);
    sheets->setCurrentSide(0);
    settle();
    sheets->grab().save(out.filePath(QStringLiteral("sheets-booklet-front.png")));
    window->grab().save(out.filePath(QStringLiteral("mainwindow-booklet.png")));
    sheets->setCurrentSide(1);
    settle();
    sheets->grab().save(out.filePath(QStringLiteral("sheets-booklet-back.png")));
    // Back to plain sheets of the original size for the pictures that follow.
    sheets->ui->checkBox_Booklet->setChecked(false);
    sheets->ui->checkBox_CropMarks->setChecked(false);
    sheets->ui->checkBox_Frame->setChecked(false);
    writeSetting(SettingKey::RemainOriginalSize, QStringLiteral("1"));
    writeSetting(SettingKey::FitToPageSize, QStringLiteral("0"));
    window->ui->lineEdit_x->setText(QStringLiteral("4"));
    sheets->close();
}

// The sheets window of a file, opened from the main window (its last row).
static SheetsWindow *openSheets(Sheetwin *window, const QString &file)
{
    window->addFilesFromCommandLine({file});
    QTableWidget *table = window->ui->tableWidget_Files;
    table->setCurrentCell(table->rowCount() - 1, 0);
    window->On_Button_Preview();
    for (QWidget *top : QApplication::topLevelWidgets()) {
        if (top->objectName() == QLatin1String("SheetsWindow"))
            return static_cast<SheetsWindow *>(top);
    }
    return nullptr;
}

// Until the sheets window shows the side asked for.
static void settle(SheetsWindow *sheets)
{
    QElapsedTimer t;
    t.start();
    QApplication::processEvents();
    while (t.elapsed() < 30000 && (sheets->proofs().isBusy() || sheets->sideImage().isNull()))
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    QThread::msleep(300);
    QApplication::processEvents();
}

// The way back and the way up: a 2-up handout cut apart into its pages, and a page as a
// poster of 3 by 2 sheets, each in the sheets window.
static void cutAndPosterPictures(Sheetwin *window, const QString &handout, const QString &plan, const QDir &out)
{
    writeSetting(SettingKey::RemainOriginalSize, QStringLiteral("1"));
    writeSetting(SettingKey::FitToPageSize, QStringLiteral("0"));
    window->ui->comboBox_pagers_per_sheet->setCurrentText(QStringLiteral("Custom"));
    window->ui->lineEdit_pages_per_sheet_horizontal->setText(QStringLiteral("2"));
    window->ui->lineEdit_pages_per_sheet_vertical->setText(QStringLiteral("1"));
    for (QLineEdit *e : {window->ui->lineEdit_left, window->ui->lineEdit_right, window->ui->lineEdit_top,
                         window->ui->lineEdit_bottom, window->ui->lineEdit_x, window->ui->lineEdit_y})
        e->setText(QStringLiteral("0"));
    SheetsWindow *sheets = openSheets(window, handout);
    if (!sheets)
        return;
    sheets->resize(820, 720);
    sheets->ui->checkBox_Cut->setChecked(true);
    sheets->setCurrentSide(2);
    settle(sheets);
    sheets->grab().save(out.filePath(QStringLiteral("sheets-cut.png")));
    sheets->ui->checkBox_Cut->setChecked(false);

    // The same window follows the row chosen.
    sheets = openSheets(window, plan);
    if (!sheets)
        return;
    sheets->ui->comboBox_PosterSize->setCurrentText(QStringLiteral("3 x 2 sheets"));
    sheets->ui->checkBox_Overview->setChecked(true);
    sheets->ui->checkBox_Poster->setChecked(true);
    sheets->setCurrentSide(0);
    settle(sheets);
    sheets->grab().save(out.filePath(QStringLiteral("sheets-poster-overview.png")));
    sheets->setCurrentSide(5);
    settle(sheets);
    sheets->grab().save(out.filePath(QStringLiteral("sheets-poster.png")));
    sheets->ui->checkBox_Poster->setChecked(false);
    sheets->close();
}

// The main window with the samples dropped on it and a 3 by 2 layout.
void mainWindowPicture(Sheetwin *window, const QStringList &samples, const QDir &out)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &sample : samples)
        urls << QUrl::fromLocalFile(QFileInfo(sample).absoluteFilePath());
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(300, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &enter);
    QDropEvent drop(QPointF(300, 200), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window, &drop);
    window->ui->comboBox_pagers_per_sheet->setCurrentText(QStringLiteral("Custom"));
    window->ui->lineEdit_pages_per_sheet_horizontal->setText(QStringLiteral("3"));
    window->ui->lineEdit_pages_per_sheet_vertical->setText(QStringLiteral("2"));
    window->ui->lineEdit_x->setText(QStringLiteral("4"));
    window->ui->lineEdit_y->setText(QStringLiteral("4"));
    window->ui->lineEdit_left->setText(QStringLiteral("5"));
    window->ui->lineEdit_top->setText(QStringLiteral("5"));
    window->ui->tableWidget_Files->setItem(0, 2, new QTableWidgetItem(QStringLiteral("ok")));
    window->resize(900, 640);
    save(window, out.filePath(QStringLiteral("mainwindow.png")));

}

// The layout preview alone for a few layouts.
void previewPictures(Sheetwin *window, const QDir &out)
{
    struct PreviewCase { const char *file, *preset, *cols, *rows; QRadioButton *order; const char *margin, *gutter; };
    const PreviewCase cases[] = {
        {"preview-2x2-h.png", "2x2", "2", "2", window->ui->radioButton_horizontal, "0", "0"},
        {"preview-3x2-vr.png", "Custom", "3", "2", window->ui->radioButton_verticalreversed, "0", "0"},
        {"preview-margins-gutters.png", "2x2", "2", "2", window->ui->radioButton_horizontal, "10", "5"},
        {"preview-10x10.png", "Custom", "10", "10", window->ui->radioButton_horizontal, "0", "0"},
    };
    for (const PreviewCase &c : cases) {
        window->ui->comboBox_pagers_per_sheet->setCurrentText(QString::fromLatin1(c.preset));
        window->ui->lineEdit_pages_per_sheet_horizontal->setText(QString::fromLatin1(c.cols));
        window->ui->lineEdit_pages_per_sheet_vertical->setText(QString::fromLatin1(c.rows));
        c.order->click();
        for (QLineEdit *e : {window->ui->lineEdit_left, window->ui->lineEdit_right, window->ui->lineEdit_top,
                             window->ui->lineEdit_bottom})
            e->setText(QString::fromLatin1(c.margin));
        window->ui->lineEdit_x->setText(QString::fromLatin1(c.gutter));
        window->ui->lineEdit_y->setText(QString::fromLatin1(c.gutter));
        QApplication::processEvents();
        window->ui->frame_preview->grab().save(out.filePath(QString::fromLatin1(c.file)));
    }

}

void dialogPictures(const QDir &out)
{
    Setting setting;
    save(&setting, out.filePath(QStringLiteral("setting.png")));
    about box;
    save(&box, out.filePath(QStringLiteral("about.png")));

}

// A run of the real tool (found beside this program) in which the last file, `failing`, fails,
// with the reason's tool tip.
void runPicture(Sheetwin *window, const QString &failing, const QDir &out)
{
    window->addFilesFromCommandLine({failing});
    window->ui->comboBox_pagers_per_sheet->setCurrentText(QStringLiteral("2x2"));
    window->ui->radioButton_horizontal->click();
    QTemporaryDir results;
    window->ui->lineEdit_OutputPath->setText(results.path());
    window->On_Button_Start();
    while (g_bProcess)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    QTableWidget *table = window->ui->tableWidget_Files;
    const int last = table->rowCount() - 1;
    const QRect cell = table->visualItemRect(table->item(last, 0));
    QToolTip::showText(table->viewport()->mapToGlobal(cell.center()), table->item(last, 2)->toolTip(), table);
    QApplication::processEvents();
    QThread::msleep(300);
    QApplication::processEvents();
    // The whole screen area of the window, so that the tool tip shows too; a window
    // grab where the platform has no screen to grab from.
    const QRect area = window->frameGeometry();
    QPixmap shot = window->screen()->grabWindow(0, area.x(), area.y(), area.width(), area.height());
    if (shot.isNull() || shot.toImage().pixelColor(5, 5) == QColor(Qt::black))
        shot = window->grab();
    shot.save(out.filePath(QStringLiteral("run.png")));
}

int main(int argc, char *argv[])
{
    if (argc < 3) {
        fprintf(stderr, "usage: plyjoin-screenshots OUTDIR SAMPLE.pdf...\n");
        return 2;
    }
    QTemporaryDir appdata;
    qputenv("APPDATA", appdata.path().toLocal8Bit());
    QApplication app(argc, argv);
    drawWordsAsWritten();
    g_qStrSettingInfoFileName = GetSettingInfoFileName();
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QStringList samples = QCoreApplication::arguments().mid(2);
    auto option = [&samples](const char *name) {
        QString value;
        if (const qsizetype at = samples.indexOf(QLatin1String(name)); at >= 0 && at + 1 < samples.size()) {
            value = samples.at(at + 1);
            samples.remove(at, 2);
        }
        return value;
    };
    const QString failing = option("--fails");
    const QString document = option("--sheets");
    const QString handout = option("--cut");
    const QString plan = option("--poster");

    writeSetting(SettingKey::OutputFolder, QDir::toNativeSeparators(out.absolutePath()));
    auto *window = new Sheetwin;
    mainWindowPicture(window, samples, out);
    previewPictures(window, out);
    dialogPictures(out);
    if (!document.isEmpty())
        sheetsPictures(window, document, out);
    if (!handout.isEmpty() && !plan.isEmpty())
        cutAndPosterPictures(window, handout, plan, out);

    // A run of the real tool (found beside this program) in which the last file fails.
    if (!failing.isEmpty())
        runPicture(window, failing, out);
    window->close();
    return 0;
}

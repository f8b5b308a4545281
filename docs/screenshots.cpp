// Renders the README's pictures: the main window with files listed and a 3x2 preview, the
// previews of a few layouts, the page options dialog, the about box, and the window after a
// run in which the last file failed, with the reason on screen.
// usage: plyjoin-screenshots OUTDIR SAMPLE.pdf... [--fails LOCKED.pdf]
#include "about.h"
#include "app/sheetwin.h"
#include "setting.h"
#include "settings/settingsfile.h"
#include "ui_sheetwin.h"

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

int main(int argc, char *argv[])
{
    if (argc < 3) {
        fprintf(stderr, "usage: plyjoin-screenshots OUTDIR SAMPLE.pdf...\n");
        return 2;
    }
    QTemporaryDir appdata;
    qputenv("APPDATA", appdata.path().toLocal8Bit());
    QApplication app(argc, argv);
    g_qStrSettingInfoFileName = GetSettingInfoFileName();
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QStringList samples = QCoreApplication::arguments().mid(2);
    QString failing;
    if (const qsizetype at = samples.indexOf(QStringLiteral("--fails")); at >= 0 && at + 1 < samples.size()) {
        failing = samples.at(at + 1);
        samples.remove(at, 2);
    }

    writeSetting(SettingKey::OutputFolder, QDir::toNativeSeparators(out.absolutePath()));
    auto *window = new Sheetwin;
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

    // The preview alone for a few layouts.
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

    Setting setting;
    save(&setting, out.filePath(QStringLiteral("setting.png")));
    about box;
    save(&box, out.filePath(QStringLiteral("about.png")));
    setting.hide();
    box.hide();

    // A run of the real tool (found beside this program) in which the last file fails.
    if (!failing.isEmpty()) {
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
        const QRect cell = table->visualItemRect(table->item(last, 2));
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
    window->close();
    return 0;
}

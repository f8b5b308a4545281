// From a keystroke in a margin field to the new sheet on screen in the sheets window, with
// the real tool: the median and the worst of 20 keystrokes per document, 2x2 fitted to A4;
// then the peak memory of this process (the windows) and of the tool's (the largest of its
// runs: the whole document imposed 2x2).
// usage: bench_sheetswindow [DOCUMENT.pdf...]   (without documents: a generated one of 100 pages)
// The tool is taken from beside the application (bin/), as the program finds it.
#include "app/sheetwin.h"
#include "run/toolcontract.h"
#include "samplepdf.h"
#include "sheetswindow/sheetswindow.h"
#include "testenv.h"
#include "ui_sheetwin.h"

#include <QElapsedTimer>
#include <QProcess>

#include <poppler-qt6.h>

#include <memory>
#include <QMimeData>
#include <algorithm>

#ifndef Q_OS_WIN
#include <sys/resource.h>
#endif

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    TestEnv env;
    QStringList documents = app.arguments().mid(1);
    if (documents.isEmpty()) {
        documents << env.path(QStringLiteral("sample-100.pdf"));
        writeSamplePdf(documents.first().toStdString(), mixedSamplePages(100));
    }
    QFile::copy(QStringLiteral(PDFPLYJOIN_PATH), env.path(toolFileName()));
    QFile::setPermissions(env.path(toolFileName()), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QDir::setCurrent(env.dir->path());
    TestEnv::store("radioButton_remain_original_size", QStringLiteral("0"));
    TestEnv::store("radioButton_fit_to_page_size", QStringLiteral("1"));

    std::printf("| document | first sheet ms | median ms | worst ms | Poppler's render ms | window MB | tool MB |\n"
                "|---|---|---|---|---|---|---|\n");
    for (const QString &document : documents) {
        Sheetwin w;
        w.show();
        w.addFilesFromCommandLine({document});
        QElapsedTimer first;
        first.start();
        w.On_Button_Preview();
        SheetsWindow *sheets = nullptr;
        for (QWidget *top : QApplication::topLevelWidgets())
            if (top->objectName() == QLatin1String("SheetsWindow"))
                sheets = static_cast<SheetsWindow *>(top);
        int shown = 0;
        QObject::connect(sheets, &SheetsWindow::sideShown, [&shown] { ++shown; });
        auto waitShown = [&](int count) {
            QElapsedTimer t;
            t.start();
            while (shown < count && t.elapsed() < 60000)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        };
        waitShown(1);
        const double firstMs = double(first.nsecsElapsed()) / 1e6;
        w.ui->lineEdit_left->clear();
        std::vector<double> times;
        for (int i = 0; i < 20; ++i) {
            const int before = shown;
            QElapsedTimer t;
            t.start();
            QTest::keyClick(w.ui->lineEdit_left, i % 2 ? Qt::Key_Backspace : Qt::Key_5);
            waitShown(before + 1);
            times.push_back(double(t.nsecsElapsed()) / 1e6);
            QTest::qWait(50);  // as a typist would
        }
        std::sort(times.begin(), times.end());
        // The floor: Poppler alone rendering the sheet shown, at the size shown, in this process.
        const QImage shownImage = sheets->sideImage();
        QElapsedTimer render;
        render.start();
        const QString proof = env.path(QStringLiteral("floor.pdf"));
        QProcess tool;
        tool.start(env.path(toolFileName()), {QStringLiteral("-size"), QStringLiteral("Custom"), QStringLiteral("210"),
                                               QStringLiteral("mm"), QStringLiteral("297"), QStringLiteral("mm"),
                                               QStringLiteral("-sheets"), QStringLiteral("1"), QStringLiteral("--"), document, proof});
        tool.waitForFinished(60000);
        double floorMs = -1;
        if (std::unique_ptr<Poppler::Document> pdf = Poppler::Document::load(proof)) {
            std::unique_ptr<Poppler::Page> page = pdf->page(0);
            const double dpi = 72.0 * shownImage.width() / std::max(1.0, page->pageSizeF().width());
            render.restart();
            page->renderToImage(dpi, dpi);
            floorMs = double(render.nsecsElapsed()) / 1e6;
        }
        // The memory: this process (the windows, Poppler's renders) at its peak, beside the tool's
        // own peak imposing the whole document.
        QProcess whole;
        whole.start(env.path(toolFileName()), {QStringLiteral("-size"), QStringLiteral("A4"), QStringLiteral("-per"),
                                               QStringLiteral("2*2"), QStringLiteral("--"), document,
                                               env.path(QStringLiteral("whole.pdf"))});
        whole.waitForFinished(600000);
        long windowMb = -1, toolMb = -1;
#ifndef Q_OS_WIN
        rusage self{}, children{};
        getrusage(RUSAGE_SELF, &self);
        getrusage(RUSAGE_CHILDREN, &children);
        windowMb = self.ru_maxrss / 1024;
        toolMb = children.ru_maxrss / 1024;
#endif
        std::printf("| %s | %.0f | %.0f | %.0f | %.0f | %ld | %ld |\n", qPrintable(QFileInfo(document).fileName()),
                    firstMs, (times[9] + times[10]) / 2, times.back(), floorMs, windowMb, toolMb);
        std::fflush(stdout);
    }
    return 0;
}

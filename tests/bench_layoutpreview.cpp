// Cost of one preview rebuild through the real window: a keystroke at 10 by 10, and a
// change from the 2x2 preset to 5x5 and back (each change rebuilds three times: each grid
// edit, then the preset). Each iteration includes the event processing that follows.
// Run with -callgrind for instruction counts that do not depend on the machine's load.
#include "app/sheetwin.h"
#include "testenv.h"
#include "ui_sheetwin.h"

class BenchLayoutPreview : public QObject
{
    Q_OBJECT

private slots:
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void keystrokeAt10x10()
    {
        Sheetwin w;
        w.show();
        w.ui->comboBox_pagers_per_sheet->setCurrentText(QStringLiteral("Custom"));
        w.ui->lineEdit_pages_per_sheet_horizontal->setText(QStringLiteral("10"));
        w.ui->lineEdit_pages_per_sheet_vertical->setText(QStringLiteral("10"));
        w.ui->lineEdit_left->clear();
        int i = 0;
        QBENCHMARK {
            QTest::keyClick(w.ui->lineEdit_left, (i++ % 2) ? Qt::Key_Backspace : Qt::Key_1);
            QCoreApplication::processEvents();  // what the event loop does next: polish, paint
        }
        QCOMPARE(w.previewEdit.size(), 100);
    }

    void presetChangeTo5x5()
    {
        Sheetwin w;
        w.show();
        QComboBox *box = w.ui->comboBox_pagers_per_sheet;
        QBENCHMARK {
            box->setCurrentText(QStringLiteral("2x2"));
            box->setCurrentText(QStringLiteral("5x5"));
            QCoreApplication::processEvents();
        }
        QCOMPARE(w.previewEdit.size(), 25);
    }

private:
    std::unique_ptr<TestEnv> env;
};

QTEST_MAIN(BenchLayoutPreview)
#include "bench_layoutpreview.moc"

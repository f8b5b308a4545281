// A run: the tool started once per row of the file table, one at a time.
#include "app/sheetwin.h"
#include "settings/settingsfile.h"
#include "ui_sheetwin.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

QString Sheetwin::GetSetParameter()
{
    const SettingsFile file;
    return buildOptionsString(PageOptions::fromSettings(file), layoutValues());
}

void Sheetwin::setRunControlsEnabled(bool enabled)
{
    for (QWidget *w : {static_cast<QWidget *>(ui->toolButton_AddFile), static_cast<QWidget *>(ui->toolButton_Delete),
                       static_cast<QWidget *>(ui->toolButton_Clear), static_cast<QWidget *>(ui->toolButton_Setting),
                       static_cast<QWidget *>(ui->toolButton_About), static_cast<QWidget *>(ui->toolButton_Change),
                       static_cast<QWidget *>(ui->PusButton_Browse)})
        w->setEnabled(enabled);
    for (QAction *action : {fooAction, barAction, deloneAction, delallAction})
        action->setEnabled(enabled);
}

void Sheetwin::On_Button_Start()
{
    if (g_bProcess) {
        // Stop needs no check: a run must stop even if its folder has gone.
        KillProcess();
    } else {
        if (ui->tableWidget_Files->rowCount() == 0)
            return;
        if (!QFileInfo::exists(ui->lineEdit_OutputPath->text())) {
            warn(QStringLiteral("Please select a correct output folder!"));
            return;
        }
        iNowConvertIndex = 0;
        g_bProcess = true;
        if (!ExeCmd()) {
            KillProcess();
            return;
        }
    }
    DymicUpdateStartButtonIconText(g_bProcess);
    DymicUpdateOutputLineText(g_bProcess);
}

int Sheetwin::ExeCmd()
{
    setRunControlsEnabled(false);

    const QString tool = findTool(QDir::currentPath(), QCoreApplication::applicationDirPath());
    if (tool.isEmpty()) {
        warn(QStringLiteral("The tiling tool was not found. It was looked for at:\n")
             + toolCandidates(QDir::currentPath(), QCoreApplication::applicationDirPath()).join(QLatin1Char('\n')));
        return 0;
    }

    qPro = new QProcess;
    qPro->setProcessChannelMode(QProcess::SeparateChannels);
    // Standard error is never read; let it go to ours rather than fill a pipe.
    qPro->setStandardErrorFile(QProcess::nullDevice());

    strParameter = GetSetParameter();
    const QTableWidgetItem *nameItem = ui->tableWidget_Files->item(iNowConvertIndex, 0);
    const QString input = QDir::toNativeSeparators(nameItem ? nameItem->text() : QString());
    const QString output = freeOutputPath(ui->lineEdit_OutputPath->text(), input);
    // Shown for the user; the process gets the same words as a list, so names with quotes,
    // blanks or a leading dash reach the tool intact.
    ui->textEdit->setPlainText(commandLineText(tool, strParameter, input, output));

    const QString appdata = QString::fromLocal8Bit(qgetenv("APPDATA"));
    if (!appdata.isEmpty())
        removeFolder(QDir::toNativeSeparators(appdata + QStringLiteral("/skellzip")));

    m_toolOutput.reset();
    connect(qPro, &QProcess::finished, this, &Sheetwin::ExeEnd);
    connect(qPro, &QProcess::readyReadStandardOutput, this, &Sheetwin::echo);
    // A tool that cannot start sends no finished(); its row still ends, as a failure.
    connect(qPro, &QProcess::errorOccurred, this, &Sheetwin::onProcessError);
    qPro->start(tool, toolArguments(strParameter, input, output), QIODevice::ReadWrite);

    ui->progressBar->setMaximum(100);
    ui->progressBar->setValue(0);
    ui->tableWidget_Files->setCurrentCell(iNowConvertIndex, 0);
    return 1;
}

void Sheetwin::onProcessError(QProcess::ProcessError error)
{
    QPointer<QProcess> process = qobject_cast<QProcess *>(sender());
    if (error != QProcess::FailedToStart || !process || process != qPro)
        return;
    // Ended from the event loop, not from inside start().
    QMetaObject::invokeMethod(
        this, [this, process] {
            if (process && process == qPro)
                ExeEnd();
        },
        Qt::QueuedConnection);
}

void Sheetwin::echo()
{
    QProcess *process = qobject_cast<QProcess *>(sender());
    if (!process)
        process = qPro;
    if (!process || process != qPro)
        return;
    const QString chunk = QString::fromLatin1(process->readAllStandardOutput());
    const int progress = m_toolOutput.feed(chunk);
    if (m_toolOutput.succeeded())
        isexecuteok = 1;
    ui->textEdit->setPlainText(chunk);
    if (progress >= 0)
        ui->progressBar->setValue(progress);
}

int Sheetwin::ExeEnd()
{
    QProcess *process = qobject_cast<QProcess *>(sender());
    if (!process)
        process = qPro;
    if (process && process != qPro)
        return 0;  // a late signal of a process already handled
    if (process) {
        // Read what the tool wrote last, in case it arrived together with its end.
        const QString rest = QString::fromLatin1(process->readAllStandardOutput());
        if (!rest.isEmpty() && (m_toolOutput.feed(rest), m_toolOutput.succeeded()))
            isexecuteok = 1;
        process->disconnect(this);
        process->deleteLater();
        qPro = nullptr;
    }

    QTableWidget *table = ui->tableWidget_Files;
    if (iNowConvertIndex >= 0 && iNowConvertIndex < table->rowCount())
        table->setItem(iNowConvertIndex, 2,
                       new QTableWidgetItem(isexecuteok == 1 ? QStringLiteral("ok") : QStringLiteral("fail")));
    isexecuteok = 0;
    ++iNowConvertIndex;

    if (!g_bProcess)
        return 1;
    if (iNowConvertIndex >= table->rowCount() || !ExeCmd()) {
        KillProcess();
        DymicUpdateStartButtonIconText(g_bProcess);
        DymicUpdateOutputLineText(g_bProcess);
    }
    return 1;
}

void Sheetwin::KillProcess()
{
    g_bProcess = false;
    if (qPro) {
        QProcess *process = qPro;
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(30000);  // delivers finished() to ExeEnd
        }
        if (qPro == process) {
            // Never started, or its end was not delivered: end its row here.
            process->disconnect(this);
            ExeEnd();
        }
    }
    iNowConvertIndex = 0;
    ui->progressBar->setValue(0);
    DymicUpdateStartButtonIconText(false);
    DymicUpdateOutputLineText(false);
    setRunControlsEnabled(true);
}

void Sheetwin::removeFolder(const QString &folder)
{
    QDir dir(folder);
    if (!dir.exists())
        return;
    const QStringList files = dir.entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Unsorted);
    for (const QString &name : files) {
        const QString path = folder + QDir::separator() + name;
        if (QFileInfo(path).isDir())
            removeFolder(path);
        else
            QFile::remove(path);
    }
    const QStringList folders = dir.entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QString &name : folders) {
        const QString path = folder + QDir::separator() + name;
        if (QFileInfo(path).isSymLink()) {
            QFile::remove(path);  // never follow a link out of the work folder
            continue;
        }
        removeFolder(path);
        dir.rmdir(name);
    }
}

#include "run/runcontroller.h"

#include "settings/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

RunController::RunController(Planner planner, QObject *parent) : QObject(parent), m_planner(std::move(planner))
{
}

RunController::~RunController()
{
    stopAndWait();
}

bool RunController::start(int firstRow)
{
    if (m_running)
        return false;
    m_row = firstRow;
    m_running = true;
    m_stopping = false;
    emit runningChanged(true);
    if (startRow())
        return true;
    endRun();
    return false;
}

bool RunController::startRow()
{
    ToolJob job;
    if (!m_planner(m_row, job))
        return false;
    emptyFolder(workFolder());

    m_reader.reset();
    m_lastOutput.clear();
    auto *process = new ToolProcess(this);
    m_process = process;
    process->setGrace(m_grace);
    connect(process, &ToolProcess::said, this, &RunController::readOutput);
    connect(process, &ToolProcess::ended, this, [this, process](const ToolEnd &end) {
        if (process != m_process)  // a late signal of a process already handled
            return;
        const QStringList warnings = toolWarnings(end.errors);
        if (!warnings.isEmpty())
            emit rowWarned(m_row, warnings);
        finishRow(end.ok, end.reason);
    });
    emit rowStarted(m_row);
    process->run(job.program, job.arguments, QIODevice::ReadWrite);
    return true;
}

void RunController::readOutput(const QString &chunk)
{
    const int percent = m_reader.feed(chunk);
    m_lastOutput = chunk;
    emit toolOutput(chunk);
    if (percent >= 0)
        emit progressChanged(percent);
}

void RunController::finishRow(bool ok, const QString &reason)
{
    m_process->disconnect(this);
    m_process->deleteLater();
    m_process = nullptr;
    emit rowFinished(m_row, ok, reason);
    ++m_row;
    if (m_stopping || !startRow())
        endRun();
}

void RunController::endRun()
{
    const bool wasRunning = m_running;
    m_running = false;
    m_stopping = false;
    if (wasRunning)
        emit runningChanged(false);
}

void RunController::stop()
{
    if (!m_running || m_stopping)
        return;
    if (!m_process) {
        endRun();
        return;
    }
    m_stopping = true;
    m_process->askToEnd();
}

void RunController::stopAndWait()
{
    if (!m_process) {
        endRun();
        return;
    }
    ToolProcess *process = m_process;
    process->disconnect(this);
    m_process = nullptr;
    process->endAndWait();
    delete process;
    endRun();
}

QString workFolder()
{
    const QString appdata = appDataFolder();
    return appdata.isEmpty() ? QString() : QDir::toNativeSeparators(appdata + QStringLiteral("/skellzip"));
}

void emptyFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (folder.isEmpty() || info.isSymLink() || !info.isDir())
        return;
    QDir dir(folder);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        bool link = entry.isSymLink();
#if QT_VERSION >= QT_VERSION_CHECK(6, 4, 0)
        link = link || entry.isJunction();
#endif
        if (link || !entry.isDir()) {
            QFile::remove(entry.filePath());  // a link goes, what it points at stays
        } else {
            emptyFolder(entry.filePath());
            dir.rmdir(entry.fileName());
        }
    }
}

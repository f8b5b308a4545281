#include "run/runcontroller.h"

#include "settings/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

// The tool's standard error is kept up to this size: enough for any reason, bounded for a
// tool that warns about every object of a damaged file.
constexpr int kMaxErrorText = 64 * 1024;

} // namespace

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
    m_errors.clear();
    auto *process = new ToolProcess(this);
    m_process = process;
    process->setGrace(m_grace);
    connect(process, &QProcess::readyReadStandardOutput, this, &RunController::readOutput);
    connect(process, &QProcess::readyReadStandardError, this, &RunController::readErrors);
    connect(process, &QProcess::finished, this, [this, process](int exitCode, QProcess::ExitStatus status) {
        processFinished(process, status == QProcess::CrashExit, exitCode);
    });
    // A tool that cannot start sends no finished().
    connect(process, &ToolProcess::couldNotStart, this,
            [this, process](const QString &reason) { failedToStart(process, reason); });
    emit rowStarted(m_row);
    process->start(job.program, job.arguments, QIODevice::ReadWrite);
    return true;
}

void RunController::readOutput()
{
    if (!m_process)
        return;
    const QString chunk = QString::fromLatin1(m_process->readAllStandardOutput());
    if (chunk.isEmpty())
        return;
    const int percent = m_reader.feed(chunk);
    m_lastOutput = chunk;
    emit toolOutput(chunk);
    if (percent >= 0)
        emit progressChanged(percent);
}

void RunController::readErrors()
{
    if (!m_process)
        return;
    m_errors += QString::fromLocal8Bit(m_process->readAllStandardError());
    if (m_errors.size() > kMaxErrorText)
        m_errors = m_errors.right(kMaxErrorText);
}

void RunController::processFinished(QProcess *process, bool crashed, int exitCode)
{
    if (process != m_process)
        return;  // a late signal of a process already handled
    readOutput();
    readErrors();
    const bool ok = m_reader.succeeded();
    finishRow(ok, ok ? QString() : failureReason(m_errors, m_stopping, crashed, exitCode, QString()));
}

void RunController::failedToStart(QProcess *process, const QString &reason)
{
    if (process != m_process)
        return;
    finishRow(false, failureReason(QString(), false, false, 0, reason));
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

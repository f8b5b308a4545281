#include "widgets/desktopopen.h"

#include <QDesktopServices>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

void openPdfWithDesktop(const QString &path, QObject *context, const std::function<void(bool opened)> &done)
{
    const auto open = [path, done] { done(QDesktopServices::openUrl(QUrl::fromLocalFile(path))); };
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS)
    // The desktop's opener starts whether or not it will find a program, and says nothing
    // to us when it does not: its own query answers first.
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (!query.isEmpty()) {
        auto *process = new QProcess(context);
        QTimer::singleShot(5000, process, [process] { process->kill(); });
        QObject::connect(process, &QProcess::finished, context, [process, open, done](int code, QProcess::ExitStatus status) {
            process->deleteLater();
            if (status == QProcess::NormalExit && code == 0 && process->readAllStandardOutput().trimmed().isEmpty())
                done(false);
            else
                open();
        });
        QObject::connect(process, &QProcess::errorOccurred, context, [process, open](QProcess::ProcessError error) {
            if (error != QProcess::FailedToStart)
                return;
            process->deleteLater();
            open();
        });
        process->start(query, {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("application/pdf")});
        return;
    }
#endif
    QTimer::singleShot(0, context, open);
}

#include "app/sheetwin.h"
#include "settings/settingsfile.h"
#include "widgets/formfont.h"

#include <QApplication>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include "app/singleinstance.h"
#include "peer.h"
#include "userplaces.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTimer>
#include <unistd.h>
#endif

#include <cstdio>
#include <string>

namespace {

const char kLicence[] = "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>";

#ifndef Q_OS_WIN
bool printerRuns(const QString &runtime)
{
    const int fd = peer::connectToUsersSocket(userplaces::printerSocket(runtime.toStdString()), getuid());
    if (fd >= 0)
        ::close(fd);
    return fd >= 0;
}

// The user's printer "Tavrell PDF Plyjoin", started where it does not run (beside this
// program, else on PATH); the window says where it cannot be reached.
void startPrinter(Sheetwin *window, const QString &runtime, const QString &why)
{
    if (qEnvironmentVariableIsSet("PLYJOIN_NO_PRINTER"))
        return;
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("plyjoin-printer"));
    const QString printer = QFileInfo(beside).isExecutable() ? beside
                                                             : QStandardPaths::findExecutable(QStringLiteral("plyjoin-printer"));
    if (printer.isEmpty())
        return;
    const QString cannot = QObject::tr("The printer \"Tavrell PDF Plyjoin\" cannot be reached: %1. What applications print "
                                       "to it waits until it runs; it starts with this program, or with "
                                       "\"plyjoin-printer server\".");
    if (runtime.isEmpty()) {
        window->sayInPane(cannot.arg(why));
        return;
    }
    if (printerRuns(runtime))
        return;
    // Of its own: it keeps nothing of this program's (its output, its terminal) open.
    QProcess start;
    start.setProgram(printer);
    start.setArguments({QStringLiteral("server")});
    start.setStandardInputFile(QProcess::nullDevice());
    start.setStandardOutputFile(QProcess::nullDevice());
    start.setStandardErrorFile(QProcess::nullDevice());
    start.startDetached();
    auto *poll = new QTimer(window);
    auto *since = new QElapsedTimer;
    since->start();
    QObject::connect(poll, &QTimer::timeout, window, [=] {
        const bool runs = printerRuns(runtime);
        if (!runs && since->elapsed() < 10000)
            return;
        if (!runs)
            window->sayInPane(cannot.arg(QObject::tr("it did not start")));
        poll->deleteLater();
        delete since;
    });
    poll->start(200);
}
#endif

} // namespace

int main(int argc, char *argv[])
{
    // Answered before the window's toolkit starts, so that they need no display.
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") {
            break;
        } else if (arg == "--version") {
            std::printf("plyjoin %s\n%s\n", PLYJOIN_VERSION, kLicence);
            return 0;
        } else if (arg == "--help") {
            std::printf("Usage: plyjoin [FILE...]\n"
                        "Opens Tavrell PDF Plyjoin with the PDF files named on its command line listed.\n"
                        "What applications print to the printer \"Tavrell PDF Plyjoin\" is listed too.\n"
                        "  --help      this text\n"
                        "  --version   the version and the licence\n");
            return 0;
        }
    }
    chooseFontEngine();
    QApplication app(argc, argv);
    // Desktop shells match the window to its desktop entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.tavrell.Plyjoin"));
    drawWordsAsWritten();
    g_qStrSettingInfoFileName = GetSettingInfoFileName();
    QStringList files = QCoreApplication::arguments().mid(1);
    files.removeAll(QStringLiteral("--"));
    const bool forJobs = files.removeAll(QStringLiteral("--jobs")) > 0;
#ifndef Q_OS_WIN
    // Started by the printer for jobs while a program of this user's runs: they go to it.
    // Every other start opens a window of its own.
    std::string why;
    const QString runtime = QString::fromStdString(userplaces::runtimeFolder(true, &why));
    SingleInstance instance(runtime);
    if (forJobs && instance.handOverJobs())
        return 0;
#endif
    Sheetwin *window = new Sheetwin;
    window->addFilesFromCommandLine(files);
    window->showNormal();
#ifndef Q_OS_WIN
    instance.listen();
    QObject::connect(&instance, &SingleInstance::wordsReceived, window, [window](const QStringList &words) {
        if (words.contains(QStringLiteral("--jobs")))
            window->takePrintedJobs(true);
    });
    startPrinter(window, runtime, QString::fromStdString(why));
#endif
    window->takePrintedJobs(forJobs);
    return app.exec();
}

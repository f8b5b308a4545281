#include "app/sheetwin.h"
#include "settings/settingsfile.h"
#include "widgets/formfont.h"

#include <QApplication>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include "app/printerlink.h"
#include "app/singleinstance.h"
#include "userplaces.h"

#include <QDir>
#include <QStandardPaths>
#endif

#include <cstdio>
#include <string>

namespace {

const char kLicence[] = "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>";

#ifndef Q_OS_WIN
// The printer's program beside this one (as installed and as built), else on PATH.
QString printerProgram()
{
    const QString beside = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("plyjoin-printer"));
    return QFileInfo(beside).isExecutable() ? beside : QStandardPaths::findExecutable(QStringLiteral("plyjoin-printer"));
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
    std::vector<char *> args = withFontEngine(argc, argv);
    int count = int(args.size()) - 1;
    QApplication app(count, args.data());
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
    // The user's printer, started where it does not run; said in the window where it cannot be.
    PrinterLink printer(runtime, QString::fromStdString(why));
    QObject::connect(&printer, &PrinterLink::unreachable, window, &Sheetwin::sayInPane);
    if (!qEnvironmentVariableIsSet("PLYJOIN_NO_PRINTER") && !printerProgram().isEmpty())
        printer.start(printerProgram());
#endif
    window->takePrintedJobs(forJobs);
    return app.exec();
}

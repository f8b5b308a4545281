#include "app/sheetwin.h"
#include "settings/settingsfile.h"
#include "widgets/formfont.h"

#include <QApplication>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include "app/singleinstance.h"
#include "userplaces.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTcpSocket>
#endif

#include <cstdio>
#include <string>

namespace {

const char kLicence[] = "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>";

#ifndef Q_OS_WIN
// The printer that opens jobs here, where it is installed (on PATH) and not running yet.
void startPrinterApplication()
{
    if (qEnvironmentVariableIsSet("PLYJOIN_NO_PRINTER"))
        return;
    const QString printer = QStandardPaths::findExecutable(QStringLiteral("plyjoin-printer"));
    if (printer.isEmpty())
        return;
    QTcpSocket probe;
    probe.connectToHost(QStringLiteral("localhost"), quint16(userplaces::printerPort()));
    if (probe.waitForConnected(300))
        return;
    QProcess::startDetached(printer, {QStringLiteral("server")});
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
                        "Opens Tavrell PDF Plyjoin with the PDF files named listed.\n"
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
#ifndef Q_OS_WIN
    // One program a user: a second start hands its files (absolute, for the first program's
    // folder may be another) to the first.
    SingleInstance instance;
    {
        QStringList words;
        for (const QString &file : files)
            words << (file == QLatin1String("--jobs") ? file : QFileInfo(file).absoluteFilePath());
        if (instance.handedToAnother(words.isEmpty() ? QStringList{QStringLiteral("--raise")} : words))
            return 0;
    }
#endif
    files.removeAll(QStringLiteral("--jobs"));
    Sheetwin *window = new Sheetwin;
    window->addFilesFromCommandLine(files);
    window->showNormal();
#ifndef Q_OS_WIN
    QObject::connect(&instance, &SingleInstance::wordsReceived, window, [window](const QStringList &words) {
        for (const QString &word : words) {
            if (word == QLatin1String("--jobs"))
                window->takePrintedJobs();
            else if (word != QLatin1String("--raise"))
                window->addFilesFromCommandLine({word});
        }
        window->raise();
        window->activateWindow();
    });
    instance.listen();
    startPrinterApplication();
#endif
    window->takePrintedJobs();
    return app.exec();
}

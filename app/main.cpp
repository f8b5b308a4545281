#include "app/sheetwin.h"
#include "settings/settingsfile.h"

#include "widgets/formfont.h"

#include <QApplication>

#include <cstdio>
#include <string>

namespace {

const char kLicence[] = "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>";

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
#ifdef Q_OS_WIN
    // Windows' own font engine clips Tahoma's "f" to its advance (under Wine "off" reads
    // "ott"); FreeType, built into the program's Qt, draws every letter whole.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "windows:fontengine=freetype");
#endif
    QApplication app(argc, argv);
    // Desktop shells match the window to its desktop entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.tavrell.Plyjoin"));
    drawWordsAsWritten();
    g_qStrSettingInfoFileName = GetSettingInfoFileName();
    Sheetwin *window = new Sheetwin;
    QStringList files = QCoreApplication::arguments().mid(1);
    files.removeAll(QStringLiteral("--"));
    window->addFilesFromCommandLine(files);
    window->showNormal();
    return app.exec();
}

#include "app/sheetwin.h"
#include "settings/settingsfile.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    // Desktop shells match the window to its desktop entry and icon by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.tavrell.Plyjoin"));
    g_qStrSettingInfoFileName = GetSettingInfoFileName();
    Sheetwin *window = new Sheetwin;
    window->addFilesFromCommandLine(QCoreApplication::arguments().mid(1));
    window->showNormal();
    return app.exec();
}

#include "app/appfont.h"
#include "app/sheetwin.h"
#include "settings/settingsfile.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    useFormFont();
    g_qStrSettingInfoFileName = GetSettingInfoFileName();
    Sheetwin *window = new Sheetwin;
    window->showNormal();
    return app.exec();
}

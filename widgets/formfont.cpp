#include "widgets/formfont.h"

#include <algorithm>

#include <QApplication>
#include <QFontDatabase>
#include <QWidget>

namespace {

// The dialog font's size at the resolution the forms were drawn at (8.25 points at 96 dpi).
constexpr int kFormPixelSize = 11;

const char *const kWineFonts[] = {"/usr/share/wine/fonts/tahoma.ttf", "/usr/share/wine/fonts/tahomabd.ttf"};
// Tahoma first; then sans serifs no wider than it.
const char *const kFamilies[] = {"Tahoma", "Liberation Sans", "Arimo", "DejaVu Sans Condensed"};

QString formFamily()
{
    static const QString family = [] {
        if (!QFontDatabase::hasFamily(QStringLiteral("Tahoma"))) {
            for (const char *file : kWineFonts)
                QFontDatabase::addApplicationFont(QString::fromLatin1(file));
        }
        for (const char *name : kFamilies) {
            if (!QFontDatabase::hasFamily(QLatin1String(name)))
                continue;
            // The about box's text names the Windows fonts it was written with.
            for (const char *written : {"MS Shell Dlg 2", "SimSun", "Lucida Grande"})
                QFont::insertSubstitution(QLatin1String(written), QLatin1String(name));
            return QString::fromLatin1(name);
        }
        return QString();
    }();
    return family;
}

} // namespace

QFont formFont()
{
    QFont font = QApplication::font();
    const QString family = formFamily();
    if (!family.isEmpty())
        font.setFamilies({family});
    font.setPixelSize(kFormPixelSize);
    return font;
}

void drawWordsAsWritten()
{
    QFont font = QApplication::font();
#ifdef Q_OS_WIN
    // FreeType's font list (main.cpp) has no "MS Shell Dlg 2", the Windows dialog font's alias:
    // the fonts it stands for come next.
    font.setFamilies({font.family(), QStringLiteral("Tahoma"), QStringLiteral("Segoe UI"), QStringLiteral("Arial")});
#endif
    font.setStyleStrategy(QFont::StyleStrategy(font.styleStrategy() | QFont::PreferNoShaping));
    QApplication::setFont(font);
}

void useFormFont(QWidget *window)
{
    window->setFont(formFont());
}

std::vector<char *> withFontEngine(int argc, char *argv[])
{
    std::vector<char *> args(argv, argv + argc);
#ifdef Q_OS_WIN
    static char platform[] = "-platform", freetype[] = "windows:fontengine=freetype";
    const bool named = qEnvironmentVariableIsSet("QT_QPA_PLATFORM")
                       || std::any_of(args.begin(), args.end(), [](const char *a) { return qstrcmp(a, "-platform") == 0; });
    if (!named)
        args.insert(args.begin() + 1, {platform, freetype});
#endif
    args.push_back(nullptr);
    return args;
}

// The font of the windows whose widgets stand at fixed pixel rectangles: the main window,
// the page options and the about box. The rectangles were drawn for the 8-point Windows
// dialog font, Tahoma at 11 pixels, so these windows use Tahoma (on Linux Wine's
// metric-compatible Tahoma, from Debian's fonts-wine) at that pixel size, which keeps the
// texts in their rectangles at any screen resolution. Without it a narrow sans serif
// stands in. Other windows (file and colour dialogs, message boxes, menus) keep the
// desktop's font.
#pragma once

#include <QFont>

#include <vector>

class QWidget;

QFont formFont();
// Sets the form font on a window; its widgets inherit it, the windows it opens do not.
void useFormFont(QWidget *window);
// Words are drawn as written, letter by letter: no ligatures ("fi" drawn as one glyph, which
// Tahoma under Wine's font engine draws as "f" alone). Latin text needs no shaping; set once
// on the application's font, before any window.
void drawWordsAsWritten();

// The command line the application object is made with (to be kept while it lives, NUL
// after the last): on Windows it names the font engine that draws every letter whole
// (FreeType; Windows' own engine clips Tahoma's "f" to its advance under Wine), as a
// "-platform" of the application's own: the programs it starts (a PDF viewer, the file
// manager) do not inherit it. A platform named already (on the command line or in
// QT_QPA_PLATFORM) is kept.
std::vector<char *> withFontEngine(int argc, char *argv[]);

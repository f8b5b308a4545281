// The settings file: where it lies, every key with its default, and single-key access.
//
// Every value is stored as text in the group "SettingInfo" of one INI file. The path is
// computed once at start-up into g_qStrSettingInfoFileName; every reader and writer opens
// the file through it, reads or writes, and closes it again (nothing is cached).
#pragma once

#include "settings/sheetoptiontable.h"

#include <QByteArray>
#include <QString>

extern QString g_qStrSettingInfoFileName;

// The environment variable APPDATA, decoded the way the system encodes it; empty when unset.
// The settings file and the work folder both lie under it.
QString appDataFolder();

// Path of the settings file for the current environment (APPDATA, else ~/.config).
QString GetSettingInfoFileName();
// The same rule with the environment passed in: `appdata` is APPDATA's value and
// `configDir` the folder used when it is unset or empty.
QString settingInfoFileNameFor(const QString &appdata, const QString &configDir);

// Every key of the settings file with its default, the value a reader gets when the key is
// absent: X(name in the code, key in the file, default).
#define PLYJOIN_SETTINGS(X)                                                                 \
    /* Main window layout controls, in the order they are saved and loaded. */            \
    X(Horizontal, "radioButton_horizontal", "1")                                           \
    X(HorizontalReversed, "radioButton_horizontalreversed", "0")                           \
    X(Vertical, "radioButton_vertical", "0")                                               \
    X(VerticalReversed, "radioButton_verticalreversed", "0")                               \
    X(Left, "lineEdit_left", "0")                                                          \
    X(LeftUnit, "comboBox_left", "mm")                                                     \
    X(Right, "lineEdit_right", "0")                                                        \
    X(RightUnit, "comboBox_right", "mm")                                                   \
    X(Top, "lineEdit_top", "0")                                                            \
    X(TopUnit, "comboBox_top", "mm")                                                       \
    X(Bottom, "lineEdit_bottom", "0")                                                      \
    X(BottomUnit, "comboBox_bottom", "mm")                                                 \
    X(GutterX, "lineEdit_x", "0")                                                          \
    X(GutterXUnit, "comboBox_x", "mm")                                                     \
    X(GutterY, "lineEdit_y", "0")                                                          \
    X(GutterYUnit, "comboBox_y", "mm")                                                     \
    /* Deliberately not one of the preset items: a first run keeps the list's first. */   \
    X(PagesPerSheet, "comboBox_pagers_per_sheet", "2*2")                                   \
    X(Columns, "lineEdit_pages_per_sheet_horizontal", "2")                                 \
    X(Rows, "lineEdit_pages_per_sheet_vertical", "2")                                      \
    /* Page options dialog. */                                                             \
    X(RemainOriginalSize, "radioButton_remain_original_size", "1")                         \
    X(Scaling, "radioButton_scaling", "0")                                                 \
    X(ScalingPercent, "spinBox_scaling", "100")                                            \
    X(FitToPageSize, "radioButton_fit_to_page_size", "0")                                  \
    X(PageSize, "PageSizeCombo", "A4")                                                     \
    X(PageHeight, "lineEdit_Height", "297")                                                \
    X(PageHeightUnit, "comboBox_pagesize_height", "mm")                                    \
    X(PageWidth, "lineEdit_Width", "210")                                                  \
    X(PageWidthUnit, "comboBox_pagesize_width", "mm")                                      \
    X(AllPages, "radioButton_allpages", "1")                                               \
    X(OddPages, "radioButton_oddpages", "0")                                               \
    X(EvenPages, "radioButton_evem_pages", "0")                                            \
    X(PageList, "radioButton_pageno", "0")                                                 \
    X(PageListText, "lineEdit_pageno", "1-2")                                              \
    X(Rotate, "RotateCombo_rotate", "0 degree")                                            \
    X(ColorR, "colorR", "0")                                                               \
    X(ColorG, "colorG", "0")                                                               \
    X(ColorB, "colorB", "0")                                                               \
    X(AddLine, "radioButton_addcolor", "0")                                                \
    /* Remembered folders and the hand-edited custom page size. */                        \
    X(OutputFolder, "OutputFolder", "")                                                    \
    X(InputFolder, "InputFolder", "")                                                      \
    X(CustomWidth, "Width", "0")                                                           \
    X(CustomHeight, "Height", "0")                                                         \
    /* The sheets window's place and size on the screen (Qt's saved geometry, base64). */ \
    X(SheetsWindowGeometry, "SheetsWindowGeometry", "")                                   \
    /* The edge of booklets as an earlier version kept it: read where BothSides was never  */ \
    /* written. (The sheet options themselves are the rows of sheetoptiontable.h.)         */ \
    X(Duplex, "Duplex", "short edge")                                                      \
    /* Printers that lay their output face up, for two-sided printing by hand: "a;b". */  \
    X(FaceUpPrinters, "FaceUpPrinters", "")                                                \
    X(FaceDownPrinters, "FaceDownPrinters", "")                                            \
    /* The printer the sheets were last printed on (written once they are). */             \
    X(LastPrinter, "LastPrinter", "")

namespace SettingKey {
#define PLYJOIN_SETTING_KEY(name, key, value) inline constexpr const char *name = key;
PLYJOIN_SETTINGS(PLYJOIN_SETTING_KEY)
#undef PLYJOIN_SETTING_KEY
#define PLYJOIN_SHEET_OPTION_KEY(name, member, key, value, control, option, words) inline constexpr const char *name = key;
PLYJOIN_SHEET_OPTIONS(PLYJOIN_SHEET_OPTION_KEY)
#undef PLYJOIN_SHEET_OPTION_KEY
} // namespace SettingKey

// The six length controls of the main window, each a line edit with a unit box, in the
// order left, right, top, bottom, column gutter, row gutter.
struct LengthKeys
{
    const char *edit;
    const char *unit;
};
inline constexpr LengthKeys kLengthKeys[6] = {
    {SettingKey::Left, SettingKey::LeftUnit},       {SettingKey::Right, SettingKey::RightUnit},
    {SettingKey::Top, SettingKey::TopUnit},         {SettingKey::Bottom, SettingKey::BottomUnit},
    {SettingKey::GutterX, SettingKey::GutterXUnit}, {SettingKey::GutterY, SettingKey::GutterYUnit},
};

// Default of a key: the value a reader gets when the key is absent. Unknown keys give "".
QString settingDefault(const char *key);

// One open settings file; reads fall back to the key's default. Destroying it flushes.
class SettingsFile
{
public:
    SettingsFile();
    ~SettingsFile();
    SettingsFile(const SettingsFile &) = delete;
    SettingsFile &operator=(const SettingsFile &) = delete;

    QString read(const char *key) const;
    // Whether the file holds the key (else read() gives its default).
    bool contains(const char *key) const;
    void write(const char *key, const QString &value);

private:
    struct Impl;
    Impl *d;
};

// Convenience for operations that touch a single key.
QString readSetting(const char *key);
void writeSetting(const char *key, const QString &value);

// The settings file: where it lies, every key with its default, and single-key access.
//
// Every value is stored as text in the group "SettingInfo" of one INI file. The path is
// computed once at start-up into g_qStrSettingInfoFileName; every reader and writer opens
// the file through it, reads or writes, and closes it again (nothing is cached).
#pragma once

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

namespace SettingKey {
// Main window layout controls, in the order they are saved and loaded.
inline constexpr const char *Horizontal = "radioButton_horizontal";
inline constexpr const char *HorizontalReversed = "radioButton_horizontalreversed";
inline constexpr const char *Vertical = "radioButton_vertical";
inline constexpr const char *VerticalReversed = "radioButton_verticalreversed";
inline constexpr const char *PagesPerSheet = "comboBox_pagers_per_sheet";
inline constexpr const char *Columns = "lineEdit_pages_per_sheet_horizontal";
inline constexpr const char *Rows = "lineEdit_pages_per_sheet_vertical";
// Page options dialog.
inline constexpr const char *RemainOriginalSize = "radioButton_remain_original_size";
inline constexpr const char *Scaling = "radioButton_scaling";
inline constexpr const char *ScalingPercent = "spinBox_scaling";
inline constexpr const char *FitToPageSize = "radioButton_fit_to_page_size";
inline constexpr const char *PageSize = "PageSizeCombo";
inline constexpr const char *PageHeight = "lineEdit_Height";
inline constexpr const char *PageHeightUnit = "comboBox_pagesize_height";
inline constexpr const char *PageWidth = "lineEdit_Width";
inline constexpr const char *PageWidthUnit = "comboBox_pagesize_width";
inline constexpr const char *AllPages = "radioButton_allpages";
inline constexpr const char *OddPages = "radioButton_oddpages";
inline constexpr const char *EvenPages = "radioButton_evem_pages";
inline constexpr const char *PageList = "radioButton_pageno";
inline constexpr const char *PageListText = "lineEdit_pageno";
inline constexpr const char *Rotate = "RotateCombo_rotate";
inline constexpr const char *ColorR = "colorR";
inline constexpr const char *ColorG = "colorG";
inline constexpr const char *ColorB = "colorB";
inline constexpr const char *AddLine = "radioButton_addcolor";
// Remembered folders and the hand-edited custom page size.
inline constexpr const char *OutputFolder = "OutputFolder";
inline constexpr const char *InputFolder = "InputFolder";
inline constexpr const char *CustomWidth = "Width";
inline constexpr const char *CustomHeight = "Height";
} // namespace SettingKey

// The six length controls of the main window, each a line edit with a unit box, in the
// order left, right, top, bottom, column gutter, row gutter.
struct LengthKeys
{
    const char *edit;
    const char *unit;
};
inline constexpr LengthKeys kLengthKeys[6] = {
    {"lineEdit_left", "comboBox_left"},   {"lineEdit_right", "comboBox_right"},
    {"lineEdit_top", "comboBox_top"},     {"lineEdit_bottom", "comboBox_bottom"},
    {"lineEdit_x", "comboBox_x"},         {"lineEdit_y", "comboBox_y"},
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
    void write(const char *key, const QString &value);

private:
    struct Impl;
    Impl *d;
};

// Convenience for operations that touch a single key.
QString readSetting(const char *key);
void writeSetting(const char *key, const QString &value);

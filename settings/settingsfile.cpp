#include "settings/settingsfile.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <cstring>

QString g_qStrSettingInfoFileName;

namespace {

const char kFileName[] = "DIVAdedovuViduvuzoraSettingInfo.ini";

struct Default
{
    const char *key;
    const char *value;
};

// Every key the program reads, with the value used when it is absent.
constexpr Default kDefaults[] = {
    {SettingKey::Horizontal, "1"},
    {SettingKey::HorizontalReversed, "0"},
    {SettingKey::Vertical, "0"},
    {SettingKey::VerticalReversed, "0"},
    {"lineEdit_left", "0"},
    {"comboBox_left", "mm"},
    {"lineEdit_right", "0"},
    {"comboBox_right", "mm"},
    {"lineEdit_top", "0"},
    {"comboBox_top", "mm"},
    {"lineEdit_bottom", "0"},
    {"comboBox_bottom", "mm"},
    {"lineEdit_x", "0"},
    {"comboBox_x", "mm"},
    {"lineEdit_y", "0"},
    {"comboBox_y", "mm"},
    // Deliberately not one of the preset items: a first run keeps the list's own first item.
    {SettingKey::PagesPerSheet, "2*2"},
    {SettingKey::Columns, "2"},
    {SettingKey::Rows, "2"},

    {SettingKey::RemainOriginalSize, "1"},
    {SettingKey::Scaling, "0"},
    {SettingKey::ScalingPercent, "100"},
    {SettingKey::FitToPageSize, "0"},
    {SettingKey::PageSize, "A4"},
    {SettingKey::PageHeight, "297"},
    {SettingKey::PageHeightUnit, "mm"},
    {SettingKey::PageWidth, "210"},
    {SettingKey::PageWidthUnit, "mm"},
    {SettingKey::AllPages, "1"},
    {SettingKey::OddPages, "0"},
    {SettingKey::EvenPages, "0"},
    {SettingKey::PageList, "0"},
    {SettingKey::PageListText, "1-2"},
    {SettingKey::Rotate, "0 degree"},
    {SettingKey::ColorR, "0"},
    {SettingKey::ColorG, "0"},
    {SettingKey::ColorB, "0"},
    {SettingKey::AddLine, "0"},

    {SettingKey::OutputFolder, ""},
    {SettingKey::InputFolder, ""},
    {SettingKey::CustomWidth, "0"},
    {SettingKey::CustomHeight, "0"},
};

QString keyPath(const char *key)
{
    return QStringLiteral("/SettingInfo/") + QLatin1String(key);
}

} // namespace

QString appDataFolder()
{
    return qEnvironmentVariable("APPDATA");
}

QString settingInfoFileNameFor(const QString &appdata, const QString &configDir)
{
    if (appdata.isEmpty()) {
        // Without APPDATA the file would land in the root of the file system, which an
        // ordinary user cannot write; the user's configuration folder keeps the settings.
        return QDir(configDir).filePath(QLatin1String(kFileName));
    }
    const QString folder = QDir::toNativeSeparators(appdata);
    return QStringLiteral("%1/%2SettingInfo.ini").arg(folder, QStringLiteral("DIVAdedovuViduvuzora"));
}

QString GetSettingInfoFileName()
{
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        config = QDir::homePath();
    return settingInfoFileNameFor(appDataFolder(), config);
}

QString settingDefault(const char *key)
{
    for (const Default &d : kDefaults) {
        if (std::strcmp(d.key, key) == 0)
            return QString::fromLatin1(d.value);
    }
    Q_ASSERT_X(false, "settingDefault", key);
    return QString();
}

struct SettingsFile::Impl
{
    QSettings settings{g_qStrSettingInfoFileName, QSettings::IniFormat};
};

SettingsFile::SettingsFile() : d(new Impl) {}
SettingsFile::~SettingsFile() { delete d; }

QString SettingsFile::read(const char *key) const
{
    return d->settings.value(keyPath(key), settingDefault(key)).toString();
}

void SettingsFile::write(const char *key, const QString &value)
{
    d->settings.setValue(keyPath(key), value);
}

QString readSetting(const char *key)
{
    return SettingsFile().read(key);
}

void writeSetting(const char *key, const QString &value)
{
    SettingsFile().write(key, value);
}

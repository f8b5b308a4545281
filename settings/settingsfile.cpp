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

constexpr Default kDefaults[] = {
#define PLYJOIN_SETTING_DEFAULT(name, key, value) {key, value},
    PLYJOIN_SETTINGS(PLYJOIN_SETTING_DEFAULT)
#undef PLYJOIN_SETTING_DEFAULT
#define PLYJOIN_SHEET_OPTION_DEFAULT(name, member, key, value, control, option, words) {key, value},
    PLYJOIN_SHEET_OPTIONS(PLYJOIN_SHEET_OPTION_DEFAULT)
#undef PLYJOIN_SHEET_OPTION_DEFAULT
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

bool SettingsFile::contains(const char *key) const
{
    return d->settings.contains(keyPath(key));
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

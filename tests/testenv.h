// Shared test set-up: a fresh temporary APPDATA with its own settings file per test.
#pragma once

#include "settings/settingsfile.h"

#include <QAbstractButton>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>
#include <memory>

// Clicks a radio button on its indicator: a click elsewhere in its area (past the end of
// its text) does not reach it.
inline void clickRadio(QAbstractButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton, Qt::NoModifier, QPoint(6, button->height() / 2));
}

// Drops local files on a window, as a file manager does: the drag enters, then the drop.
inline void dropFiles(QWidget *window, const QStringList &paths)
{
    QMimeData data;
    QList<QUrl> urls;
    for (const QString &p : paths)
        urls << QUrl::fromLocalFile(p);
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &drop);
}

class TestEnv
{
public:
    TestEnv()
    {
        dir = std::make_unique<QTemporaryDir>();
        qputenv("APPDATA", dir->path().toLocal8Bit());
        g_qStrSettingInfoFileName = GetSettingInfoFileName();
    }
    ~TestEnv() { qunsetenv("APPDATA"); }

    QString path(const QString &name) const { return dir->filePath(name); }

    // Stores a key as the program would, in the group of the settings file.
    static void store(const char *key, const QString &value)
    {
        QSettings s(g_qStrSettingInfoFileName, QSettings::IniFormat);
        s.setValue(QStringLiteral("/SettingInfo/") + QLatin1String(key), value);
    }
    static QString stored(const char *key)
    {
        QSettings s(g_qStrSettingInfoFileName, QSettings::IniFormat);
        return s.value(QStringLiteral("/SettingInfo/") + QLatin1String(key), QStringLiteral("<absent>")).toString();
    }
    QByteArray fileBytes() const
    {
        QFile f(g_qStrSettingInfoFileName);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    std::unique_ptr<QTemporaryDir> dir;
};

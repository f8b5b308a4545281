#include "settings/settings.h"

#include "settings/sheetoptions.h"

Settings::Settings(QObject *parent) : QObject(parent) {}

QString Settings::text(const char *key) const
{
    return SettingsFile().read(key);
}

void Settings::setText(const char *key, const QString &value)
{
    {
        SettingsFile file;
        if (file.contains(key) && file.read(key) == value)
            return;
        file.write(key, value);
    }  // written to the disk here
    emit changed(QString::fromLatin1(key));
}

SheetChoices Settings::sheetChoices() const
{
    return readSheetChoices(SettingsFile());
}

void Settings::setSheetOption(const char *key, const QString &text)
{
    bool isOption = false;
    for (const char *option : sheetOptionKeys())
        isOption = isOption || qstrcmp(option, key) == 0;
    Q_ASSERT_X(isOption, "Settings::setSheetOption", key);
    if (!isOption)
        return;
    const SheetChoices before = sheetChoices();
    setText(key, text);
    const SheetChoices after = sheetChoices();
    if (after != before)
        emit sheetChoicesChanged(after);
}

QByteArray Settings::sheetsWindowGeometry() const
{
    return QByteArray::fromBase64(text(SettingKey::SheetsWindowGeometry).toLatin1());
}

void Settings::setSheetsWindowGeometry(const QByteArray &geometry)
{
    setText(SettingKey::SheetsWindowGeometry, QString::fromLatin1(geometry.toBase64()));
}

QString Settings::lastPrinter() const
{
    return text(SettingKey::LastPrinter);
}

void Settings::setLastPrinter(const QString &queue)
{
    if (!queue.isEmpty())
        setText(SettingKey::LastPrinter, queue);
}

QStringList Settings::printers(const char *key) const
{
    return text(key).split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

Settings::Face Settings::printerFace(const QString &printer) const
{
    if (printers(SettingKey::FaceUpPrinters).contains(printer))
        return Face::Up;
    if (printers(SettingKey::FaceDownPrinters).contains(printer))
        return Face::Down;
    return Face::Unknown;
}

void Settings::setPrinterFace(const QString &printer, bool faceUp)
{
    const char *key = faceUp ? SettingKey::FaceUpPrinters : SettingKey::FaceDownPrinters;
    QStringList listed = printers(key);
    if (!listed.contains(printer))
        setText(key, (listed << printer).join(QLatin1Char(';')));
}

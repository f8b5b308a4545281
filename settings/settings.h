// The settings file as the windows share it: one object, made by the main window and lent to
// the windows it opens, read through typed getters over the one key table (settingsfile.h,
// whose sheet options are the rows of sheetoptiontable.h) and written through its setters,
// which keep the file as it is kept (each value written at once) and say what changed, so that
// one window follows what another changed. Keys an older version kept are read in one step
// (sheetChoices).
#pragma once

#include "settings/settingsfile.h"
#include "sheetchoices.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

class Settings : public QObject
{
    Q_OBJECT

public:
    explicit Settings(QObject *parent = nullptr);

    // Any key of the table, as text; its default where the file does not hold it.
    QString text(const char *key) const;
    // Writes `value` under `key` where it differs from what is there, and says so.
    void setText(const char *key, const QString &value);

    // The sheet options as the person chose them (never what they imply).
    SheetChoices sheetChoices() const;
    // One sheet option as its control keeps it ("1", "short edge", "2.5").
    void setSheetOption(const char *key, const QString &text);

    // The sheets window's place on the screen (the toolkit's saved geometry).
    QByteArray sheetsWindowGeometry() const;
    void setSheetsWindowGeometry(const QByteArray &geometry);
    // The printer the sheets were printed on last; empty where none yet.
    QString lastPrinter() const;
    void setLastPrinter(const QString &queue);
    // Whether a printer lays its sheets face up, as the person said it does; unknown where
    // they never said.
    enum class Face { Unknown, Up, Down };
    Face printerFace(const QString &printer) const;
    void setPrinterFace(const QString &printer, bool faceUp);

signals:
    // A value was written; `key` as the table names it.
    void changed(const QString &key);
    // One of the sheet options was.
    void sheetChoicesChanged(const SheetChoices &choices);

private:
    QStringList printers(const char *key) const;
};

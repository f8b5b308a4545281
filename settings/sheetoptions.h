// The sheet options between the settings file and their typed value: each row of the sheet
// options' table (sheetoptiontable.h) names its key, its default text and the member of
// SheetChoices it holds; a value is read from its text and written back as the same text.
// The settings file keeps what the person chose, never what the choices imply.
#pragma once

#include "settings/sheetoptiontable.h"
#include "sheetchoices.h"

#include <QList>
#include <QString>

class SettingsFile;

// Every sheet option's key, in the table's order.
QList<const char *> sheetOptionKeys();
// The text of one option as the settings file and the window's control keep it ("1",
// "short edge", "2.5"); empty for a key that is no sheet option.
QString sheetOptionText(const SheetChoices &choices, const char *key);
// Sets one option from its text (a text that is no value of it reads as the default would).
void setSheetOptionText(SheetChoices &choices, const char *key, const QString &text);

// The choices stored in the settings file, old keys read where the new ones were never
// written (a booklet's edge kept as "Duplex" by an earlier version).
SheetChoices readSheetChoices(const SettingsFile &file);

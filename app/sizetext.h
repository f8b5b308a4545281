// Size texts of the file table's "File Size" column. Files added through the dialog and
// files dropped on the window are formatted differently; both divide by powers of ten.
#pragma once

#include <QString>

QString dialogSizeText(qint64 bytes);
QString dropSizeText(qint64 bytes);

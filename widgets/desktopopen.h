// Opening a file with the desktop's program for its type.
#pragma once

#include <QString>

// Opens the PDF `path` with the desktop's program for PDFs. False when there is none: no
// way to open files at all, or (where the desktop can be asked first) none for PDFs.
bool openPdfWithDesktop(const QString &path);

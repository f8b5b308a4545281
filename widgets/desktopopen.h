// Opening a file with the desktop's program for its type.
#pragma once

#include <QString>

#include <functional>

class QObject;

// Opens the PDF `path` with the desktop's program for PDFs, in the background: `done` is
// called from the event loop (while `context` lives) with false when there is none (no way
// to open files at all, or, where the desktop can be asked first, none for PDFs). The
// window that asks never waits for the desktop's answer.
void openPdfWithDesktop(const QString &path, QObject *context, const std::function<void(bool opened)> &done);

// A tool button of the main window's bar: its picture above its word.
#pragma once

#include <QString>

class QToolButton;

void setToolButton(QToolButton *button, const QString &text, const QString &image);

// The tool's words in the window's: a switch the tool names ("-l", "-booklet") becomes the
// control that gives it ("Left margin", "Booklet"), in the main window and the sheets window.
#pragma once

#include <QString>

#include <string>

// A reason of the tool in the window's words: the switch it names ("(after -l)") becomes
// the control that gives it ("(Left margin)"); the rest stays as the tool said it.
QString inWindowWords(const QString &reason);
// A rule's reason in the window's words: every switch it names becomes its control.
QString ruleInWindowWords(const std::string &reason);

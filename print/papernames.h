// A paper as people name it: "A4", "Letter", "Envelope #10" (or the name CUPS gives it in the
// user's language), else its size; never its PWG keyword ("na_number-10_4.125x9.5in").
#pragma once

#include <QString>

// `pwg`: the paper's PWG name; `localized`: what CUPS calls it in the user's language, used
// where it is a name and not only the size in figures.
QString paperName(const QString &pwg, const QString &localized = QString());

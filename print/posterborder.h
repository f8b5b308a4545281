// A poster printed on its sheets as they are: its margins, which hold the marks and the
// tiles' names, are made at least as wide as the printer's border on that paper, so that
// nothing of the poster falls where the printer cannot print.
#pragma once

#include "print/printplan.h"

#include <QString>
#include <QStringList>

// The tool's words that widen the margins of the poster that `options` (an options string,
// as for a run) make to the border of the paper chosen ("-l 12.5 pt", ...), each only where
// the border is wider; none where the options make no poster, or the sheets are not printed
// as they are.
QStringList posterBorderWords(const QString &options, const PaperChoice &choice);

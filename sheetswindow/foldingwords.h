// How a person folds the sheets of a booklet, in the sheets window's words: which way up to
// hold the first sheet (where page 1 lies on its front, as the tool lays it out), which sheet
// goes outside when several are folded together, each fold in turn, and which folds are cut
// open once the section is bound.
#pragma once

#include "sheetchoices.h"

#include <QString>

// Empty without a booklet. `brief`: the folds alone, in a line or two.
QString foldingInstruction(const SheetChoices &choices, bool brief = false);

// Where page 1 lies on the front of the first sheet, as the tool lays the booklet out: "the
// bottom right", "the right half"; and whether it is upright there.
QString whereThePageLies(const SheetChoices &choices, int page, bool *upright = nullptr);

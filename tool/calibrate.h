// A test sheet for measuring how a printer registers the back of a sheet on its front.
#pragma once

#include "options.h"

// Writes the two sides to options.output (safely, as the imposition does): the front has
// a cross at the sheet's centre, the back two rulers through its centre, numbered in
// millimetres in the back's own directions. Held against the light, the cross seen through
// the back meets the rulers at X and Y: `-backshift X Y mm` moves the backs onto the fronts.
// The sheet is A4 portrait, or the -size given. With -backshift the back is moved, and with
// -booklet turned where a booklet's backs are (-duplex), as the work's backs are: printed
// again with the measured shift, the cross meets the rulers at 0 and 0.
void writeCalibrationSheet(const Options &options);

// Geometry of the layout preview: the numbered cells of the grid inside the 200x200
// preview frame, computed from the layout controls' texts. One point of a margin or
// gutter is drawn as one pixel.
#pragma once

#include "run/optionsstring.h"

#include <QRect>
#include <QVector>

struct PreviewTile
{
    QRect rect;  // in the preview frame's coordinates; width or height may be 0 or negative
    int number;  // place in the filling order, from 1
};

// A length in points, or 0 when the text does not give a positive number.
float previewLengthPoints(const QString &text, const QString &unit);

// The tiles in numbering order; empty when no fill order is chosen.
QVector<PreviewTile> previewTiles(const LayoutValues &layout);

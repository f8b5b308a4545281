// Tab order as a person reads a form: within each group of controls, rows from the top and
// each row from the left (a value, then its unit).
#pragma once

#include <QList>
#include <QRect>

class QWidget;

// The reading order of rectangles, as indices: a rectangle whose middle lies within the
// height of a row's first rectangle joins that row; rows from the top, each from the left.
QList<int> readingOrder(const QList<QRect> &rects);

// Orders the Tab chain of every group (group box or frame) of `window` that holds two or more
// controls taken by Tab, in reading order; the groups keep their places in the chain.
void tabInReadingOrder(QWidget *window);

// Printing two-sided by hand: after the fronts, how to put the stack back for the backs, with
// a small picture of the stack turned over on the sheets' edge. Accepted: the backs go.
#pragma once

#include "print/printplan.h"

#include <QDialog>

class TurnStackDialog : public QDialog
{
    Q_OBJECT

public:
    TurnStackDialog(Sides edge, bool portrait, int sheets, bool lastWithoutBack, QWidget *parent = nullptr);
};

// The words of the dialog, for the person and for tests.
QString turnStackText(Sides edge, bool portrait, int sheets, bool lastWithoutBack);

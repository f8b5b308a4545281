// What every dialog of the program shares: a title bar with only a close control, a size
// fixed at the form's size, the font its form was drawn for and the tiled background image.
#pragma once

class QWidget;

void setUpFixedDialog(QWidget *dialog);

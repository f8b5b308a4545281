#include "dialogs/dialogframe.h"

#include "widgets/formfont.h"

#include <QPalette>
#include <QPixmap>
#include <QWidget>

void setUpFixedDialog(QWidget *dialog)
{
    useFormFont(dialog);
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    dialog->setFixedSize(dialog->size());
    QPalette pal = dialog->palette();
    pal.setBrush(QPalette::Window, QBrush(QPixmap(QStringLiteral(":/MyImage/Image/bg1.png"))
                                              .scaled(dialog->size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
    dialog->setPalette(pal);
}

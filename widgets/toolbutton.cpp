#include "widgets/toolbutton.h"

#include <QIcon>
#include <QPixmap>
#include <QToolButton>

void setToolButton(QToolButton *button, const QString &text, const QString &image)
{
    const QPixmap pixmap(image);
    button->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    button->setAutoRaise(true);
    button->setText(text);
    button->setIcon(QIcon(pixmap));
    button->setIconSize(pixmap.size());
}

// Controls as the settings file stores them: a radio button as "1" or "0", a combo box as
// the text of its current item, restored by that text.
#pragma once

#include <QAbstractButton>
#include <QComboBox>

inline QString checkedText(const QAbstractButton *button)
{
    return button->isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

// Makes the first item whose text equals `text` exactly the current one (which notifies
// only when the current item changes); no such item leaves the box as it is.
inline void selectItemByText(QComboBox *box, const QString &text)
{
    const int index = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        box->setCurrentIndex(index);
}

// Controls as the settings file stores them: a check box or radio button as "1" or "0", a
// line edit as its text, a combo box as the text of its current item (restored by that
// text), a spin box as its number.
#pragma once

#include <QAbstractButton>
#include <QComboBox>

#include <functional>

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

// The stored text of a control of any of the kinds above, and the control set from one: a
// button is checked by "1" only, a spin box takes the number the text reads as.
QString controlText(const QWidget *control);
void setControlText(QWidget *control, const QString &text);
// Calls `changed` whenever the stored text of the control may have changed (toggled, text
// edited or set, another item or value).
void onControlChanged(QWidget *control, QObject *context, const std::function<void()> &changed);

// Names for screen readers where the form gives a control none of its own (a label beside
// it that is not its buddy, a unit box): each control's accessible name, or for a combo box,
// whose name some desktops take from its value, its description as well.
struct SpokenName
{
    QWidget *control;
    const char *name;
};
void nameForScreenReaders(std::initializer_list<SpokenName> names);

#include "widgets/controltext.h"

#include <QLineEdit>
#include <QSpinBox>

QString controlText(const QWidget *control)
{
    if (const auto *button = qobject_cast<const QAbstractButton *>(control))
        return checkedText(button);
    if (const auto *edit = qobject_cast<const QLineEdit *>(control))
        return edit->text();
    if (const auto *box = qobject_cast<const QComboBox *>(control))
        return box->currentText();
    if (const auto *spin = qobject_cast<const QSpinBox *>(control))
        return QString::number(spin->value());
    return QString();
}

void setControlText(QWidget *control, const QString &text)
{
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        button->setChecked(text == QLatin1String("1"));
    else if (auto *edit = qobject_cast<QLineEdit *>(control))
        edit->setText(text);
    else if (auto *box = qobject_cast<QComboBox *>(control))
        selectItemByText(box, text);
    else if (auto *spin = qobject_cast<QSpinBox *>(control))
        spin->setValue(text.toInt());
}

void onControlChanged(QWidget *control, QObject *context, const std::function<void()> &changed)
{
    if (auto *button = qobject_cast<QAbstractButton *>(control))
        QObject::connect(button, &QAbstractButton::toggled, context, changed);
    else if (auto *edit = qobject_cast<QLineEdit *>(control))
        QObject::connect(edit, &QLineEdit::textChanged, context, changed);
    else if (auto *box = qobject_cast<QComboBox *>(control))
        QObject::connect(box, &QComboBox::currentTextChanged, context, changed);
    else if (auto *spin = qobject_cast<QSpinBox *>(control))
        QObject::connect(spin, &QSpinBox::valueChanged, context, changed);
}

void nameForScreenReaders(std::initializer_list<SpokenName> names)
{
    for (const SpokenName &n : names) {
        n.control->setAccessibleName(QString::fromUtf8(n.name));
        if (qobject_cast<QComboBox *>(n.control))
            n.control->setAccessibleDescription(QString::fromUtf8(n.name));
    }
}

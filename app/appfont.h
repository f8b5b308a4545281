// The forms place their widgets at fixed pixel positions made for an 8-point dialog font;
// larger desktop defaults would clip their texts.
#pragma once

#include <QApplication>
#include <QFont>

inline void useFormFont()
{
    QFont font = QApplication::font();
    if (font.pointSizeF() > 8)
        font.setPointSizeF(8);
    QApplication::setFont(font);
}

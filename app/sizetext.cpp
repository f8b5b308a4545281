#include "app/sizetext.h"

QString dialogSizeText(qint64 bytes)
{
    return QString::asprintf("%-11.3f KB", double(bytes) / 1000);
}

QString dropSizeText(qint64 bytes)
{
    QString text = bytes <= 1048576 ? QString::asprintf("%14.3f KB", double(bytes) / 1000)
                                    : QString::asprintf("%14.3f MB", double(bytes) / 1000000);
    return text.replace(QLatin1Char('.'), QLatin1Char(','));
}

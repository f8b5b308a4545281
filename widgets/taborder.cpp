#include "widgets/taborder.h"

#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QWidget>

#include <algorithm>
#include <numeric>

QList<int> readingOrder(const QList<QRect> &rects)
{
    QList<int> byTop(rects.size());
    std::iota(byTop.begin(), byTop.end(), 0);
    std::stable_sort(byTop.begin(), byTop.end(), [&](int a, int b) { return rects[a].center().y() < rects[b].center().y(); });
    QList<int> order;
    for (qsizetype i = 0; i < byTop.size();) {
        const QRect &first = rects[byTop[i]];
        qsizetype end = i + 1;
        while (end < byTop.size() && rects[byTop[end]].center().y() <= first.bottom())
            ++end;
        QList<int> row = byTop.mid(i, end - i);
        std::stable_sort(row.begin(), row.end(), [&](int a, int b) { return rects[a].left() < rects[b].left(); });
        order += row;
        i = end;
    }
    return order;
}

namespace {

// A control Tab stops at: not a part of another control (a spin box's or combo box's edit).
bool takesTab(const QWidget *w)
{
    const QWidget *parent = w->parentWidget();
    return (w->focusPolicy() & Qt::TabFocus) && !qobject_cast<const QAbstractSpinBox *>(parent)
           && !qobject_cast<const QComboBox *>(parent);
}

} // namespace

void tabInReadingOrder(QWidget *window)
{
    for (QWidget *group : window->findChildren<QWidget *>()) {
        if (!qobject_cast<QGroupBox *>(group) && (!qobject_cast<QFrame *>(group) || qobject_cast<QAbstractScrollArea *>(group)))
            continue;
        QList<QWidget *> controls;
        QList<QRect> rects;
        for (QWidget *w : group->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
            if (!takesTab(w))
                continue;
            controls << w;
            rects << w->geometry();
        }
        if (controls.size() < 2)
            continue;
        const QList<int> order = readingOrder(rects);
        for (qsizetype i = 1; i < order.size(); ++i)
            QWidget::setTabOrder(controls[order[i - 1]], controls[order[i]]);
    }
}

#include "sheetswindow/sheetview.h"

#include <QAbstractScrollArea>
#include <QKeyEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

namespace {

constexpr int kMargin = 12;  // grey round the sheet, so that its edge shows
const QColor kGround(128, 128, 128);

} // namespace

SheetView::SheetView(QWidget *parent) : QWidget(parent)
{
    setAutoFillBackground(false);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 160);
    setFocusPolicy(Qt::StrongFocus);  // so that a screen reader can be taken to it
}

void SheetView::setImage(const QImage &image)
{
    m_image = image;
    m_message.clear();
    m_dimmed = false;
    updateMinimum();
    update();
}

void SheetView::setActualSize(bool actual)
{
    m_actual = actual;
    updateMinimum();
}

void SheetView::updateMinimum()
{
    const QSize least(160, 160);
    if (!m_actual || m_image.isNull()) {
        setMinimumSize(least);
        return;
    }
    const QSize size = m_image.deviceIndependentSize().toSize() + QSize(2 * kMargin, 2 * kMargin);
    setMinimumSize(size.expandedTo(least));
}

void SheetView::setMessage(const QString &message)
{
    m_message = message;
    m_image = QImage();
    m_dimmed = false;
    updateMinimum();
    update();
}

void SheetView::setDimmed(bool dimmed)
{
    if (m_dimmed != dimmed) {
        m_dimmed = dimmed;
        update();
    }
}

QSizeF SheetView::room() const
{
    return QSizeF(std::max(1, width() - 2 * kMargin), std::max(1, height() - 2 * kMargin));
}

void SheetView::focusInEvent(QFocusEvent *event)
{
    QWidget::focusInEvent(event);
    update();
}

void SheetView::focusOutEvent(QFocusEvent *event)
{
    QWidget::focusOutEvent(event);
    update();
}

QAbstractScrollArea *SheetView::scrollArea() const
{
    QAbstractScrollArea *area = nullptr;
    for (QWidget *w = parentWidget(); w && !area; w = w->parentWidget())
        area = qobject_cast<QAbstractScrollArea *>(w);
    return area;
}

void SheetView::wheelEvent(QWheelEvent *event)
{
    const int delta = event->angleDelta().y();
    // At 100% the wheel scrolls the sheet first (the scroll area takes what is left here),
    // and moves on to the next sheet at its end, as viewers do.
    const QAbstractScrollArea *area = m_actual ? scrollArea() : nullptr;
    const QScrollBar *bar = area ? area->verticalScrollBar() : nullptr;
    if (delta == 0 || (bar && (delta < 0 ? bar->value() < bar->maximum() : bar->value() > bar->minimum()))) {
        event->ignore();
        return;
    }
    event->accept();
    m_wheel += delta;
    for (; m_wheel <= -120; m_wheel += 120)
        emit turnRequested(1);
    for (; m_wheel >= 120; m_wheel -= 120)
        emit turnRequested(-1);
}

void SheetView::keyPressEvent(QKeyEvent *event)
{
    // The arrows move a sheet larger than the window (at 100%) in it.
    QAbstractScrollArea *area = scrollArea();
    QScrollBar *bar = !area                                                               ? nullptr
                      : event->key() == Qt::Key_Left || event->key() == Qt::Key_Right ? area->horizontalScrollBar()
                      : event->key() == Qt::Key_Up || event->key() == Qt::Key_Down    ? area->verticalScrollBar()
                                                                                      : nullptr;
    if (!bar) {
        QWidget::keyPressEvent(event);
        return;
    }
    const bool back = event->key() == Qt::Key_Left || event->key() == Qt::Key_Up;
    bar->triggerAction(back ? QAbstractSlider::SliderSingleStepSub : QAbstractSlider::SliderSingleStepAdd);
}

void SheetView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    emit resized();
}

void SheetView::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.fillRect(rect(), kGround);
    if (hasFocus()) {  // in the grey round the sheet
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.drawRect(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
    if (!m_message.isEmpty()) {
        painter.setPen(Qt::white);
        painter.drawText(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin), Qt::AlignCenter | Qt::TextWordWrap,
                         m_message);
        return;
    }
    if (m_image.isNull())
        return;
    const QSizeF size = m_image.deviceIndependentSize();
    const QPointF at((width() - size.width()) / 2, (height() - size.height()) / 2);
    const QRectF sheet(at, size);
    // The sheet's edge: a thin dark line and a soft shadow below and to the right.
    painter.fillRect(sheet.translated(3, 3), QColor(0, 0, 0, 60));
    painter.setOpacity(m_dimmed ? 0.45 : 1.0);
    painter.drawImage(sheet, m_image);
    painter.setOpacity(1.0);
    painter.setPen(QColor(40, 40, 40));
    painter.drawRect(sheet.adjusted(-0.5, -0.5, 0.5, 0.5));
}

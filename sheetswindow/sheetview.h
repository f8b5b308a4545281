// Shows one sheet, whole, on a grey ground with its edge visible, or why there is none. A
// picture that is being replaced is shown dimmed.
#pragma once

#include <QImage>
#include <QWidget>

class SheetView : public QWidget
{
    Q_OBJECT

public:
    explicit SheetView(QWidget *parent = nullptr);

    void setImage(const QImage &image);
    void setMessage(const QString &message);
    void setDimmed(bool dimmed);
    // At 100% the sheet may be larger than the window: the view grows with it (and the
    // window scrolls); fitted, it takes the room it is given.
    void setActualSize(bool actual);
    const QImage &image() const { return m_image; }
    const QString &message() const { return m_message; }
    // The room a fitted sheet has, in logical pixels.
    QSizeF room() const;

signals:
    void resized();
    // The wheel asks for the next sheet (1) or the one before (-1).
    void turnRequested(int sides);

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void wheelEvent(QWheelEvent *event) override;

private:
    QImage m_image;
    QString m_message;
    bool m_dimmed = false;
    bool m_actual = false;
    void updateMinimum();
    class QAbstractScrollArea *scrollArea() const;
    int m_wheel = 0;  // eighths of a degree not yet turned into a sheet
};

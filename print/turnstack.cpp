#include "print/turnstack.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// A sheet with its first page, then the same sheet turned over about its long or short edge,
// with the turn drawn as an arrow round that edge.
class TurnPicture : public QWidget
{
public:
    TurnPicture(bool longEdge, bool portrait, QWidget *parent) : QWidget(parent), m_long(longEdge), m_portrait(portrait)
    {
        setMinimumSize(300, 170);
        setAccessibleName(QStringLiteral("How to turn the stack"));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QSizeF sheet = m_portrait ? QSizeF(70, 99) : QSizeF(99, 70);
        const QRectF before(QPointF(30, height() - sheet.height() - 10), sheet);
        const QRectF after(QPointF(width() - 30 - sheet.width(), before.top()), sheet);
        // The front, printed; the back, blank, about to take its page.
        p.setPen(QPen(Qt::black, 1.5));
        p.fillRect(before, Qt::white);
        p.drawRect(before);
        p.drawText(before, Qt::AlignCenter, QStringLiteral("1"));
        p.fillRect(after, QColor(235, 235, 235));
        p.drawRect(after);
        p.drawText(after, Qt::AlignCenter, QStringLiteral("2"));
        // The edge it turns about, thick, and the turn round it.
        const bool vertical = m_long == m_portrait;  // the edge runs up and down
        p.setPen(QPen(QColor(200, 80, 0), 4));
        if (vertical)
            p.drawLine(before.topRight(), before.bottomRight());
        else
            p.drawLine(before.bottomLeft(), before.bottomRight());
        QPainterPath turn;
        const QPointF from = vertical ? QPointF(before.center().x(), before.top() - 6)
                                      : QPointF(before.right() + 6, before.center().y());
        const QPointF to = QPointF(after.center().x(), after.top() - 6);
        turn.moveTo(from);
        turn.cubicTo(from + QPointF(40, -45), to + QPointF(-40, -45), to);
        p.setPen(QPen(QColor(200, 80, 0), 2));
        p.drawPath(turn);
        p.drawLine(to, to + QPointF(-8, -6));
        p.drawLine(to, to + QPointF(4, -9));
    }

private:
    bool m_long, m_portrait;
};

} // namespace

QString turnStackText(Sides edge, int sheets, bool lastWithoutBack)
{
    const bool longEdge = edge != Sides::ShortEdge;
    QString text = (sheets == 1 ? TurnStackDialog::tr("The fronts are printed (1 sheet).")
                                : TurnStackDialog::tr("The fronts are printed (%1 sheets).").arg(sheets))
                   + QLatin1Char('\n');
    text += longEdge ? TurnStackDialog::tr("Take the sheets out without changing their order, turn the stack over on "
                                           "its long edge, as a page of a book turns,")
                     : TurnStackDialog::tr("Take the sheets out without changing their order, turn the stack over on "
                                           "its short edge, as a page of a calendar turns,");
    text += QLatin1Char(' ') + TurnStackDialog::tr("and put it back into the paper tray the way the paper lay before.");
    if (lastWithoutBack)
        text += QLatin1Char('\n') + TurnStackDialog::tr("The last sheet has no back: a blank page takes its turn.");
    text += QLatin1Char('\n') + TurnStackDialog::tr("Then print the backs.");
    return text;
}

TurnStackDialog::TurnStackDialog(Sides edge, bool portrait, int sheets, bool lastWithoutBack, QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("TurnStackDialog"));
    setWindowTitle(tr("Turn the stack over"));
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(new TurnPicture(edge != Sides::ShortEdge, portrait, this));
    auto *words = new QLabel(turnStackText(edge, sheets, lastWithoutBack), this);
    words->setWordWrap(true);
    layout->addWidget(words);
    auto *buttons = new QDialogButtonBox(this);
    buttons->addButton(tr("Print the backs"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    resize(420, sizeHint().height());
}

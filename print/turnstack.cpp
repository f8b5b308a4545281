#include "print/turnstack.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

// A sheet with its first page, then the same sheet turned over: the edge that stays in place
// drawn thick, and the turn drawn round it, from the one decision the words come from.
class TurnPicture : public QWidget
{
public:
    TurnPicture(const StackTurn &turn, bool portrait, QWidget *parent) : QWidget(parent), m_turn(turn), m_portrait(portrait)
    {
        setObjectName(QStringLiteral("TurnPicture"));
        setMinimumSize(300, 170);
        setAccessibleName(QStringLiteral("How to turn the stack"));
        setAccessibleDescription(stackTurnWords(turn));
    }

protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.fillRect(rect(), palette().window());
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
        // The edge that stays in place, and the turn about it: over from the left to the
        // right, or from the top down.
        const QColor orange(200, 80, 0);
        p.setPen(QPen(orange, 4));
        QPainterPath turn;
        if (m_turn.hinge == StackTurn::RightEdge) {
            p.drawLine(before.topRight(), before.bottomRight());
            const QPointF from(before.left() + 8, before.top() - 6), to(after.center().x(), after.top() - 6);
            turn.moveTo(from);
            turn.cubicTo(from + QPointF(30, -45), to + QPointF(-30, -45), to);
        } else {
            p.drawLine(before.bottomLeft(), before.bottomRight());
            const QPointF from(before.right() + 6, before.top() + 8), to(after.left() - 6, after.bottom() - 8);
            turn.moveTo(from);
            turn.cubicTo(from + QPointF(45, -10), to + QPointF(-45, 10), to);
        }
        p.setPen(QPen(orange, 2));
        p.drawPath(turn);
        const QPointF tip = turn.pointAtPercent(1);
        const double angle = turn.angleAtPercent(1) * M_PI / 180;
        for (const double side : {-0.5, 0.5}) {
            const double a = angle + M_PI + side;
            p.drawLine(tip, tip + QPointF(9 * std::cos(a), -9 * std::sin(a)));
        }
    }

private:
    StackTurn m_turn;
    bool m_portrait;
};

} // namespace

QString turnStackText(Sides edge, bool portrait, int sheets, bool lastWithoutBack)
{
    QString text = (sheets == 1 ? TurnStackDialog::tr("The fronts are printed (1 sheet).")
                                : TurnStackDialog::tr("The fronts are printed (%1 sheets).").arg(sheets))
                   + QLatin1Char('\n');
    text += TurnStackDialog::tr("Take the printed stack out without changing its order, %1, and put it back into "
                                "the paper tray the way the paper lay before.")
                .arg(stackTurnWords(stackTurn(edge, portrait)));
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
    layout->addWidget(new TurnPicture(stackTurn(edge, portrait), portrait, this));
    auto *words = new QLabel(turnStackText(edge, portrait, sheets, lastWithoutBack), this);
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

#include "print/papertab.h"

#ifdef PLYJOIN_CUPS
#include "print/cupsqueue.h"
#endif

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <cmath>

namespace {

QString millimetres(const QSizeF &points)
{
    const auto mm = [](double v) { return QString::number(std::round(v * 254 / 72) / 10); };
    return QStringLiteral("%1 x %2 mm").arg(mm(points.width()), mm(points.height()));
}

} // namespace

PaperTab::PaperTab(const QSizeF &sheet, const QRectF &ink, bool twoSided, QWidget *parent)
    : QWidget(parent), m_sheet(sheet), m_ink(ink), m_twoSided(twoSided)
{
    setObjectName(QStringLiteral("PaperTab"));
    setWindowTitle(tr("Paper"));
    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    m_paper = new QComboBox(this);
    m_paper->setObjectName(QStringLiteral("comboBox_Paper"));
    m_paper->setAccessibleName(tr("Paper"));
    m_paper->setAccessibleDescription(tr("Paper"));
    form->addRow(tr("Paper"), m_paper);
    layout->addLayout(form);
    m_printable = new QCheckBox(tr("Fit to the printable area"), this);
    m_printable->setObjectName(QStringLiteral("checkBox_Printable"));
    layout->addWidget(m_printable);
    m_words = new QLabel(this);
    m_words->setObjectName(QStringLiteral("label_PaperSaid"));
    m_words->setWordWrap(true);
    m_words->setAccessibleName(tr("What the printer does with the sheets"));
    layout->addWidget(m_words);
    layout->addStretch();
    connect(m_paper, &QComboBox::currentIndexChanged, this, &PaperTab::update);
    connect(m_printable, &QCheckBox::toggled, this, &PaperTab::update);
}

void PaperTab::follow(const QString &name, QComboBox *printers)
{
    ask(name);
    if (printers)
        connect(printers, &QComboBox::currentTextChanged, this, &PaperTab::ask);
}

void PaperTab::ask(const QString &name)
{
#ifdef PLYJOIN_CUPS
    const PrinterAbilities a = askPrinter(name);
    m_maxCopies = a.maxCopies;
    setPrinter(name, a.papers, a.readyPapers, !a.known || a.twoSided, a.known ? QString() : a.error,
               !a.known || a.takesPdf);
#else
    setPrinter(name, {}, {}, true, QString());
#endif
}

void PaperTab::setPrinter(const QString &name, const QList<Paper> &papers, const QStringList &ready, bool printsBothSides,
                          const QString &error, bool takesPdf)
{
    m_takesPdf = takesPdf;
    Q_UNUSED(name);
    m_papers = papers;
    m_ready = ready;
    m_bothSides = printsBothSides;
    m_error = error;
    const QSignalBlocker quiet(m_paper);
    m_paper->clear();
    m_paper->addItem(tr("The paper in the printer"));
    for (const Paper &p : papers)
        m_paper->addItem(QStringLiteral("%1 (%2)").arg(p.words.isEmpty() ? p.name : p.words, millimetres(p.size)), p.name);
    update();
}

PaperChoice PaperTab::choice() const
{
    return choosePaper(m_sheet, m_papers, m_paper->currentData().toString(), m_printable->isChecked(), m_ready);
}

QString PaperTab::said() const
{
    return m_words->text();
}

void PaperTab::update()
{
    QStringList lines;
    lines << tr("The sheets are %1.").arg(millimetres(m_sheet));
    if (!m_error.isEmpty()) {
        lines << tr("What the printer can do is not known: %1").arg(m_error);
    } else {
        const PaperChoice c = choice();
        if (!c.found)
            lines << tr("The printer names no paper: the sheets are sent at their own size.");
        else if (c.asTheyAre)
            lines << tr("The printer has paper of their size: they are printed as they are.");
        else
            lines << tr("The printer has no paper of their size: they are %1.").arg(paperWords(c));
        const QString border = borderWords(m_ink, m_sheet, c);
        if (!border.isEmpty())
            lines << tr("Look out: %1. Fit to the printable area scales them into it.").arg(border);
        if (!m_takesPdf)
            lines << tr("The printer's queue takes no PDF: choose another printer, or Print to File.");
        if (m_twoSided && !m_bothSides)
            lines << tr("The printer does not print on both sides: the sheets are printed two-sided by hand.");
        else if (m_twoSided)
            lines << tr("The printer prints both sides itself: the sheets go two-sided, as they were made.");
    }
    m_words->setText(lines.join(QLatin1Char('\n')));
    m_words->setAccessibleDescription(m_words->text());
}

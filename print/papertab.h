// The print dialog's "Paper" tab: what the printer chosen can do with these sheets, said
// before anything is sent: the paper they are printed on and at what scale, where ink falls
// into its border (with "Fit to the printable area"), whether it prints both sides. It
// follows the printer chosen in the dialog, asking CUPS each time (where the program is built
// with CUPS).
#pragma once

#include "print/printplan.h"

#include <QRectF>
#include <QSizeF>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;

class PaperTab : public QWidget
{
    Q_OBJECT

public:
    // `sheet` in points; `ink`, where the sheet shown has ink (points from its top left).
    PaperTab(const QSizeF &sheet, const QRectF &ink, bool twoSided, QWidget *parent = nullptr);

    // Asks the printer `name` what it can do, and again whenever `printers` (the dialog's
    // list, where found) names another.
    void follow(const QString &name, QComboBox *printers);
    // Asks the printer `name` (the one chosen at last).
    void ask(const QString &name);
    bool printsBothSides() const { return m_bothSides; }
    // The copies the printer makes at a time; 0: not said.
    int maxCopies() const { return m_maxCopies; }
    // The printer chosen: its papers, and whether it prints both sides by itself.
    void setPrinter(const QString &name, const QList<Paper> &papers, const QStringList &ready, bool printsBothSides,
                    const QString &error, bool takesPdf = true);
    // The paper the sheets go on, as the tab shows it.
    PaperChoice choice() const;
    // What the tab says, for tests and screen readers.
    QString said() const;

private:
    void update();

    QSizeF m_sheet;
    QRectF m_ink;
    bool m_twoSided;
    QList<Paper> m_papers;
    QStringList m_ready;
    bool m_bothSides = true;
    bool m_takesPdf = true;
    int m_maxCopies = 0;
    QString m_error;
    QLabel *m_words;
    QComboBox *m_paper;
    QCheckBox *m_printable;
};

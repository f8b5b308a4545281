// Every text of the three windows is drawn letter for letter, as written, by the font engine
// the program starts with. Under Wine the Windows font engine clipped Tahoma's "f" and the
// letter after it went missing ("Fit" read "Ft"); ligatures would join letters the same way.
// Each text is drawn as a label draws it, through the engine's glyph images, and compared
// with its letters' own outlines, filled one by one at their advances: a pixel of a letter
// with no ink near it is a letter lost.
//
// This program starts as the application does (its font engine, then its font), on the real
// platform: on Windows the platform plugin under a display, never the offscreen one.
#include "app/sheetwin.h"
#include "setting.h"
#include "sheetswindow/sheetswindow.h"
#include "testenv.h"
#include "widgets/formfont.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QTabWidget>

namespace {

// The ink of a text drawn in black on white: how dark each pixel is, 0 to 255.
struct Ink
{
    QImage image;
    bool at(int x, int y, int level) const
    {
        return x >= 0 && y >= 0 && x < image.width() && y < image.height() && 255 - qGray(image.pixel(x, y)) >= level;
    }
};

QImage blank(const QFont &font, const QString &text)
{
    const QFontMetrics metrics(font);
    QImage image(metrics.horizontalAdvance(text) + 2 * metrics.height(), 2 * metrics.height(), QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

QPoint origin(const QFont &font) { return QPoint(QFontMetrics(font).height(), QFontMetrics(font).height() * 3 / 2); }

// As a label draws it.
Ink drawn(const QFont &font, const QString &text)
{
    QImage image = blank(font, text);
    QPainter painter(&image);
    painter.setFont(font);
    painter.setPen(Qt::black);
    painter.drawText(origin(font), text);
    return {image};
}

// Each letter's outline filled on its own, at the advance of the letters before it.
Ink written(const QFont &font, const QString &text)
{
    QImage image = blank(font, text);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics metrics(font);
    const QPoint at = origin(font);
    for (int i = 0; i < text.size(); ++i) {
        QPainterPath letter;
        letter.addText(at.x() + metrics.horizontalAdvance(text.left(i)), at.y(), font, text.mid(i, 1));
        painter.fillPath(letter, Qt::black);
    }
    return {image};
}

// The pixels solid in one with nothing within a pixel of them in the other; hinting moves a
// stem by a pixel at most.
int lostPixels(const Ink &from, const Ink &in)
{
    int lost = 0;
    for (int y = 0; y < from.image.height(); ++y)
        for (int x = 0; x < from.image.width(); ++x) {
            if (!from.at(x, y, 160))
                continue;
            bool near = false;
            for (int dy = -1; dy <= 1 && !near; ++dy)
                for (int dx = -1; dx <= 1 && !near; ++dx)
                    near = in.at(x + dx, y + dy, 40);
            lost += !near;
        }
    return lost;
}

// Where a letter drawn alone leaves ink, against the box its glyph says it fills (the font
// engine's own measure, hinted as it is drawn): a glyph image cut at its advance, or not drawn,
// falls short of its box.
QString shortOfItsBox(const QFont &font, QChar letter)
{
    const Ink ink = drawn(font, QString(letter));
    QRect inked;
    for (int y = 0; y < ink.image.height(); ++y)
        for (int x = 0; x < ink.image.width(); ++x)
            if (ink.at(x, y, 40))
                inked |= QRect(x, y, 1, 1);
    const QRect box = QFontMetrics(font).boundingRect(letter).translated(origin(font));
    if (inked.isEmpty())
        return QStringLiteral("'%1' not drawn").arg(letter);
    const int off = qMax(qMax(qAbs(inked.left() - box.left()), qAbs(inked.right() - box.right())),
                         qMax(qAbs(inked.top() - box.top()), qAbs(inked.bottom() - box.bottom())));
    if (off <= 1)
        return QString();
    return QStringLiteral("'%1' inked %2..%3 across, %4..%5 down, of its box's 0..%6 and 0..%7")
        .arg(letter)
        .arg(inked.left() - box.left())
        .arg(inked.right() - box.left())
        .arg(inked.top() - box.top())
        .arg(inked.bottom() - box.top())
        .arg(box.width() - 1)
        .arg(box.height() - 1);
}

QString plain(QString text) { return text.remove(QLatin1Char('&')).simplified(); }

// The texts a window shows, each with the font it is drawn in.
QList<QPair<QString, QFont>> textsOf(const QWidget *window)
{
    QList<QPair<QString, QFont>> texts;
    const auto add = [&](const QString &text, const QFont &font) {
        if (!plain(text).isEmpty())
            texts << qMakePair(plain(text), font);
    };
    for (const QLabel *label : window->findChildren<QLabel *>())
        if (!Qt::mightBeRichText(label->text()))
            add(label->text(), label->font());
    for (const QAbstractButton *button : window->findChildren<QAbstractButton *>())
        add(button->text(), button->font());
    for (const QGroupBox *group : window->findChildren<QGroupBox *>())
        add(group->title(), group->font());
    for (const QComboBox *box : window->findChildren<QComboBox *>())
        for (int i = 0; i < box->count(); ++i)
            add(box->itemText(i), box->font());
    for (const QTabWidget *tabs : window->findChildren<QTabWidget *>())
        for (int i = 0; i < tabs->count(); ++i)
            add(tabs->tabText(i), tabs->font());
    return texts;
}

} // namespace

class TestFormWords : public QObject
{
    Q_OBJECT

private slots:
    void theFontEngineIsTheApplicationsOwn();
    void init() { env = std::make_unique<TestEnv>(); }
    void cleanup() { env.reset(); }

    void platform();
    void lettersAsWritten_data();
    void lettersAsWritten();

private:
    std::unique_ptr<TestEnv> env;
};

void TestFormWords::platform()
{
#ifdef Q_OS_WIN
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("windows"));
#endif
}

void TestFormWords::lettersAsWritten_data()
{
    QTest::addColumn<QString>("window");
    QTest::newRow("main window") << "main";
    QTest::newRow("page options") << "options";
    QTest::newRow("sheets window") << "sheets";
    // Words the windows show later (a status, a value), in both fonts.
    QTest::newRow("texts with f") << "words";
}

void TestFormWords::lettersAsWritten()
{
    QFETCH(QString, window);
    std::unique_ptr<QWidget> shown;
    QList<QPair<QString, QFont>> texts;
    if (window == QLatin1String("main"))
        shown = std::make_unique<Sheetwin>();
    else if (window == QLatin1String("options"))
        shown = std::make_unique<Setting>();
    else if (window == QLatin1String("sheets"))
        shown = std::make_unique<SheetsWindow>();
    if (shown)
        texts = textsOf(shown.get());
    else
        for (const char *text : {"Fit: shrink only", "Turn pages to fit", "Both sides: off", "Offset", "ffi fl ff fj"})
            for (const QFont &font : {formFont(), QApplication::font()})
                texts << qMakePair(QString::fromLatin1(text), font);
    QVERIFY(texts.size() >= 4);

    QStringList wrong;
    QSet<QPair<QString, QChar>> letters;
    for (const auto &[text, font] : texts)
        for (QChar letter : text)
            if (!letter.isSpace() && !letters.contains({font.key(), letter})) {
                letters.insert({font.key(), letter});
                const QString fault = shortOfItsBox(font, letter);
                if (!fault.isEmpty())
                    wrong << QStringLiteral("%1 at %2 px").arg(fault).arg(QFontInfo(font).pixelSize());
            }
    for (const auto &[text, font] : texts) {
        const Ink asDrawn = drawn(font, text);
        const Ink asWritten = written(font, text);
        const int lost = lostPixels(asWritten, asDrawn);
        const int extra = lostPixels(asDrawn, asWritten);
        if (lost > 1 || extra > 1) {
            wrong << QStringLiteral("\"%1\" (%2 pixels of its letters not drawn, %3 drawn outside them)")
                         .arg(text)
                         .arg(lost)
                         .arg(extra);
            if (qEnvironmentVariableIsSet("PLYJOIN_WORDS_PICTURES")) {
                const QString stem = qEnvironmentVariable("PLYJOIN_WORDS_PICTURES") + QLatin1Char('/') + QString::number(wrong.size());
                asDrawn.image.scaled(asDrawn.image.size() * 6).save(stem + QStringLiteral("-drawn.png"));
                asWritten.image.scaled(asWritten.image.size() * 6).save(stem + QStringLiteral("-written.png"));
            }
        }
    }
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join(QStringLiteral("; "))));
}

// The font engine is named to the application alone: the programs the window starts (a PDF
// viewer, the file manager) find no platform of its in their environment.
void TestFormWords::theFontEngineIsTheApplicationsOwn()
{
#ifndef Q_OS_WIN
    QSKIP("the font engine is chosen on Windows");
#else
    QVERIFY(!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"));
    QCOMPARE(QGuiApplication::platformName(), QStringLiteral("windows"));
#endif
}

int main(int argc, char **argv)
{
    std::vector<char *> args = withFontEngine(argc, argv);
    int count = int(args.size()) - 1;
    QApplication app(count, args.data());
    drawWordsAsWritten();
    TestFormWords test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_formwords.moc"

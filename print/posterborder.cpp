#include "print/posterborder.h"

#include "options.h"

#include <QProcess>

QStringList posterBorderWords(const QString &options, const PaperChoice &choice)
{
    if (!choice.found || !choice.asTheyAre)
        return {};
    std::vector<std::string> args;
    for (const QString &word : QProcess::splitCommand(options))
        args.push_back(word.toStdString());
    args.insert(args.end(), {"--", "in.pdf", "out.pdf"});
    Options o;
    try {
        o = parseCommandLine(args).options;
    } catch (const UsageError &) {
        return {};
    }
    if (!o.poster.on)
        return {};
    // The paper's border as the sheet lies on it.
    const QMarginsF b = choice.paper.border;
    const QMarginsF border = choice.landscape ? QMarginsF(b.bottom(), b.left(), b.top(), b.right()) : b;
    QStringList words;
    const auto widen = [&words](const char *option, double given, double needed) {
        if (needed > given + 0.01)
            words << QString::fromLatin1(option) << QString::number(needed, 'f', 2) << QStringLiteral("pt");
    };
    widen("-l", o.margins.left, border.left());
    widen("-r", o.margins.right, border.right());
    widen("-t", o.margins.top, border.top());
    widen("-b", o.margins.bottom, border.bottom());
    return words;
}

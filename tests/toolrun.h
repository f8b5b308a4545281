// Running the real tool from a test, and reading a command line into its words.
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <functional>
#include <string>
#include <vector>

struct Run
{
    int exitCode = -1;
    QString out, err;
};

// `inChild` runs in the child before the tool starts (Unix only); `env` adds variables.
inline Run runTool(const QStringList &args, const std::function<void()> &inChild = {}, const QStringList &env = {})
{
    QProcess p;
    if (!env.isEmpty()) {
        QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
        for (const QString &kv : env)
            e.insert(kv.section(QLatin1Char('='), 0, 0), kv.section(QLatin1Char('='), 1));
        p.setProcessEnvironment(e);
    }
#ifdef Q_OS_UNIX
    if (inChild)
        p.setChildProcessModifier(inChild);
#else
    Q_UNUSED(inChild);
#endif
    p.start(QStringLiteral(PDFPLYJOIN_PATH), args);
    p.waitForFinished(120000);
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

// The words of a command line, as a shell would split it.
inline std::vector<std::string> words(const QString &line)
{
    std::vector<std::string> out;
    for (const QString &w : QProcess::splitCommand(line))
        out.push_back(w.toStdString());
    return out;
}

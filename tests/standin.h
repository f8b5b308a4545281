// A scripted stand-in for the tiling tool: it logs its arguments (one per line, then "---")
// to args.log in the working directory, then runs its input file as a shell script, so that
// each input says how the "tool" behaves for it.
#pragma once

#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QtTest>

// The stand-in is a shell script: where there is no POSIX shell, the tests that need it
// are skipped.
#ifdef Q_OS_WIN
#define REQUIRE_STAND_IN() QSKIP("the stand-in tool is a shell script")
#else
#define REQUIRE_STAND_IN() \
    do {               \
    } while (false)
#endif

inline bool installStandInTool(const QString &path, bool executable = true)
{
    static const char script[] = "#!/bin/sh\n"
                                 "for a in \"$@\"; do printf '%s\\n' \"$a\"; done >> args.log\n"
                                 "echo --- >> args.log\n"
                                 "eval in=\\${$(($# - 1))}\n"
                                 "exec sh \"$in\"\n";
    QFile tool(path);
    if (!tool.open(QIODevice::WriteOnly))
        return false;
    tool.write(script);
    tool.close();
    return tool.setPermissions(executable ? QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                          : QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

// The runs the stand-in logged in `folder`, each as its arguments joined by newlines.
inline QStringList standInRuns(const QString &folder)
{
    QFile log(QDir(folder).filePath(QStringLiteral("args.log")));
    if (!log.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(log.readAll()).split(QStringLiteral("---\n"), Qt::SkipEmptyParts);
}

#include "run/toolcontract.h"

#include "run/optionsstring.h"
#include "protocol.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>

#include <climits>
#include <cstring>


QString toolFileName()
{
#ifdef Q_OS_WIN
    return QStringLiteral("pdfplyjoin.exe");
#else
    return QStringLiteral("pdfplyjoin");
#endif
}

QStringList toolCandidates(const QString &workingDir, const QString &appDir)
{
    QStringList places{QDir::toNativeSeparators(workingDir + QLatin1Char('/') + toolFileName())};
    const QString besideApp = QDir::toNativeSeparators(appDir + QLatin1Char('/') + toolFileName());
    if (!appDir.isEmpty() && besideApp != places.first())
        places << besideApp;
    return places;
}

QString findTool(const QString &workingDir, const QString &appDir)
{
    for (const QString &path : toolCandidates(workingDir, appDir)) {
        const QFileInfo info(path);
        if (info.isFile() && info.size() > 0)
            return path;
    }
    return QString();
}

QString outputBaseName(const QString &inputPath)
{
    const QString native = QDir::toNativeSeparators(inputPath);
    QString name = native.mid(native.lastIndexOf(QDir::separator()) + 1);
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return name;
}

QString freeOutputPath(const QString &outputFolder, const QString &inputPath)
{
    const QString stem = outputFolder + QDir::separator() + outputBaseName(inputPath);
    QString candidate = stem + QStringLiteral(".pdf");
    for (qint64 n = 1; QFileInfo::exists(candidate); ++n)
        candidate = stem + QStringLiteral("%1.pdf").arg(n, 4, 10, QLatin1Char('0'));
    return candidate;
}

QString commandLineText(const QString &tool, const QString &options, const QString &input,
                        const QString &output)
{
    return QLatin1Char('"') + tool + QStringLiteral("\" ") + options + QStringLiteral(" \"") + input
           + QStringLiteral("\" \"") + output + QLatin1Char('"');
}

QStringList toolArguments(const QString &options, const QString &input, const QString &output)
{
    QStringList args = QProcess::splitCommand(options);
    args << QStringLiteral("--") << input << output;
    return args;
}

QStringList proofArguments(const QString &options, const QString &sheets, const QString &input,
                             const QString &output)
{
    QStringList args = QProcess::splitCommand(options);
    args << QStringLiteral("-sheets") << sheets << QStringLiteral("--") << input << output;
    return args;
}

QStringList calibrationArguments(const QString &options, const SheetChoices &sheet, const QString &output)
{
    // The sheet size of the run: "-size Custom W UNIT H UNIT" in the options string.
    const QStringList words = QProcess::splitCommand(options);
    QStringList args{QStringLiteral("-calibrate")};
    const int size = words.indexOf(QStringLiteral("-size"));
    if (size >= 0 && size + 5 < words.size())
        args << words.mid(size, 6);
    // The fold, the edge and the shift as the sheet options give them to the run.
    const QStringList mine = QProcess::splitCommand(sheetOptionsWords(sheet));
    if (mine.contains(QStringLiteral("-booklet")))
        args << QStringLiteral("-booklet");
    for (const char *option : {"-duplex", "-backshift"}) {
        const int at = mine.indexOf(QLatin1String(option));
        if (at >= 0)
            args << mine.mid(at, QLatin1String(option) == QLatin1String("-duplex") ? 2 : 4);
    }
    return args << QStringLiteral("--") << output;
}

int sheetCountIn(const QString &output)
{
    const long long count = protocol::readSides(output.toStdString()).sheets;
    return count >= 0 && count <= INT_MAX ? int(count) : -1;
}

QStringList sheetWordsIn(const QString &output)
{
    QStringList words;
    for (const std::string &w : protocol::readSides(output.toStdString()).shows)
        words << QString::fromStdString(w).trimmed();
    return words;
}

QList<QList<int>> sheetPagesIn(const QString &output)
{
    QList<QList<int>> sides;
    for (const std::vector<int> &pages : protocol::readSides(output.toStdString()).pages)
        sides << QList<int>(pages.begin(), pages.end());
    return sides;
}

int progressInChunk(const QString &chunk)
{
    const QLatin1String marker(protocol::kProgress);
    const int at = chunk.lastIndexOf(marker);
    if (at < 0)
        return -1;
    const int p = at + marker.size();
    auto digitAt = [&](int i) { return i < chunk.size() && chunk.at(i).isDigit(); };
    const int count = digitAt(p + 2) ? 3 : digitAt(p + 1) ? 2 : 1;
    return chunk.mid(p, count).toInt();
}

int ToolOutputReader::feed(const QString &chunk)
{
    const QString text = m_tail + chunk;
    if (text.contains(QLatin1String(protocol::kSuccess)))
        m_ok = true;
    const int keep = int(std::strlen(protocol::kSuccess)) - 1;
    m_tail = text.right(keep);
    return progressInChunk(chunk);
}

void ToolOutputReader::reset()
{
    m_tail.clear();
    m_ok = false;
}

QStringList toolWarnings(const QString &errorOutput)
{
    QStringList warnings;
    for (const std::string &w : protocol::readWarnings(errorOutput.toStdString()))
        warnings << QString::fromStdString(w);
    return warnings;
}

QString failureReason(const QString &errorOutput, bool stopped, bool crashed, int exitCode, const QString &startError)
{
    if (!startError.isEmpty())
        return QStringLiteral("The tiling tool could not be started: %1").arg(startError);
    if (stopped)
        return QStringLiteral("Stopped.");
    static const QLatin1String prefix("pdfplyjoin: ");
    static const QLatin1String warning("warning: ");
    QStringList errors, warnings;
    for (QString line : errorOutput.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        line = line.trimmed();
        if (line.startsWith(prefix))
            line = line.mid(prefix.size());
        if (line.isEmpty())
            continue;
        if (line.startsWith(warning))
            warnings << line;
        else
            errors << line;
    }
    if (!errors.isEmpty())
        return errors.join(QLatin1Char('\n'));
    if (crashed)
        return QStringLiteral("The tiling tool stopped unexpectedly.");
    const QString ended = exitCode != 0 ? QStringLiteral("The tiling tool failed (exit status %1).").arg(exitCode)
                                        : QStringLiteral("The tiling tool ended without reporting success.");
    return warnings.isEmpty() ? ended : ended + QLatin1Char('\n') + warnings.join(QLatin1Char('\n'));
}

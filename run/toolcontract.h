// What passes between the application and the tiling tool: where the tool lies, the
// output name, the command line, and what the tool's standard output means.
#pragma once

#include <QString>
#include <QStringList>

struct SheetChoices;

// File name of the tool on this platform.
QString toolFileName();

// The tool in `workingDir`, else beside the application in `appDir`; the first that is a
// file of positive size. Empty when neither is.
QString findTool(const QString &workingDir, const QString &appDir);
// The places findTool looks, for messages.
QStringList toolCandidates(const QString &workingDir, const QString &appDir);

// Base name of an input path: the name after the last separator, before its last ".".
QString outputBaseName(const QString &inputPath);
// folder + separator + base + ".pdf", or base + 0001, 0002 ... when that file exists.
QString freeOutputPath(const QString &outputFolder, const QString &inputPath);

// The command line shown for a run, with the options string embedded unchanged.
QString commandLineText(const QString &tool, const QString &options, const QString &input,
                        const QString &output);
// The same words as an argument list: the options split as the text would be, then "--"
// so that file names that begin with a dash stay file names, then input and output.
QStringList toolArguments(const QString &options, const QString &input, const QString &output);

// The words of a proof: the options, then "-sheets" and the sheets (as "3" or "2-4"),
// then "--", input and output.
QStringList proofArguments(const QString &options, const QString &sheets, const QString &input,
                             const QString &output);
// The number of sides a proof says the whole document makes ("sheets=500"); -1 when the
// output says none.
int sheetCountIn(const QString &output);
// The pages each side of a proof shows, side by side in the order made ("pages=12,1";
// a blank side says "pages="), as the document's page numbers from 1.
QList<QList<int>> sheetPagesIn(const QString &output);
// What each side made is, in the tool's words, where it is no sheet of pages ("shows=" lines:
// "cut from sheet 2, back", "Tile B3 of 12"); empty where the tool says nothing.
QStringList sheetWordsIn(const QString &output);

// The words that write the test sheet for measuring the back shift into `output`, for a
// run with this options string and these sheet options: its sheet size, edge and shift.
QStringList calibrationArguments(const QString &options, const SheetChoices &sheet, const QString &output);

// Follows the tool's standard output chunk by chunk.
class ToolOutputReader
{
public:
    // Reads one chunk. Returns the progress it shows (0..999), or -1 when it shows none.
    int feed(const QString &chunk);
    bool succeeded() const { return m_ok; }
    void reset();

private:
    QString m_tail;  // end of the previous chunk, for a success mark split across reads
    bool m_ok = false;
};

// Progress shown by one chunk: the number after the last progress mark, or -1.
int progressInChunk(const QString &chunk);

// Why a row failed, in the words shown to the user: what the tool said on its standard
// error (its own errors before its warnings), or why it could not say anything.
// `startError` is the system's reason when the tool could not be started at all.
QString failureReason(const QString &errorOutput, bool stopped, bool crashed, int exitCode,
                      const QString &startError);

// The tool's warnings on its standard error, each without "pdfplyjoin: warning: ".
QStringList toolWarnings(const QString &errorOutput);


#include "impose.h"

#include "cutshort.h"
#include "inputfile.h"
#include "output.h"
#include "pdfsheets.h"

#include <qpdf/BufferInputSource.hh>
#include <qpdf/Pl_Discard.hh>
#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>

namespace fs = std::filesystem;

namespace {

// Below this many objects, compressing all of them takes a few hundredths of a second.
constexpr size_t kSmallDocument = 10000;

// Object streams unless the input was written without them and is large: compressing tens
// of thousands of dictionaries would then cost more time than the whole imposition, and the
// output stays as compact as the input.
bool wantsObjectStreams(const std::map<QPDFObjGen, QPDFXRefEntry> &xref)
{
    if (xref.size() < kSmallDocument)
        return true;
    for (const auto &entry : xref) {
        if (entry.second.getType() == 2)
            return true;
    }
    return false;
}

// The run's percentages, stage by stage: each stage owns a stretch of the scale, sized by
// the share of the time it takes on large documents.
class Stages
{
public:
    explicit Stages(const ProgressFn &fn) : m_fn(fn) {}
    // A stage's progress from 0 to 1, mapped into percentages `from` to `to`.
    StageProgress stage(int from, int to) const
    {
        return [this, from, to](double done) { m_fn(from + int((to - from) * std::clamp(done, 0.0, 1.0))); };
    }
    void at(int percent) const { m_fn(percent); }

private:
    const ProgressFn &m_fn;
};

// Reports the writer's progress, and stops the writer as soon as the output has failed.
class WriterProgress : public QPDFWriter::ProgressReporter
{
public:
    WriterProgress(StageProgress fn, const OutputFile &output) : m_fn(std::move(fn)), m_output(output) {}
    void reportProgress(int percent) override
    {
        m_output.checkWritten();
        m_fn(percent / 100.0);
    }

private:
    StageProgress m_fn;
    const OutputFile &m_output;
};

void checkFiles(const Options &o)
{
    std::error_code ec;
    const fs::path input = fs::u8path(o.files.input), output = fs::u8path(o.files.output);
    if (!fs::is_regular_file(input, ec))
        throw ImposeError("cannot read " + o.files.input + ": no such file");
    if (fs::file_size(input, ec) == 0 && !ec)
        throw ImposeError(o.files.input + " is empty");
    if (fs::is_directory(output, ec))
        throw ImposeError("the output " + o.files.output + " is a folder");
    if (fs::exists(output, ec) && fs::equivalent(input, output, ec))
        throw ImposeError("the output " + o.files.output + " is the input file itself");
}

// A PDF file says so in its first kilobyte.
bool saysItIsPdf(const std::string &path)
{
    std::ifstream file(fs::u8path(path), std::ios::binary);
    std::string head(1024, '\0');
    file.read(head.data(), std::streamsize(head.size()));
    head.resize(size_t(file.gcount()));
    return head.find("%PDF-") != std::string::npos;
}

// What qpdf noticed while reading a damaged file (often one warning for each object it
// repaired, hundreds of them), summed up in one line: each kind once, with how often.
class QpdfWarnings
{
public:
    void take(QPDF &pdf)
    {
        for (const QPDFExc &w : pdf.getWarnings()) {
            const std::string detail = w.getMessageDetail().empty() ? w.what() : w.getMessageDetail();
            if (w.getErrorCode() == qpdf_e_system && m_readError.empty())
                m_readError = detail;
            auto it = std::find_if(m_kinds.begin(), m_kinds.end(), [&](const auto &k) { return k.first == detail; });
            if (it == m_kinds.end())
                m_kinds.emplace_back(detail, 1);
            else
                ++it->second;
            ++m_count;
        }
    }
    // The line, once: "IN: qpdf warned of can't find startxref; expected endstream (12 times)".
    void say(const std::string &input, const WarnFn &warn)
    {
        if (m_count == 0)
            return;
        std::string line = input + ": qpdf warned of ";
        const size_t shown = std::min<size_t>(m_kinds.size(), 6);
        for (size_t i = 0; i < shown; ++i) {
            line += (i ? "; " : "") + m_kinds[i].first;
            if (m_kinds[i].second > 1)
                line += " (" + std::to_string(m_kinds[i].second) + " times)";
        }
        if (m_kinds.size() > shown)
            line += "; and " + std::to_string(m_kinds.size() - shown) + " more kinds";
        warn(line + " (" + std::to_string(m_count) + (m_count == 1 ? " warning)" : " warnings in all)"));
        m_kinds.clear();
        m_count = 0;
    }

    // The system's words for a read that failed (qpdf reads on past it, as past damage), or
    // nothing.
    const std::string &readError() const { return m_readError; }

private:
    std::vector<std::pair<std::string, size_t>> m_kinds;
    size_t m_count = 0;
    std::string m_readError;
};

// A disk's read error is no damage to mend: nothing is made of what was read before it.
void refuseReadError(const Options &o, const QpdfWarnings &said)
{
    if (!said.readError().empty())
        throw ImposeError("cannot read " + o.files.input + ": " + said.readError());
}

// Page numbers from 1 as a person reads them: "page 31", "pages 38-76", "pages 2, 5-9 and 12".
std::string pageList(const std::vector<int> &indexes)
{
    std::vector<std::string> runs;
    for (size_t i = 0; i < indexes.size();) {
        size_t j = i;
        while (j + 1 < indexes.size() && indexes[j + 1] == indexes[j] + 1)
            ++j;
        runs.push_back(std::to_string(indexes[i] + 1) + (j > i ? "-" + std::to_string(indexes[j] + 1) : ""));
        i = j + 1;
    }
    std::string text = indexes.size() == 1 ? "page " : "pages ";
    for (size_t i = 0; i < runs.size(); ++i)
        text += (i == 0 ? "" : i + 1 == runs.size() ? " and " : ", ") + runs[i];
    return text;
}

// A damaged document's pages whose drawing was lost: said once, by number; where no page can
// be read, the file is refused rather than imposed as blank sheets.
void sayUnreadablePages(QPDF &pdf, const Options &o, PagesRead &read, const WarnFn &warn)
{
    const std::vector<int> blank = unreadablePages(pdf, read);
    if (blank.empty())
        return;
    if (blank.size() == read.size())
        throw ImposeError("no page of " + o.files.input + " could be read: the content of every page is lost");
    warn(o.files.input + ": " + pageList(blank) + (blank.size() == 1 ? " had" : " had")
         + " no readable content and " + (blank.size() == 1 ? "is" : "are") + " blank");
}

// The pages qpdf finds in a document, or 0 where its page tree cannot be walked.
size_t pagesIn(QPDF &pdf)
{
    try {
        return QPDFPageDocumentHelper(pdf).getAllPages().size();
    } catch (const std::exception &) {
        return 0;
    }
}

// A file cut short, opened with a trailer of its own: the way that finds the most pages (its
// own catalog first). Null where no page is found.
std::unique_ptr<QPDF> openCutShort(const Options &o, const WarnFn &warn)
{
    std::ifstream file(fs::u8path(o.files.input), std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    const CutShort cut = mendCutShort(bytes);
    std::unique_ptr<QPDF> best;
    size_t most = 0;
    for (const std::string &mended : cut.mended) {
        auto pdf = std::make_unique<QPDF>();
        pdf->setSuppressWarnings(true);
        try {
            pdf->processInputSource(std::make_shared<BufferInputSource>(o.files.input, mended));
        } catch (const std::exception &) {
            continue;
        }
        const size_t pages = pagesIn(*pdf);
        if (pages > most) {
            most = pages;
            best = std::move(pdf);
        }
        if (most >= cut.pageObjects)
            break;
    }
    if (best) {
        QPDFObjectHandle count = best->getRoot().getKey("/Pages").getKey("/Count");
        const long long whole = count.isInteger() ? count.getIntValue() : 0;
        warn(o.files.input + " is cut short (its end, with the trailer, is missing): " + std::to_string(most)
             + (most == 1 ? " page was" : " pages were") + " found"
             + (whole > 0 && size_t(whole) > most ? ", " + std::to_string(size_t(whole) - most) + " of its "
                                                          + std::to_string(whole) + " pages are lost"
                                                    : std::string())
             + "; pages whose drawing was cut are imposed as far as it was read");
    }
    return best;
}

// Opens the input; `damaged` tells whether qpdf had to repair what it read.
std::unique_ptr<QPDF> openInput(const Options &o, const WarnFn &warn, QpdfWarnings &said, bool &damaged)
{
    auto pdf = std::make_unique<QPDF>();
    pdf->setSuppressWarnings(true);
    try {
        pdf->processInputSource(std::make_shared<InputFile>(o.files.input));
    } catch (QPDFExc &e) {
        if (e.getErrorCode() == qpdf_e_password)
            throw ImposeError(o.files.input + " is encrypted and needs a password");
        if (e.getErrorCode() == qpdf_e_system)
            throw ImposeError("cannot read " + o.files.input + ": " + e.getMessageDetail());
        if (!saysItIsPdf(o.files.input))
            throw ImposeError(o.files.input + " is not a PDF file (" + e.getMessageDetail() + ")");
        said.take(*pdf);
        if (std::unique_ptr<QPDF> mended = openCutShort(o, warn)) {
            damaged = true;
            said.take(*mended);
            return mended;
        }
        throw ImposeError("cannot read " + o.files.input + ": " + e.getMessageDetail());
    }
    damaged = pdf->anyWarnings();
    said.take(*pdf);
    refuseReadError(o, said);
    return pdf;
}

// Collects the bytes the writer writes.
class Collect : public Pipeline
{
public:
    Collect() : Pipeline("written", nullptr) {}
    void write(unsigned char const *data, size_t len) override { bytes.append(reinterpret_cast<const char *>(data), len); }
    void finish() override {}
    std::string bytes;
};

// Why a written file cannot be read back as `sheets` sheets whose own drawings can be read,
// or nothing when it can: the check for files made from damaged or encrypted input. What
// qpdf only warns about (a name with a stray "#" that the input had too) does not make a file
// unreadable; a sheet missing, or a drawing that does not parse or decode, does.
std::string unreadable(const std::string &name, const std::string &bytes, size_t sheets)
{
    try {
        QPDF check;
        check.setSuppressWarnings(true);
        check.processMemoryFile(name.c_str(), bytes.data(), bytes.size());
        std::vector<QPDFPageObjectHelper> pages = QPDFPageDocumentHelper(check).getAllPages();
        if (pages.size() != sheets)
            return "it has " + std::to_string(pages.size()) + " of its " + std::to_string(sheets) + " sheets";
        Pl_Discard discard;
        for (size_t i = 0; i < pages.size(); ++i) {
            // The sheet's own drawing (the pages' drawings are as readable as they were).
            for (QPDFObjectHandle stream : pages[i].getPageContents()) {
                const size_t warned = check.numWarnings();
                if (!stream.pipeStreamData(&discard, 0, qpdf_dl_generalized) || check.numWarnings() > warned)
                    return "the drawing of its sheet " + std::to_string(i + 1) + " cannot be read";
            }
        }
    } catch (const std::exception &e) {
        return e.what();
    }
    return std::string();
}

// Reads every object of the file. qpdf parses objects when they are first used, and the
// first new object makes it parse all the rest at once; done here, the parse reports its
// progress.
void readAllObjects(QPDF &pdf, const std::map<QPDFObjGen, QPDFXRefEntry> &xref, const StageProgress &progress)
{
    const size_t step = std::max<size_t>(xref.size() / 100, 1);
    size_t done = 0;
    for (const auto &entry : xref) {
        pdf.getObject(entry.first).getTypeCode();
        if (++done % step == 0)
            progress(double(done) / double(xref.size()));
    }
    pdf.getObjectCount();  // whatever the loop could not reach, such as after a repaired table
    progress(1);
}

// One attempt: the sheets made in the document itself, or in a new one that holds copies of
// the pages, and written; a file made from what had to be repaired, or encrypted again, is read
// back before it takes its name.
SheetsMade makeAndWrite(QPDF &pdf, const Options &o, MadeIn where, bool damaged, OutputFile &output,
                        const std::map<QPDFObjGen, QPDFXRefEntry> &xref, const Stages &stages,
                        const std::function<void(const std::string &)> &warn, QpdfWarnings &said, PagesRead &read)
{
    // A proof of some sheets needs only the objects they show: qpdf reads objects when
    // they are first used, and the sheets are written from a new document of their own.
    if (where == MadeIn::Document && !o.files.proof)
        readAllObjects(pdf, xref, stages.stage(1, 40));
    SheetsMade made = buildSheets(pdf, o, where, warn, stages.stage(40, 60), &read);
    said.take(pdf);
    QPDF *written = &pdf;
    if (made.document) {
        QPDFPageDocumentHelper pages(*made.document);
        for (const QPDFObjectHandle &sheet : made.sheets)
            pages.addPage(sheet, false);
        written = made.document.get();
    }
    // What the writer takes from the trailer, as it needs it: a /Size to replace (it writes
    // one only where the trailer has it) and an /ID of two strings (else it makes one).
    QPDFObjectHandle trailer = written->getTrailer();
    if (!trailer.hasKey("/Size"))
        trailer.replaceKey("/Size", QPDFObjectHandle::newInteger(0));
    QPDFObjectHandle id = trailer.getKey("/ID");
    if (trailer.hasKey("/ID")
        && !(id.isArray() && id.getArrayNItems() == 2 && id.getArrayItem(0).isString() && id.getArrayItem(1).isString()))
        trailer.removeKey("/ID");
    QPDFWriter writer(*written);
    // The others go straight to the disk.
    const bool check = damaged || pdf.isEncrypted() || where == MadeIn::NewDocument;
    Collect collected;
    writer.setOutputPipeline(check ? static_cast<Pipeline *>(&collected) : &output.pipeline());
    // A large document gets the fastest compression, a small one the default (it costs
    // little there).
    writer.setObjectStreamMode(made.document || !wantsObjectStreams(xref) ? qpdf_o_disable : qpdf_o_generate);
    Pl_Flate::setCompressionLevel(xref.size() < kSmallDocument ? 6 : 1);
    // Streams are copied as they are: decoding and compressing again costs more time than
    // the whole imposition, and uncompressed images stay uncompressed.
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(false);
    writer.registerProgressReporter(std::make_shared<WriterProgress>(stages.stage(60, 99), output));
    writer.write();
    said.take(pdf);
    if (check) {
        const size_t sheets = made.document ? made.sheets.size() : made.sides;
        const std::string why = unreadable(o.files.output, collected.bytes, sheets);
        if (!why.empty())
            throw ImposeError("the sheets made of " + o.files.input + " could not be read back (" + why + "), so "
                              + o.files.output + " is not written");
        output.pipeline().write(reinterpret_cast<const unsigned char *>(collected.bytes.data()),
                                 collected.bytes.size());
        output.pipeline().finish();
    }
    return made;
}

} // namespace

ImposeReport impose(const Options &o, const ProgressFn &progress, const std::function<void(const std::string &)> &warn,
                    std::unique_ptr<QPDF> *keepDocument)
{
    // Where the time goes on large documents: opening is quick, reading every object takes
    // about as long as building the sheets and writing them together.
    const Stages stages(progress);
    checkFiles(o);
    // The output is opened (as a file without a name) before anything is read, so that a
    // folder that is missing or not writable is said at once, not after a long read.
    auto output = std::make_unique<OutputFile>(o.files.output);
    stages.at(0);

    bool damaged = false;
    // qpdf's warnings in one line, said however the run ends.
    QpdfWarnings said;
    struct Say
    {
        QpdfWarnings &said;
        const std::string &input;
        const WarnFn &warn;
        ~Say() { said.say(input, warn); }
    } sayAtTheEnd{said, o.files.input, warn};
    std::unique_ptr<QPDF> document = openInput(o, warn, said, damaged);
    PagesRead read;
    if (damaged)
        sayUnreadablePages(*document, o, read, warn);
    stages.at(1);
    const std::map<QPDFObjGen, QPDFXRefEntry> xref = document->getXRefTable();
    SheetsMade made;
    try {
        made = makeAndWrite(*document, o, MadeIn::Document, damaged, *output, xref, stages, warn, said, read);
    } catch (QPDFExc &e) {
        // Reading all of a damaged file can fail where its pages can still be read, as qpdf's
        // own rewrite reads them: the pages alone, copied into a document of their own.
        const std::string why = e.getMessageDetail();
        if (e.getErrorCode() == qpdf_e_system)
            throw ImposeError("cannot read " + o.files.input + ": " + why);
        if (o.files.proof)
            throw ImposeError("cannot read " + o.files.input + ": " + why);
        output = std::make_unique<OutputFile>(o.files.output);
        try {
            QpdfWarnings again;  // said the first time
            document = openInput(o, [](const std::string &) {}, again, damaged);
            damaged = true;
            PagesRead fresh;
            if (!read.empty())
                unreadablePages(*document, fresh);
            made = makeAndWrite(*document, o, MadeIn::NewDocument, damaged, *output, xref, stages, warn, again, fresh);
            refuseReadError(o, again);
        } catch (QPDFExc &) {
            throw ImposeError("cannot read " + o.files.input + ": " + why);
        }
        warn(o.files.input + " is damaged (" + why + "); its pages are imposed as far as they could be read, "
             "without its bookmarks, named destinations and form");
    }
    refuseReadError(o, said);
    output->commit();
    stages.at(100);
    if (keepDocument)
        *keepDocument = std::move(document);
    return ImposeReport{made.sides, made.kept, made.proofPages, made.sizes, made.words};
}

std::string keptLine(const Kept &k)
{
    auto count = [](size_t n, const char *one, const char *many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    return "kept: " + count(k.links, "link", "links") + ", " + count(k.fields, "form field", "form fields") + ", "
           + count(k.bookmarks, "bookmark", "bookmarks") + "; dropped: " + std::to_string(k.dropped);
}

std::unique_ptr<QPDF> openForProofs(const Options &o, const std::function<void(const std::string &)> &warn,
                                    PagesRead &read)
{
    std::error_code ec;
    if (!fs::is_regular_file(fs::u8path(o.files.input), ec))
        throw ImposeError("cannot read " + o.files.input + ": no such file");
    bool damaged = false;
    QpdfWarnings said;
    std::unique_ptr<QPDF> document = openInput(o, warn, said, damaged);
    if (damaged)
        sayUnreadablePages(*document, o, read, warn);
    said.say(o.files.input, warn);
    return document;
}

std::string proofOf(QPDF &document, const Options &o, const std::function<void(const std::string &)> &warn,
                    ImposeReport &report, PagesRead &read)
{
    SheetsMade made = buildSheets(document, o, MadeIn::NewDocument, warn, [](double) {}, &read);
    QPDFPageDocumentHelper pages(*made.document);
    for (const QPDFObjectHandle &sheet : made.sheets)
        pages.addPage(sheet, false);
    QPDFWriter writer(*made.document);
    Collect collected;
    writer.setOutputPipeline(&collected);
    writer.setObjectStreamMode(qpdf_o_disable);
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(false);
    writer.write();
    // A read error while the sheet was made: no proof is made of what was read before it.
    QpdfWarnings said;
    said.take(document);
    said.take(*made.document);
    refuseReadError(o, said);
    report = ImposeReport{made.sides, made.kept, made.proofPages, made.sizes, made.words};
    return std::move(collected.bytes);
}

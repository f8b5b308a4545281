#include "impose.h"

#include "output.h"
#include "pdfsheets.h"

#include <qpdf/Pl_Flate.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <filesystem>
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
    if (fs::is_directory(output, ec))
        throw ImposeError("the output " + o.files.output + " is a folder");
    if (fs::exists(output, ec) && fs::equivalent(input, output, ec))
        throw ImposeError("the output " + o.files.output + " is the input file itself");
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
    OutputFile output(o.files.output);
    stages.at(0);

    auto document = std::make_unique<QPDF>();
    QPDF &pdf = *document;
    try {
        pdf.processFile(o.files.input.c_str());
    } catch (QPDFExc &e) {
        if (e.getErrorCode() == qpdf_e_password)
            throw ImposeError(o.files.input + " is encrypted and needs a password");
        throw ImposeError("cannot read " + o.files.input + ": " + e.getMessageDetail());
    }
    stages.at(1);
    const std::map<QPDFObjGen, QPDFXRefEntry> xref = pdf.getXRefTable();
    // A proof of some sheets needs only the objects they show: qpdf reads objects when they
    // are first used, and the sheets are written from a new document of their own.
    if (!o.files.proof)
        readAllObjects(pdf, xref, stages.stage(1, 40));
    const SheetsMade made = buildSheets(pdf, o, warn, stages.stage(40, 60));
    ImposeReport report{made.sides, made.kept, made.proofPages};

    QPDF *written = &pdf;
    if (made.document) {
        QPDFPageDocumentHelper pages(*made.document);
        for (const QPDFObjectHandle &sheet : made.proof)
            pages.addPage(sheet, false);
        written = made.document.get();
    }
    QPDFWriter writer(*written);
    writer.setOutputPipeline(&output.pipeline());
    // A large document gets the fastest compression, a small one the default (it costs
    // little there).
    writer.setObjectStreamMode(o.files.proof || !wantsObjectStreams(xref) ? qpdf_o_disable : qpdf_o_generate);
    Pl_Flate::setCompressionLevel(xref.size() < kSmallDocument ? 6 : 1);
    // Streams are copied as they are: decoding and compressing again costs more time than
    // the whole imposition, and uncompressed images stay uncompressed.
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(false);
    writer.registerProgressReporter(std::make_shared<WriterProgress>(stages.stage(60, 99), output));
    writer.write();
    output.commit();
    stages.at(100);
    if (keepDocument)
        *keepDocument = std::move(document);
    return report;
}

std::string keptLine(const Kept &k)
{
    auto count = [](size_t n, const char *one, const char *many) {
        return std::to_string(n) + " " + (n == 1 ? one : many);
    };
    return "kept: " + count(k.links, "link", "links") + ", " + count(k.fields, "form field", "form fields") + ", "
           + count(k.bookmarks, "bookmark", "bookmarks") + "; dropped: " + std::to_string(k.dropped);
}

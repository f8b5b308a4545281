// Each test's own temporary folder and the sample PDFs made in it: mixed into a test class
// (after QObject), which makes `dir` in init() and drops it in cleanup().
#pragma once

#include "samplepdf.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

class SampleFiles
{
protected:
    QString path(const QString &name) const { return dir->filePath(name); }
    // A sample of `pages` alike pages, named `name` in the folder.
    QString sample(const QString &name, int pages, const SamplePage &page = SamplePage())
    {
        writeSamplePdf(path(name).toStdString(), std::vector<SamplePage>(size_t(pages), page));
        return path(name);
    }
    std::unique_ptr<QTemporaryDir> dir;
};

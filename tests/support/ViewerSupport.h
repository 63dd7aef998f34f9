#pragma once

// A scratch application folder for the viewer's file tests, with the
// headless export run in-process.
#include "viewer/CsvExport.h"

#include "TestSupport.h"

#include <QTextStream>

namespace tarvek {

class ViewerFiles : public AppFolderTest {
  protected:
    int Export(const QStringList& arguments) {
        QTextStream stream(&err_);
        return RunCsvExport(QStringList{"tarvek-view"} + arguments, state.AppFolder + "/datafiles", stream);
    }
    QString err_;
};

} // namespace tarvek

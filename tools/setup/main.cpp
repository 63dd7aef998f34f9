// tarvek-setup FOLDER: writes the default set-up into FOLDER (the folder of the
// tarvek executable), keeping every file that is already there.
#include "common/RecordFile.h"
#include "config/DefaultSetup.h"

#include <QCoreApplication>

#include <cstdio>

using namespace tarvek;

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarvek-setup FOLDER\n");
        return 2;
    }
    const FileOutcome outcome = InstallDefaultSetup(QString::fromLocal8Bit(argv[1]));
    ReportFailure(outcome);
    return outcome ? 0 : 1;
}

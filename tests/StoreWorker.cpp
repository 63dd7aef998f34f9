// tarvek-store-worker FOLDER one|change FIRST [COUNT [save]]: stores scans FIRST,
// FIRST+1, ... into the data files under FOLDER as fast as it can, through the
// same StoreDataRecord the program uses, COUNT of them or until killed. After
// each store has returned success it writes the scan's sequence number and a
// line feed to stdout in one write(2), so whoever reads the pipe knows which
// records must be in the files. With "save" it first saves the set-up files
// and the status file, as Save and Start do. A failure ends it with status 1.
#include "StoreWorkerRecords.h"
#include "acquisition/AcquisitionStatus.h"
#include "config/SetupChannels.h"
#include "config/SetupGenParameters.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const WorkerMonths months = std::strcmp(argv[2], "one") == 0 ? WorkerMonths::One : WorkerMonths::Change;
    const long long first = std::atoll(argv[3]);
    const long long count = argc >= 5 ? std::atoll(argv[4]) : -1;
    Declarations d;
    d.AppFolder = QString::fromLocal8Bit(argv[1]);
    if (argc == 6 && std::strcmp(argv[5], "save") == 0) {
        if (!SaveChannelParameters(d.AppFolder, {}, {}) ||
            !SaveGeneralParameters(d.AppFolder, d.SetUp.GeneralLabel, "2", "1") ||
            !WriteAcquisitionStatus(d.AppFolder, "1"))
            return 1;
    }
    for (long long seq = first; count < 0 || seq < first + count; ++seq) {
        StampScan(d, seq, months);
        char line[32];
        const int n = std::snprintf(line, sizeof line, "%lld\n", seq);
        if (!StoreDataRecord(d) || write(STDOUT_FILENO, line, size_t(n)) != n)
            return 1;
    }
    return 0;
}

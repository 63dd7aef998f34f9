#pragma once

#include "seal/Verify.h"

#include <QByteArray>
#include <QString>
#include <QTextStream>

#include <optional>
#include <vector>

namespace tarvek {

// tarvek-verify over a data folder and its seals: every month in the range,
// its findings, and what was found of the folder as a whole.
struct VerifyOptions {
    QString dataFolder;
    QString sealFolder;
    std::optional<int> from, to; // months, both included
    QString witness;             // a file of seal lines a subscriber kept, one per line
    qint64 nowUtcMs = 0;
    QTimeZone zone = QTimeZone::systemTimeZone();
};
struct FolderReport {
    KeyRing keys;
    std::vector<MonthReport> months;
    QString problem; // why it cannot verify: no seals, no keys
};
FolderReport VerifyFolder(const VerifyOptions& options);

// 0 intact (notes at most), 1 findings, 2 cannot verify.
int ExitCodeOf(const FolderReport& report);
// The report for an auditor, the findings as CSV (RFC 4180, one row each),
// and the keys with their fingerprints.
void WriteReport(const FolderReport& report, QTextStream& out);
QByteArray CsvOf(const FolderReport& report);
void WriteKeys(const FolderReport& report, QTextStream& out);

} // namespace tarvek

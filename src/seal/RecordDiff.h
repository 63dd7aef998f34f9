#pragma once

#include <QByteArrayView>

#include <vector>

namespace tarvek {

// How the records of a month file differ from its sealed copy (both given as
// whole records of `length` bytes, a data file without its count record): one
// rule for the sealer, which reports it at once, and for tarvek-verify.
struct RecordRun {
    enum class Kind {
        Changed,  // `count` records at `at` hold other bytes than sealed record `sealedAt` on
        Inserted, // `count` records at `at` were put in before sealed record `sealedAt`
        Missing,  // sealed records `sealedAt` .. + `count` are gone; the file goes on at `at`
        Swapped,  // record `at` holds sealed record `sealedAt`, and the other way round
        Cut,      // sealed records `sealedAt` .. + `count` are gone from the end
    };
    Kind kind;
    qint64 at; // in the file as it is now, from 1
    qint64 count;
    qint64 sealedAt; // in the sealed copy, from 1
    bool operator==(const RecordRun&) const = default;
};
struct RecordDiff {
    std::vector<RecordRun> runs;
    // The file's records from this one (from 0) on were never sealed: new.
    qint64 newFrom = 0;
    bool Intact() const { return runs.empty(); }
};

// The records the sealed copy shares with the file in order, where records
// were put in or taken out at one place (the shift that leaves the fewest
// records differing), and the runs of records that differ in place; two
// records that traded places are Swapped.
RecordDiff CompareRecords(QByteArrayView sealed, QByteArrayView now, int length);

} // namespace tarvek

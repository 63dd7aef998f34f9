#pragma once

#include "seal/KeyStore.h"
#include "seal/SealLine.h"

#include <QString>
#include <QTimeZone>

#include <optional>
#include <vector>

namespace tarvek {

// What tarvek-verify reports: one finding per thing found, with what an
// auditor needs to follow it up.
struct Finding {
    enum class Severity { Fail, Warn, Note }; // a Note alone leaves the month intact
    Severity severity = Severity::Fail;
    QByteArray what;   // one word: "changed", "inserted", "seal-edited", "gap", ...
    QString file;      // the file it is about
    qint64 record = 0; // from 1, 0 when it names none
    qint64 count = 0;
    QString time;   // the record's stamp, "YYYY-MM-DDTHH:MM:SS"
    QString sealed; // the sealed bytes that differ, and what stands there now
    QString now;
    QString firstSeen; // when the sealer first saw it, and the last line at which it was still good
    QString lastGood;
    QString text; // one sentence
};

// The keys verify knows: those seals/keys.txt lists and those the seals' Close
// and Key lines name for a month (endorsed by a key in the chain). The chain
// holds the first key listed (enrolled by its fingerprint) and every key
// endorsed; any other key found signing is a discontinuity.
struct KnownKey {
    PublicKey key{};
    QByteArray id;
    bool listed = false;
    std::optional<int> period; // the month a Close or Key line named it for
    QString endorsedBy;        // that line, "11-2026-Seal.txt line 8927"
    int listedMonth = -1;      // the month keys.txt names it for
    int Period() const { return period.value_or(listedMonth); }
};
class KeyRing {
  public:
    void List(const ListedKey& listed);
    void Endorse(const PublicKey& key, int month, const QString& by);
    const KnownKey* Find(QByteArrayView id) const;
    const KnownKey* ForPeriod(int month) const;
    bool InChain(const KnownKey& key) const { return key.period || (&key == First()); }
    const KnownKey* First() const;
    const std::vector<KnownKey>& Keys() const { return keys_; }

  private:
    KnownKey* Mutable(QByteArrayView id);

    std::vector<KnownKey> keys_;
};
// The ring of keys.txt and the Close and Key lines of `seals` (each month's
// seal file, oldest first), each endorsement checked by its signature.
KeyRing BuildKeyRing(const std::vector<ListedKey>& listed, const std::vector<QByteArray>& seals);

// A month's files as they stand: nothing where a file is missing.
struct MonthBytes {
    int month = 0;
    std::optional<QByteArray> data, events;             // the logger's
    std::optional<QByteArray> sealedData, sealedEvents; // the sealer's copies
    std::optional<QByteArray> seals;
};
struct VerifyContext {
    const KeyRing* keys = nullptr;
    std::vector<Digest> closesBefore; // the Close heads of the earlier months' seals
    std::vector<QByteArray> witness;  // the lines a witness holds for this month
    qint64 nowUtcMs = 0;              // seals that end long before now without a stop are a finding
    QTimeZone zone = QTimeZone::systemTimeZone();
    qint64 gapMs = 6 * 60'000; // the longest time between two lines
};
struct MonthReport {
    int month = 0;
    std::vector<Finding> findings;
    qint64 lines = 0, dataRecords = 0, eventRecords = 0, sealedData = 0, sealedEvents = 0;
    std::optional<int> countRecord;
    QString lastLine;                   // its time, "up to" which the month is sealed
    std::vector<qint64> checkpointsUtc; // the times of the lines whose signatures hold, in file order
    int syncedPercent = 0;
    std::optional<Digest> closeHead;
};
MonthReport VerifyMonth(const MonthBytes& files, const VerifyContext& context);

// The parts of VerifyMonth, each adding its findings to the report.
struct CheckedLine {
    qint64 index = 0; // its place in the file
    SealLine line;
    QByteArrayView bytes;
};
std::vector<CheckedLine> CheckSeals(const MonthBytes& files, const VerifyContext& context,
                                    MonthReport& report);
void CheckRecords(const MonthBytes& files, const std::vector<CheckedLine>& lines,
                  const VerifyContext& context, MonthReport& report);

// "2026-12-08T09:15:00.118Z (line 42)".
QString LineText(const CheckedLine& line);

} // namespace tarvek

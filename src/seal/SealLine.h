#pragma once

#include "seal/SealCrypto.h"

#include <QByteArray>

#include <optional>

namespace tarvek {

// One line of seals/mm-yyyy-Seal.txt: 512 bytes of ASCII, the last a line
// feed, so line n (from 0) lies at byte 512 * n. Fields at fixed places, each
// "label=value" and a blank (README, "Tamper evidence"):
//   TARVEK-SEAL-1 KIND      n=00000042 utc=2026-12-08T09:15:00.118Z off=+01:00
//   tz=<32> boot=<32 hex> up=0001234567.891 sync=1 maxerr=00016000 month=12-2026
//   data=089280 events=0000290 head=<64 hex> x=<94> key=<16 hex> sig=<88 base64>
// The Ed25519 signature covers the first SignedLength bytes, everything
// before "sig=".
inline constexpr int SealLineLength = 512;
inline constexpr int SignatureAt = SealLineLength - 1 - 88; // where the base64 signature starts
inline constexpr int SignedLength = SignatureAt - 4;        // the bytes before "sig="
inline constexpr int DetailWidth = 94;

enum class LineKind {
    Open,      // the month's first line: its chain starts at the key's genesis
    Start,     // the sealer started (after a stop, a crash, or with a new key)
    Stop,      // the sealer stops: a gap after it is explained
    Periodic,  // at most 5 minutes after the line before
    Event,     // an event record was appended
    Close,     // the month is over: the next key, signed by this one
    Key,       // a month still open hands over to the next key
    Changed,   // stored records differ from what was first seen
    Inserted,  // records were put between sealed ones
    Missing,   // sealed records are gone from the file, the rest kept
    Swapped,   // two sealed records changed places
    Cut,       // the file lost its last records
    Replaced,  // another file stands under the name
    Removed,   // the file is gone
    Backdated, // a record stamped before the one before it, or well before it was first seen
    ClockStep, // the wall clock jumped against the boot clock
};
const char* KindName(LineKind kind); // as the line spells it, "CLOCKSTEP"
std::optional<LineKind> KindOfName(QByteArrayView name);
bool IsFinding(LineKind kind); // Changed .. ClockStep

// What the sealer's clocks said when it wrote a line.
struct SealTime {
    qint64 utcMs = 0;
    int offsetSeconds = 0; // local time minus UTC
    QByteArray zone;       // the time zone's name
    QByteArray bootId;     // this boot's id, 32 hex digits
    qint64 bootMs = 0;     // CLOCK_BOOTTIME: runs on through suspend, never steps
    bool synced = false;   // what ntp_adjtime says
    qint64 maxErrorUs = 0;
    bool operator==(const SealTime&) const = default;
};
// The month (MonthFiles' key) of the local time.
int LocalMonthOf(const SealTime& time);

struct SealLine {
    LineKind kind = LineKind::Periodic;
    qint64 sequence = 0; // the line's number in its file, from 0
    SealTime time;
    int month = 0;          // the month whose files it seals
    qint64 dataRecords = 0; // records of the sealed copies it covers
    qint64 eventRecords = 0;
    Digest head{};
    QByteArray detail; // what the kind needs, up to DetailWidth characters
    QByteArray keyId;  // KeyId of the signing key
    Signature signature{};
};

// Whether a line is for someone to hear of at once: a finding, or a Start
// whose detail names the key the sealer lost ("lost=<id>", a new genesis).
bool RaisesAlarm(const SealLine& line);

// The line's bytes, signed by `key` (its id is set from it).
QByteArray FormatLine(SealLine line, const SealKey& key);
// A line's fields, or nothing when the bytes do not have the layout; the
// signature is not checked here.
std::optional<SealLine> ParseLine(QByteArrayView bytes);
inline QByteArrayView SignedPart(QByteArrayView line) {
    return line.first(SignedLength);
}

// What a line cut off by a crash or a power cut is completed with at the
// sealer's next start, so that the lines after it keep their places.
QByteArray TornLine();

// Details: of the lines that name records, "D 00000123 000001" and what the
// kind adds (the sealed number of a swapped record, the digest of what the
// records hold now); of Open "prev=<64 hex>" (the head of the month before's
// Close) or "prev=none"; of Close and Key "next=<64 hex> for=mm-yyyy"; of
// ClockStep the step, "-0000003600000 ms"; of Removed and Replaced the file.
struct RecordRef {
    bool events = false;
    qint64 record = 0; // in the file as it is now, from 1
    qint64 count = 0;
    QByteArray rest;
};
QByteArray DetailOf(const RecordRef& ref);
std::optional<RecordRef> RecordRefOf(QByteArrayView detail);
QByteArray NextKeyDetail(const PublicKey& key, int month);
std::optional<std::pair<PublicKey, int>> NextKeyOf(QByteArrayView detail);

} // namespace tarvek

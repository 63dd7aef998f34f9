// The sealer's rules without I/O: the chain and signature vectors, the line
// layout, the comparison of a file with its sealed copy, the state machine.
#include "data/StoredTime.h"
#include "seal/RecordDiff.h"
#include "seal/SealChain.h"
#include "seal/Sealer.h"

#include "support/TestSupport.h"

#include <functional>

using namespace tarvek;

namespace {

constexpr int Dec2026 = 2026 * 12 + 11;

SealKey VectorKey() {
    QByteArray seed(32, '\0');
    for (int i = 0; i < 32; ++i)
        seed[i] = char(i + 1);
    return *SealKey::FromSeed(seed);
}

// Data records of 08-12-2026 stamped at `times`.
QByteArray Stored(std::initializer_list<const char*> times, const QList<QByteArray>& values = {}) {
    QByteArray records;
    for (const char* t : times)
        records += DataLine(t, values, "08-12-2026");
    return records;
}

QByteArray EventLine(const QString& time) {
    return BuildEventRecord(
               EventOf("08-12-2026", time, "HIGH", 1, "RAISED", "  +10.700", "10.0", "op1", "Boiler"))
        .toLatin1();
}

// Computed apart from the code: the public key by openssl from the seed, the
// heads by Python's hashlib from the formulas in SealChain.h, the signature by
// `openssl pkeyutl -sign -rawin`.
TEST(SealVectors, ChainAndSignatureAreTheStandardOnes) {
    const SealKey key = VectorKey();
    const Digest genesis = Genesis(Dec2026, key.Public());
    const Digest data = RecordStep(genesis, MonthFileKind::Data, Dec2026, 1, Stored({"10:00:00"}));
    const Digest event = RecordStep(data, MonthFileKind::Events, Dec2026, 1, EventLine("10:00:00"));
    const Signature signature = key.Sign("TARVEK-SEAL-1 test vector");
    std::vector<std::pair<QByteArray, QByteArray>> rows{
        {HexOf(key.Public()), "79b5562e8fe654f94078b112e8a98ba7901f853ae695bed7e0e3910bad049664"},
        {Fingerprint(key.Public()), "646d6be49d9f0048f94f67749eca35156eed4f7a7be18e4fc4a94bfd44e300b0"},
        {HexOf(genesis), "6b2f50f18da331f96a3f4192cd23f4523f4496d10d3fd7faa2d3536170d554e3"},
        {HexOf(data), "2101e56e71138e537f23a88891696f9ee52a17b6207618ed0214662ce349f46b"},
        {HexOf(event), "cfd9a3020af23c4983a85fd6ba347c62bf10b4414101c7aa6165d0b6a47de45d"},
        {HexOf(LineStep(event, QByteArray(419, 'X'))),
         "b96d1e0a5e7b5f1382191f4c556dc47b3832e3480898b6395c98d728c7d9565d"},
        {QByteArray(reinterpret_cast<const char*>(signature.data()), 64).toBase64(),
         "Qj9hQM2dDQaZWbIj7RYdAGt1TVDslIgCgAA/EPeQmzN+CLhIbtgFQBRNqz3tJXVuVbBAl1qjZizKlDEIk+JjAw=="}};
    QByteArray seed = "a key's seed, read from its file";
    Wipe(seed); // key bytes do not outlive their use in memory
    rows.push_back({seed, QByteArray(32, '\0')});
    for (const auto& [got, want] : rows)
        EXPECT_EQ(got, want);
}

TEST(SealLineLayout, FixedPlacesSignedBeforeTheSignatureAndEveryFieldBack) {
    const SealKey key = VectorKey();
    const SealTime time{1796722500118, 3600, "Europe/Berlin", QByteArray(32, 'a'), 1234567891, true, 18000};
    const Digest head = Genesis(Dec2026, key.Public());
    const QByteArray detail = DetailOf({false, 123, 1, "sealed=00000123"});
    SealLine line{LineKind::Changed, 42, time, Dec2026, 89280, 290, head, detail, {}, {}};
    const QByteArray bytes = FormatLine(line, key);
    ASSERT_EQ(bytes.size(), SealLineLength);
    EXPECT_EQ(bytes.mid(SignedLength, 4), "sig=");
    EXPECT_TRUE(bytes.startsWith(
        "TARVEK-SEAL-1 CHANGED   n=00000042 utc=2026-12-08T09:35:00.118Z off=+01:00 tz=Europe/Berlin "));
    const std::optional<SealLine> back = ParseLine(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->time, line.time);
    EXPECT_EQ(
        std::tie(back->sequence, back->month, back->dataRecords, back->eventRecords, back->head,
                 back->detail),
        std::tie(line.sequence, line.month, line.dataRecords, line.eventRecords, line.head, line.detail));
    EXPECT_TRUE(SignatureHolds(key.Public(), SignedPart(bytes), back->signature));
    for (int at : {0, 20, 200, SignedLength - 1}) {
        QByteArray edited = bytes;
        edited[at] = edited[at] == '1' ? '2' : '1';
        const std::optional<SealLine> parsed = ParseLine(edited);
        EXPECT_TRUE(!parsed || !SignatureHolds(key.Public(), SignedPart(edited), parsed->signature)) << at;
    }
    EXPECT_EQ(RecordRefOf(back->detail)->record, 123);
    EXPECT_EQ(NextKeyOf(NextKeyDetail(key.Public(), Dec2026))->first, key.Public());
}

// Records of four bytes, one letter each: the file against its sealed copy.
struct DiffRow {
    const char* name;
    const char* sealed;
    const char* now;
    const char* runs; // kind letter, at, count, sealed at: "C3+1s3"
    qint64 newFrom;
};

QByteArray Records(const char* letters) {
    QByteArray bytes;
    for (const char* c = letters; *c; ++c)
        bytes += QByteArray(4, *c);
    return bytes;
}

class RecordDiffTable : public ::testing::TestWithParam<DiffRow> {};

TEST_P(RecordDiffTable, NamesWhatChangedNotEverythingAfterIt) {
    const DiffRow& row = GetParam();
    const RecordDiff diff = CompareRecords(Records(row.sealed), Records(row.now), 4);
    QByteArray runs;
    for (const RecordRun& r : diff.runs)
        runs += QByteArray(1, "CIMSX"[int(r.kind)]) + QByteArray::number(r.at) + '+' +
                QByteArray::number(r.count) + 's' + QByteArray::number(r.sealedAt) + ' ';
    EXPECT_EQ(runs.trimmed(), QByteArray(row.runs));
    EXPECT_EQ(diff.newFrom, row.newFrom);
}

INSTANTIATE_TEST_SUITE_P(Edits, RecordDiffTable,
                         ::testing::Values(DiffRow{"Appended", "abc", "abcde", "", 3},
                                           DiffRow{"Same", "abc", "abc", "", 3},
                                           DiffRow{"OneChanged", "abcde", "abXde", "C3+1s3", 5},
                                           DiffRow{"ARunChanged", "abcdef", "aXYdeZ", "C2+2s2 C6+1s6", 6},
                                           DiffRow{"InsertedInTheMiddle", "abcde", "abXcde", "I3+1s3", 6},
                                           DiffRow{"InsertedThenAppended", "abcde", "abXYcdef", "I3+2s3", 7},
                                           DiffRow{"TakenOut", "abcdef", "abef", "M3+2s3", 4},
                                           DiffRow{"NeighboursSwapped", "abcde", "abdce", "S3+1s4 S4+1s3", 5},
                                           DiffRow{"FarSwapped", "abcdef", "aecdbf", "S2+1s5 S5+1s2", 6},
                                           DiffRow{"CutByOne", "abcde", "abcd", "X5+1s5", 4},
                                           DiffRow{"CutToNothing", "abc", "", "X1+3s1", 0},
                                           DiffRow{"CutThenGrown", "abcde", "abXY", "C3+2s3 X5+1s5", 4}),
                         RowName);

// The state machine fed as its shell feeds it, the sealed copies in memory.
class SealerDriver {
  public:
    SealerDriver() : sealer_(std::make_unique<SealKey>(VectorKey()), Dec2026, {}, Rules()) {
        sealer_.Start(now_);
        Look(MonthFileKind::Data, data);
        sealer_.CaughtUp();
        kinds.clear(), actions.clear(), lines.clear();
    }
    static Sealer::Rules Rules() {
        Sealer::Rules rules;
        rules.zone = QTimeZone::utc();
        return rules;
    }
    SealerDriver& Pass(qint64 ms, qint64 step = 0) {
        now_.utcMs += ms + step, now_.bootMs += ms;
        sealer_.Tick(now_);
        return Take();
    }
    SealerDriver& Look(MonthFileKind kind, const QByteArray& records, bool exists = true,
                       bool replaced = false, int month = Dec2026) {
        sealer_.Seen({kind, month, exists, replaced, records}, sealed_[{kind, month}], now_);
        return Take();
    }
    SealerDriver& Stop() {
        sealer_.Stop(now_);
        return Take();
    }
    QByteArray data = Stored({"10:00:00", "10:00:30", "10:01:00", "10:01:30", "10:02:00"});
    QByteArray kinds, actions; // the kinds of the lines and the actions' first letters
    std::vector<SealLine> lines;

  private:
    SealerDriver& Take() {
        for (const SealAction& a : sealer_.TakeActions()) {
            actions += "ASWC"[int(a.kind)];
            if (a.kind == SealAction::Kind::AppendSealed)
                sealed_[{a.file, a.month}] += a.bytes;
            if (a.kind == SealAction::Kind::WriteLine)
                lines.push_back(*ParseLine(a.bytes)), kinds += QByteArray(KindName(lines.back().kind)) + ' ';
        }
        return *this;
    }
    SealTime now_{
        *ParseStoredTime("2026-12-08T10:02:01"), 0, "UTC", QByteArray(32, 'b'), 1'000'000, true, 1000};
    Sealer sealer_;
    std::map<std::pair<MonthFileKind, int>, QByteArray> sealed_;
};
using S = SealerDriver;

struct SealerRow {
    const char* name;
    std::function<void(S&)> script;
    const char* kinds;
};

class SealerTable : public ::testing::TestWithParam<SealerRow> {};

TEST_P(SealerTable, WritesTheLinesItsRulesName) {
    SealerDriver d;
    GetParam().script(d);
    EXPECT_EQ(d.kinds.trimmed(), QByteArray(GetParam().kinds));
}

const auto D = MonthFileKind::Data;
const auto E = MonthFileKind::Events;

INSTANTIATE_TEST_SUITE_P(
    Happenings, SealerTable,
    ::testing::ValuesIn(std::vector<SealerRow>{
        {"AnAppendedRecordWaitsForTheFiveMinuteLine",
         [](S& d) { d.Look(D, d.data + Stored({"10:02:30"})).Pass(60'000).Pass(240'000); }, "PERIODIC"},
        {"AnEventRecordAtOnce", [](S& d) { d.Look(E, EventLine("10:02:00")); }, "EVENT"},
        {"AChangedRecordAtOnceAndOnce",
         [](S& d) { d.Look(D, d.data.replace(160, 160, Stored({"10:00:30"}, {"+9.700"}))).Look(D, d.data); },
         "CHANGED"},
        {"ARecordPutIn", [](S& d) { d.Look(D, d.data.insert(320, Stored({"10:00:45"}))); }, "INSERTED"},
        {"ARecordTakenOut", [](S& d) { d.Look(D, d.data.remove(160, 160)); }, "MISSING"},
        {"TwoRecordsSwapped",
         [](S& d) {
             d.Look(D, Stored({"10:00:00", "10:01:30", "10:01:00", "10:00:30", "10:02:00"}));
         },
         "SWAPPED SWAPPED"},
        {"TheTailCut", [](S& d) { d.Look(D, d.data.left(480)); }, "CUT"},
        {"TheFileRemovedThenReplaced",
         [](S& d) { d.Look(D, {}, false).Look(D, {}, false).Look(D, d.data, true, true); },
         "REMOVED REPLACED"},
        {"StampedBeforeTheRecordBefore", [](S& d) { d.Look(D, d.data + Stored({"09:00:00"})); }, "BACKDATED"},
        {"StampedLongBeforeItCame", [](S& d) { d.Pass(1'800'000).Look(D, d.data + Stored({"10:05:00"})); },
         "PERIODIC BACKDATED"},
        {"TheClockStepped", [](S& d) { d.Pass(1000, -3'600'000); }, "CLOCKSTEP"},
        {"TheMonthClosesWithTheNextKey",
         [](S& d) {
             d.Pass(*ParseStoredTime("2027-01-01T00:00:05") - *ParseStoredTime("2026-12-08T10:02:01"));
             EXPECT_EQ(d.actions, "SWWC");
             EXPECT_NE(KeyId(NextKeyOf(d.lines[0].detail)->first), KeyId(VectorKey().Public()));
             EXPECT_EQ(d.lines[0].keyId, KeyId(VectorKey().Public()));
             EXPECT_EQ(KeyId(NextKeyOf(d.lines[0].detail)->first), d.lines[1].keyId);
         },
         "CLOSE OPEN"},
        {"ARecordInAMonthLongClosed",
         [](S& d) { d.Look(D, DataLine("10:00:00", {}, "08-10-2026"), true, false, Dec2026 - 2); },
         "OPEN CLOSE BACKDATED"},
        {"TheStop", [](S& d) { d.Stop(); }, "STOP"}}),
    RowName);

} // namespace

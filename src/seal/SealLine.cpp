#include "seal/SealLine.h"

#include "data/StoredTime.h"
#include "seal/SealChain.h"

#include <array>
#include <cstring>
#include <utility>

namespace tarvek {

namespace {

constexpr std::array<const char*, 16> KindNames{
    "OPEN",     "START",   "STOP",    "PERIODIC", "EVENT",    "CLOSE",   "KEY",       "CHANGED",
    "INSERTED", "MISSING", "SWAPPED", "CUT",      "REPLACED", "REMOVED", "BACKDATED", "CLOCKSTEP"};
constexpr char Magic[] = "TARVEK-SEAL-1 ";
constexpr int KindWidth = 9;

// The fields after the kind, in their order, each followed by a blank (the
// signature by the line feed).
enum Field { N, Utc, Off, Tz, Boot, Up, Sync, MaxErr, Month, Data, Events, Head, X, Key, Sig, FieldCount };
struct FieldLayout {
    const char* label;
    int width;
};
constexpr std::array<FieldLayout, FieldCount> Layout{{{"n=", 8},
                                                      {"utc=", 24},
                                                      {"off=", 6},
                                                      {"tz=", 32},
                                                      {"boot=", 32},
                                                      {"up=", 14},
                                                      {"sync=", 1},
                                                      {"maxerr=", 8},
                                                      {"month=", 7},
                                                      {"data=", 6},
                                                      {"events=", 7},
                                                      {"head=", 64},
                                                      {"x=", DetailWidth},
                                                      {"key=", KeyIdLength},
                                                      {"sig=", 88}}};

QByteArray UtcText(qint64 ms) {
    const qint64 second = FloorDiv(ms, SecondMs) * SecondMs;
    return StoredTimeText(second) + '.' + ZeroPadded(ms - second, 3) + 'Z';
}

QByteArray OffsetText(int seconds) {
    const int m = std::abs(seconds) / 60;
    return (seconds < 0 ? "-" : "+") + ZeroPadded(m / 60, 2) + ':' + ZeroPadded(m % 60, 2);
}

QByteArray BootText(qint64 ms) {
    return ZeroPadded(ms / 1000, 10) + '.' + ZeroPadded(ms % 1000, 3);
}

// The values of a line's fields, each fitted to its width.
std::array<QByteArray, FieldCount> Values(const SealLine& l) {
    return {ZeroPadded(l.sequence, 8),
            UtcText(l.time.utcMs),
            OffsetText(l.time.offsetSeconds),
            l.time.zone.leftJustified(32, ' ', true),
            l.time.bootId.leftJustified(32, '0', true),
            BootText(l.time.bootMs),
            l.time.synced ? "1" : "0",
            ZeroPadded(std::min<qint64>(l.time.maxErrorUs, 99'999'999), 8),
            MonthText(l.month),
            ZeroPadded(l.dataRecords, 6),
            ZeroPadded(l.eventRecords, 7),
            HexOf(l.head),
            l.detail.leftJustified(DetailWidth, ' ', true),
            l.keyId.leftJustified(KeyIdLength, '0', true),
            QByteArray(88, '=')};
}

std::optional<qint64> DigitsOf(QByteArrayView text) {
    qint64 n = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return text.isEmpty() ? std::nullopt : std::optional(n);
}

std::optional<qint64> UtcOf(QByteArrayView t) {
    const std::optional<qint64> second = ParseStoredTime(QString::fromLatin1(t.first(19)));
    const std::optional<qint64> ms = DigitsOf(t.sliced(20, 3));
    if (!second || !ms || t[19] != '.' || t[23] != 'Z')
        return std::nullopt;
    return *second + *ms;
}

std::optional<int> OffsetOf(QByteArrayView t) {
    const auto h = DigitsOf(t.sliced(1, 2)), m = DigitsOf(t.sliced(4, 2));
    if (!h || !m || (t[0] != '+' && t[0] != '-') || t[3] != ':')
        return std::nullopt;
    return int((t[0] == '-' ? -1 : 1) * (*h * 3600 + *m * 60));
}

bool FillTime(const std::array<QByteArrayView, FieldCount>& v, SealTime* t) {
    const auto utc = UtcOf(v[Utc]);
    const auto off = OffsetOf(v[Off]);
    const auto upS = DigitsOf(v[Up].first(10)), upMs = DigitsOf(v[Up].sliced(11));
    const auto err = DigitsOf(v[MaxErr]);
    if (!utc || !off || !upS || !upMs || v[Up][10] != '.' || !err || (v[Sync] != "0" && v[Sync] != "1") ||
        !BytesOfHex(v[Boot], 16))
        return false;
    *t = {*utc,           *off, v[Tz].toByteArray().trimmed(), v[Boot].toByteArray(), *upS * 1000 + *upMs,
          v[Sync] == "1", *err};
    return true;
}

} // namespace

const char* KindName(LineKind kind) {
    return KindNames[std::size_t(kind)];
}

std::optional<LineKind> KindOfName(QByteArrayView name) {
    for (std::size_t k = 0; k < KindNames.size(); ++k)
        if (name == KindNames[k])
            return LineKind(k);
    return std::nullopt;
}

bool IsFinding(LineKind kind) {
    return kind >= LineKind::Changed;
}

bool RaisesAlarm(const SealLine& line) {
    return IsFinding(line.kind) || (line.kind == LineKind::Start && line.detail.startsWith("lost="));
}

int LocalMonthOf(const SealTime& time) {
    const QByteArray local = StoredTimeText(time.utcMs + time.offsetSeconds * SecondMs);
    return MonthOfText(local.mid(5, 2) + '-' + local.left(4));
}

QByteArray FormatLine(SealLine line, const SealKey& key) {
    line.keyId = KeyId(key.Public());
    QByteArray bytes = Magic + QByteArray(KindName(line.kind)).leftJustified(KindWidth) + ' ';
    const std::array<QByteArray, FieldCount> values = Values(line);
    for (int f = 0; f < Sig; ++f)
        bytes += Layout[f].label + values[f] + ' ';
    const Signature signature = key.Sign(bytes);
    bytes += "sig=" + QByteArray(reinterpret_cast<const char*>(signature.data()), SignatureBytes).toBase64() +
             '\n';
    return bytes;
}

std::optional<SealLine> ParseLine(QByteArrayView bytes) {
    constexpr int MagicLength = sizeof Magic - 1;
    if (bytes.size() != SealLineLength || bytes.first(MagicLength) != Magic || bytes.back() != '\n')
        return std::nullopt;
    SealLine line;
    const auto kind = KindOfName(bytes.sliced(MagicLength, KindWidth).trimmed());
    if (!kind || bytes[MagicLength + KindWidth] != ' ')
        return std::nullopt;
    line.kind = *kind;
    std::array<QByteArrayView, FieldCount> v;
    qsizetype at = MagicLength + KindWidth + 1;
    for (int f = 0; f < FieldCount; ++f) {
        const qsizetype label = qsizetype(std::strlen(Layout[f].label));
        if (bytes.sliced(at, label) != Layout[f].label ||
            bytes[at + label + Layout[f].width] != (f == Sig ? '\n' : ' '))
            return std::nullopt;
        v[f] = bytes.sliced(at + label, Layout[f].width);
        at += label + Layout[f].width + 1;
    }
    const auto seq = DigitsOf(v[N]), data = DigitsOf(v[Data]), events = DigitsOf(v[Events]);
    const auto head = BytesOfHex(v[Head], DigestBytes);
    const auto key = BytesOfHex(v[Key], KeyIdLength / 2);
    const auto sig =
        QByteArray::fromBase64Encoding(v[Sig].toByteArray(), QByteArray::AbortOnBase64DecodingErrors);
    const QByteArray& signature = *sig;
    line.month = MonthOfText(v[Month]);
    if (!seq || !data || !events || !head || !key || !sig || signature.size() != SignatureBytes ||
        line.month < 0 || !FillTime(v, &line.time))
        return std::nullopt;
    line.sequence = *seq, line.dataRecords = *data, line.eventRecords = *events;
    std::memcpy(line.head.data(), head->constData(), DigestBytes);
    std::memcpy(line.signature.data(), signature.constData(), SignatureBytes);
    line.detail = v[X].toByteArray().trimmed();
    line.keyId = v[Key].toByteArray();
    return line;
}

QByteArray TornLine() {
    return QByteArray(Magic).append("TORN").leftJustified(SealLineLength - 1) + '\n';
}

QByteArray DetailOf(const RecordRef& ref) {
    QByteArray d = (ref.events ? "E " : "D ") + ZeroPadded(ref.record, 8) + ' ' + ZeroPadded(ref.count, 6);
    return ref.rest.isEmpty() ? d : d + ' ' + ref.rest;
}

std::optional<RecordRef> RecordRefOf(QByteArrayView d) {
    if (d.size() < 17 || (d[0] != 'D' && d[0] != 'E') || d[1] != ' ' || d[10] != ' ' ||
        (d.size() > 17 && d[17] != ' '))
        return std::nullopt;
    const auto record = DigitsOf(d.sliced(2, 8)), count = DigitsOf(d.sliced(11, 6));
    if (!record || !count)
        return std::nullopt;
    return RecordRef{d[0] == 'E', *record, *count, d.size() > 18 ? d.sliced(18).toByteArray() : QByteArray()};
}

QByteArray NextKeyDetail(const PublicKey& key, int month) {
    return "next=" + HexOf(key) + " for=" + MonthText(month);
}

std::optional<std::pair<PublicKey, int>> NextKeyOf(QByteArrayView d) {
    if (d.size() != 81 || !d.startsWith("next=") || d.sliced(69, 5) != " for=")
        return std::nullopt;
    const auto bytes = BytesOfHex(d.sliced(5, 64), PublicKeyBytes);
    const int month = MonthOfText(d.sliced(74));
    if (!bytes || month < 0)
        return std::nullopt;
    PublicKey key;
    std::memcpy(key.data(), bytes->constData(), PublicKeyBytes);
    return std::pair{key, month};
}

} // namespace tarvek

#include "seal/Verify.h"

#include "seal/SealChain.h"

namespace tarvek {

void KeyRing::List(const ListedKey& listed) {
    const QByteArray id = KeyId(listed.key);
    KnownKey* known = Mutable(id);
    if (!known)
        known = &keys_.emplace_back(KnownKey{listed.key, id, false, std::nullopt, {}, -1});
    known->listed = true, known->listedMonth = listed.month;
}

void KeyRing::Endorse(const PublicKey& key, int month, const QString& by) {
    const QByteArray id = KeyId(key);
    KnownKey* known = Mutable(id);
    if (!known)
        known = &keys_.emplace_back(KnownKey{key, id, false, std::nullopt, {}, month});
    if (!known->period)
        known->period = month, known->endorsedBy = by;
}

KnownKey* KeyRing::Mutable(QByteArrayView id) {
    for (KnownKey& k : keys_)
        if (k.id == id)
            return &k;
    return nullptr;
}

const KnownKey* KeyRing::Find(QByteArrayView id) const {
    return const_cast<KeyRing*>(this)->Mutable(id);
}

const KnownKey* KeyRing::ForPeriod(int month) const {
    for (const KnownKey& k : keys_)
        if (k.period == month)
            return &k;
    return nullptr;
}

const KnownKey* KeyRing::First() const {
    for (const KnownKey& k : keys_)
        if (k.listed)
            return &k;
    return nullptr;
}

KeyRing BuildKeyRing(const std::vector<ListedKey>& listed, const std::vector<QByteArray>& seals) {
    KeyRing ring;
    for (const ListedKey& k : listed)
        ring.List(k);
    for (const QByteArray& bytes : seals)
        for (qsizetype at = 0; at + SealLineLength <= bytes.size(); at += SealLineLength) {
            const QByteArrayView view = QByteArrayView(bytes).sliced(at, SealLineLength);
            // Only Close and Key lines name keys: the others are not parsed here.
            if (!view.sliced(14).startsWith("CLOSE ") && !view.sliced(14).startsWith("KEY "))
                continue;
            const std::optional<SealLine> line = ParseLine(view);
            const KnownKey* signer = line ? ring.Find(line->keyId) : nullptr;
            const auto next = line ? NextKeyOf(line->detail) : std::nullopt;
            // A key in keys.txt endorses too: one that took over after a
            // lost key is a discontinuity where it starts, not in every month after.
            if (signer && next && (ring.InChain(*signer) || signer->listed) &&
                SignatureHolds(signer->key, SignedPart(view), line->signature))
                ring.Endorse(
                    next->first, next->second,
                    QStringLiteral("%1 line %2").arg(SealFileOf(line->month)).arg(at / SealLineLength));
        }
    return ring;
}

MonthReport VerifyMonth(const MonthBytes& files, const VerifyContext& context) {
    MonthReport report;
    report.month = files.month;
    std::vector<CheckedLine> lines;
    if (files.seals)
        lines = CheckSeals(files, context, report);
    for (const CheckedLine& l : lines)
        report.checkpointsUtc.push_back(l.line.time.utcMs);
    CheckRecords(files, lines, context, report);
    return report;
}

} // namespace tarvek

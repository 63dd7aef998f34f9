#include "seal/RecordDiff.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>

namespace tarvek {

namespace {

struct Records {
    QByteArrayView bytes;
    int length;
    qint64 Count() const { return bytes.size() / length; }
    const char* At(qint64 i) const { return bytes.data() + i * length; }
};

bool Same(const Records& a, qint64 i, const Records& b, qint64 j) {
    return std::memcmp(a.At(i), b.At(j), size_t(a.length)) == 0;
}

// The first record of `in` from `from` on that equals record `i` of `of`, or -1.
qint64 Find(const Records& in, qint64 from, const Records& of, qint64 i) {
    for (qint64 j = from; j < in.Count(); ++j)
        if (Same(in, j, of, i))
            return j;
    return -1;
}

// The sealed records from `p` on that differ from the file's once it is
// shifted by `shift` (records put in when positive, taken out when negative),
// counting those gone past its end; stops counting past `enough`.
qint64 Differing(const Records& sealed, const Records& now, qint64 p, qint64 shift, qint64 enough) {
    qint64 n = 0;
    for (qint64 i = p + std::max<qint64>(0, -shift); i < sealed.Count() && n <= enough; ++i)
        n += i + shift >= now.Count() || !Same(sealed, i, now, i + shift);
    return n;
}

// The changed records (file number, sealed number, from 1) as runs, two that
// traded places as a swap.
void AddChanged(std::vector<RecordRun>& runs, const std::vector<std::pair<qint64, qint64>>& changed,
                const Records& sealed, const Records& now) {
    constexpr std::size_t Most = 64; // swaps are looked for among this many records
    std::vector<bool> swapped(changed.size(), false);
    for (std::size_t a = 0; changed.size() <= Most && a < changed.size(); ++a)
        for (std::size_t b = a + 1; b < changed.size() && !swapped[a]; ++b)
            if (!swapped[b] && Same(now, changed[a].first - 1, sealed, changed[b].second - 1) &&
                Same(now, changed[b].first - 1, sealed, changed[a].second - 1)) {
                swapped[a] = swapped[b] = true;
                runs.push_back({RecordRun::Kind::Swapped, changed[a].first, 1, changed[b].second});
                runs.push_back({RecordRun::Kind::Swapped, changed[b].first, 1, changed[a].second});
            }
    for (std::size_t k = 0; k < changed.size(); ++k) {
        if (swapped[k])
            continue;
        RecordRun* last = runs.empty() ? nullptr : &runs.back();
        if (last && last->kind == RecordRun::Kind::Changed && last->at + last->count == changed[k].first)
            ++last->count;
        else
            runs.push_back({RecordRun::Kind::Changed, changed[k].first, 1, changed[k].second});
    }
}

} // namespace

RecordDiff CompareRecords(QByteArrayView sealedBytes, QByteArrayView nowBytes, int length) {
    const Records sealed{sealedBytes, length}, now{nowBytes, length};
    const qint64 S = sealed.Count(), C = now.Count();
    // Stretches at once first: a file that only grew is the common case.
    constexpr qint64 Stretch = 4096;
    const qint64 common = std::min(S, C);
    qint64 p = 0;
    while (p < common) {
        const qint64 n = std::min(Stretch, common - p);
        if (std::memcmp(sealed.At(p), now.At(p), size_t(n * length)) != 0)
            break;
        p += n;
    }
    while (p < S && p < C && Same(sealed, p, now, p))
        ++p;
    RecordDiff diff;
    if (p == S) {
        diff.newFrom = S;
        return diff;
    }
    // The shifts worth trying: none; records put in (the first sealed record
    // that differs found further on in the file); records taken out (the
    // file's record found further on in the copy).
    qint64 shift = 0, best = Differing(sealed, now, p, 0, std::numeric_limits<qint64>::max());
    if (p < C) {
        const qint64 in = Find(now, p + 1, sealed, p), out = Find(sealed, p + 1, now, p);
        // The records put in or taken out count as differing too.
        for (const qint64 s : {in < 0 ? 0 : in - p, out < 0 ? 0 : p - out})
            if (const qint64 n = s == 0 ? best : std::abs(s) + Differing(sealed, now, p, s, best); n < best)
                best = n, shift = s;
    }
    if (shift > 0)
        diff.runs.push_back({RecordRun::Kind::Inserted, p + 1, shift, p + 1});
    if (shift < 0)
        diff.runs.push_back({RecordRun::Kind::Missing, p + 1, -shift, p + 1});
    std::vector<std::pair<qint64, qint64>> changed;
    qint64 i = p + std::max<qint64>(0, -shift);
    for (; i < S && i + shift < C; ++i)
        if (!Same(sealed, i, now, i + shift))
            changed.emplace_back(i + shift + 1, i + 1);
    AddChanged(diff.runs, changed, sealed, now);
    if (i < S)
        diff.runs.push_back({RecordRun::Kind::Cut, C + 1, S - i, i + 1});
    diff.newFrom = std::min(C, S + shift);
    return diff;
}

} // namespace tarvek

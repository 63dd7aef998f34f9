#include "seal/SealService.h"

#include "seal/OwnFiles.h"
#include "seal/SealChain.h"

namespace tarvek {

SealService::SealService(Folders folders, std::function<SealTime()> clock, Sealer::Rules rules)
    : folders_(std::move(folders)), clock_(std::move(clock)), data_(folders_.data, MonthFileKind::Data),
      events_(folders_.data, MonthFileKind::Events), rules_(std::move(rules)), store_(folders_.seals),
      keys_(folders_.keys, folders_.seals) {}

bool SealService::Start() {
    if (auto failure = store_.Open()) {
        error_ = *failure;
        return false;
    }
    std::optional<SealStore::Recovered> seals = store_.Recover(&error_);
    if (!seals)
        return false;
    const SealTime now = clock_();
    std::optional<KeyStore::Current> key = keys_.Load(
        LocalMonthOf(now), now.utcMs, [&](const PublicKey& k) { return seals->namedKeys.contains(HexOf(k)); },
        &error_);
    if (!key)
        return false;
    // A key made while seals exist takes the place of one that was lost.
    const QByteArray lost = key->made && !seals->months.empty() ? seals->lastKey : QByteArray();
    sealer_ = std::make_unique<Sealer>(std::move(key->key), key->month, std::move(seals->months), rules_);
    sealer_->Start(now, lost);
    if (!Apply(now) || !Step())
        return false;
    sealer_->CaughtUp();
    return true;
}

bool SealService::Follow(MonthFolderFollower& follower, MonthFileKind kind) {
    for (const MonthLook& look : follower.Step()) {
        if (!look.due)
            continue;
        MonthFileNews news{kind, MonthKey(look.name, kind), false, look.change == FileChange::Replaced, {}};
        if (look.change != FileChange::Removed)
            if (const OpenedFile file = follower.Open(look.name)) {
                const int length = RecordLength(kind);
                news.records = WholeRecords(file.Fd(), kind == MonthFileKind::Data ? length : 0, length);
                news.exists = true;
            }
        const SealTime now = clock_();
        sealer_->Seen(news, store_.SealedRecords(kind, news.month), now);
        if (!Apply(now))
            return false;
    }
    return true;
}

bool SealService::Step() {
    if (!Follow(data_, MonthFileKind::Data) || !Follow(events_, MonthFileKind::Events))
        return false;
    const SealTime now = clock_();
    sealer_->Tick(now);
    return Apply(now);
}

bool SealService::Stop() {
    if (!Step())
        return false;
    const SealTime now = clock_();
    sealer_->Stop(now);
    return Apply(now);
}

bool SealService::Apply(const SealTime& now) {
    if (auto failure = store_.Apply(sealer_->TakeActions(), keys_, now.utcMs)) {
        error_ = *failure;
        return false;
    }
    return true;
}

} // namespace tarvek

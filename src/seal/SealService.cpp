#include "seal/SealService.h"

namespace tarvek {

SealService::SealService(Folders folders, std::function<SealTime()> clock,
                         std::unique_ptr<SealFollower> follower, Sealer::Rules rules)
    : folders_(std::move(folders)), clock_(std::move(clock)),
      follower_(follower ? std::move(follower) : std::make_unique<StampFollower>(folders_.data)),
      rules_(std::move(rules)), store_(folders_.seals), keys_(folders_.keys, folders_.seals) {}

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

bool SealService::Step() {
    for (const MonthFileNews& news : follower_->Look()) {
        const SealTime now = clock_();
        sealer_->Seen(news, store_.SealedRecords(news.kind, news.month), now);
        if (!Apply(now))
            return false;
    }
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

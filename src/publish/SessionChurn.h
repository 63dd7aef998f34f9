#pragma once

#include <QtGlobal>

#include <algorithm>

namespace tarvek {

// Sessions the broker ends within seconds of their start, one after another
// with no failed attempt between, are taken over each time by another client
// that uses the same client id (cloned machines). A session that ends that
// soon is tried again at once: a broker that is restarting refuses that
// attempt, one that took the session over for another client accepts it.
// While the pattern lasts, the wait before the next attempt grows, but never
// past what brings a restarted broker back within five seconds.
class SessionChurn {
  public:
    static constexpr qint64 ShortMs = 10'000;
    static constexpr int SuspectAfter = 3; // short sessions in a row
    static constexpr int MaxWaitSeconds = 4;

    void Connected(qint64 nowMs) { since_ = nowMs; }
    void AttemptFailed() { short_ = 0; }
    static constexpr int Usual = -1;
    // The session ended: the seconds before the next attempt, or Usual.
    int Lost(qint64 nowMs) {
        short_ = nowMs - since_ < ShortMs ? short_ + 1 : 0;
        if (short_ == 0)
            return Usual;
        return Suspected() ? std::min(2 << (short_ - SuspectAfter), MaxWaitSeconds) : 0;
    }
    // A session lost or an attempt failed: the seconds before the next
    // attempt, `usual` unless the pattern says otherwise.
    int After(bool lost, qint64 nowMs, int usual) {
        if (!lost) {
            AttemptFailed();
            return usual;
        }
        const int seconds = Lost(nowMs);
        return seconds == Usual ? usual : seconds;
    }
    bool Suspected() const { return short_ >= SuspectAfter; }

  private:
    qint64 since_ = 0;
    int short_ = 0;
};

} // namespace tarvek

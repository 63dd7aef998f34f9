#pragma once

#include <deque>
#include <vector>

namespace tarvek {

// The messages of one durable queue that the broker has not acknowledged
// yet, in the order they were sent, each with its place in the queue. At
// most `Size` are out at a time; the place kept moves only over the front
// ones the broker acknowledged, so a restart from it sends everything after
// at least once, and in order.
template <typename Place> class DeliveryWindow {
  public:
    static constexpr int Size = 100;

    // Room for more; refilled by half windows, so a backlog is read in
    // batches rather than a file read per acknowledgement.
    int Room() const {
        const int room = Size - int(out_.size());
        return room < Size / 2 && !out_.empty() ? 0 : room;
    }
    bool Empty() const { return out_.empty(); }
    bool Holds(int mid) const {
        for (const Out& o : out_)
            if (o.mid == mid)
                return true;
        return false;
    }
    void Sent(int mid, Place place) { out_.push_back({mid, std::move(place)}); }
    // The broker has `mid`: the places of the front messages now all
    // acknowledged, oldest first (none while an older one is still out).
    std::vector<Place> Acknowledge(int mid) {
        for (Out& o : out_)
            if (o.mid == mid)
                o.acknowledged = true;
        std::vector<Place> moved;
        while (!out_.empty() && out_.front().acknowledged) {
            moved.push_back(std::move(out_.front().place));
            out_.pop_front();
        }
        return moved;
    }
    // The session ended: what is out goes again from the place kept.
    void Clear() { out_.clear(); }

  private:
    struct Out {
        int mid;
        Place place;
        bool acknowledged = false;
    };
    std::deque<Out> out_;
};

} // namespace tarvek

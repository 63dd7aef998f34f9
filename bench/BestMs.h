#pragma once

#include <QElapsedTimer>

#include <algorithm>

// The best of `runs` timings of `f`, in milliseconds.
template <typename F> double BestMs(int runs, F f) {
    double best = 1e300;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        f();
        best = std::min(best, double(timer.nsecsElapsed()) / 1e6);
    }
    return best;
}

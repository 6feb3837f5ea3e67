#pragma once

// Shared by the benchmarks: each bench/*_bench.cpp is an executable of its
// own, run by bench/run.sh as `<bench> <database> <server> <yyyy-mm-dd>`.

#include <QElapsedTimer>
#include <algorithm>
#include <functional>
#include <vector>

namespace tabel::bench {

inline double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The median of `runs` timings of `f`, in milliseconds.
inline double timeMs(int runs, const std::function<void()>& f) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer t;
        t.start();
        f();
        times.push_back(t.nsecsElapsed() / 1e6);
    }
    return median(times);
}

} // namespace tabel::bench

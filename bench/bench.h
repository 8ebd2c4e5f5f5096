// A small timing harness for the benchmarks: each measurement is repeated, and the median of
// the repetitions is reported, so one slow repetition (a page fault, the other core busy) does
// not move the figure. Ratios are taken between measurements of the same run.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace bench {

inline double Now() {
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER t;
    QueryPerformanceCounter(&t);
    return static_cast<double>(t.QuadPart) / frequency;
}

// Nanoseconds per call of `body`, median over `repetitions` runs of `calls` calls each.
inline double MedianNsPerCall(const std::function<void()>& body, int calls, int repetitions = 9) {
    std::vector<double> samples;
    for (int r = 0; r < repetitions; ++r) {
        const double start = Now();
        for (int i = 0; i < calls; ++i) {
            body();
        }
        samples.push_back((Now() - start) * 1e9 / calls);
    }
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Nanoseconds per call of `measured` and of `floor`, medians over `repetitions` short batches
// taken in turn, so that the other work on the machine weighs on both alike.
inline std::pair<double, double> SideBySide(const std::function<void()>& measured,
                                            const std::function<void()>& floor, int calls,
                                            int repetitions) {
    std::vector<double> a;
    std::vector<double> b;
    for (int r = 0; r < repetitions; ++r) {
        b.push_back(MedianNsPerCall(floor, calls, 1));
        a.push_back(MedianNsPerCall(measured, calls, 1));
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return {a[a.size() / 2], b[b.size() / 2]};
}

struct Row {
    std::string name;
    double ns;
    std::string floorName;
    double floorNs;
    double target;  // ratio to meet; 0 when the row only reports
};

inline int Report(const char* title, const std::vector<Row>& rows) {
    int missed = 0;
    printf("\n%s\n", title);
    printf("| measurement | ns/call | floor | floor ns/call | ratio | target |\n");
    printf("|---|---:|---|---:|---:|---:|\n");
    for (const auto& r : rows) {
        const double ratio = r.floorNs > 0 ? r.ns / r.floorNs : 0;
        const bool ok = r.target == 0 || ratio <= r.target;
        missed += ok ? 0 : 1;
        char target[32] = "-";
        if (r.target > 0) {
            snprintf(target, sizeof(target), "%s %gx", ok ? "<=" : "MISSED", r.target);
        }
        printf("| %s | %.1f | %s | %.1f | %.2fx | %s |\n", r.name.c_str(), r.ns,
               r.floorName.c_str(), r.floorNs, ratio, target);
    }
    return missed;
}

}  // namespace bench

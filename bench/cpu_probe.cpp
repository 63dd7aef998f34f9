// tarvek-cpu-probe PID SECONDS [INSTRUMENT_LOG]
//
// The CPU of a running process second by second, for xvfb.sh. It samples the
// process's threads (/proc/PID/task/*/schedstat, nanoseconds on the CPU) at
// every half second of the wall clock, so each one-second window holds one
// whole-second clock tick of the program, and a scan (which starts just after
// its quarter-minute mark and is over within half a second) falls in the
// window of its mark and, for what it leaves behind, the next one.
//
// Printed on one line as key=value, per second in ms of CPU:
//   cpu      all windows;
//   between  the windows without a scan (all but the mark's and the next);
//   scan_*   per quarter-minute mark, the two windows of its scan beyond two
//            "between" windows: the CPU a scan adds to the clock;
//   stat     all windows again, from /proc/PID/stat (whole clock ticks), as a
//            check that no thread came and went unseen;
// and, given the simulated instrument's --verbose log, how late each select
// byte arrived after its mark, and how many marks of the run had a scan.
// A second line lists each scan's ms, a third the process's threads.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <numeric>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

// Nanoseconds on the CPU of all live threads of `pid`.
long long ThreadsNs(const std::string& pid) {
    long long sum = 0;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + pid + "/task", error)) {
        std::ifstream in(task.path() / "schedstat");
        long long ns = 0;
        if (in >> ns)
            sum += ns;
    }
    return sum;
}

// User and system time of the whole process, dead threads included, in ns.
long long StatNs(const std::string& pid) {
    std::ifstream in("/proc/" + pid + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i) {
        if (i == 14)
            utime = std::atoll(field.c_str());
        if (i == 15)
            stime = std::atoll(field.c_str());
    }
    return (utime + stime) * 1000000000LL / sysconf(_SC_CLK_TCK);
}

std::string ThreadNames(const std::string& pid) {
    std::string names;
    std::error_code error;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + pid + "/task", error)) {
        std::ifstream in(task.path() / "comm");
        std::string name;
        std::getline(in, name);
        names += (names.empty() ? "" : ",") + name;
    }
    return names;
}

void SleepUntil(const timespec& at) {
    while (clock_nanosleep(CLOCK_REALTIME, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

// Seconds since local midnight.
int LocalSecondOfDay(time_t t) {
    tm local{};
    localtime_r(&t, &local);
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

double Median(std::vector<double> v) {
    if (v.empty())
        return NAN;
    std::sort(v.begin(), v.end());
    return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

double Max(const std::vector<double>& v) {
    return v.empty() ? NAN : *std::max_element(v.begin(), v.end());
}

double Mean(const std::vector<double>& v) {
    return v.empty() ? NAN : std::accumulate(v.begin(), v.end(), 0.0) / double(v.size());
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3 || argc > 4) {
        std::fprintf(stderr, "usage: tarvek-cpu-probe PID SECONDS [INSTRUMENT_LOG]\n");
        return 2;
    }
    const std::string pid = argv[1];
    const int seconds = std::atoi(argv[2]);

    // Start at the next half second.
    timespec at{};
    clock_gettime(CLOCK_REALTIME, &at);
    at.tv_sec += at.tv_nsec < 500000000 ? 0 : 1;
    at.tv_nsec = 500000000;
    SleepUntil(at);
    const int firstSecond = LocalSecondOfDay(at.tv_sec + 1); // the second in the middle of window 0
    long long before = ThreadsNs(pid);
    const long long statBefore = StatNs(pid);
    std::vector<double> window; // ms of CPU in [s - 0.5, s + 0.5) for s = firstSecond + i
    for (int i = 0; i < seconds; ++i) {
        ++at.tv_sec;
        SleepUntil(at);
        const long long now = ThreadsNs(pid);
        window.push_back(double(now - before) / 1e6);
        before = now;
    }
    const double statMsPerSecond = double(StatNs(pid) - statBefore) / 1e6 / seconds;

    // A scan's windows: its mark's and the next.
    auto second = [&](size_t i) { return (firstSecond + int(i)) % 86400; };
    std::vector<double> between;
    for (size_t i = 0; i < window.size(); ++i) {
        if (second(i) % 15 != 0 && second(i) % 15 != 1)
            between.push_back(window[i]);
    }
    const double base = Mean(between);
    std::vector<double> scans;
    for (size_t i = 0; i + 1 < window.size(); ++i) {
        if (second(i) % 15 == 0)
            scans.push_back(window[i] + window[i + 1] - 2 * base);
    }

    // Select bytes inside the run, and the marks that had one.
    std::vector<double> late;
    int marks = 0, scanned = 0;
    if (argc == 4) {
        std::ifstream log(argv[3]);
        static const std::regex select("select byte at (\\d\\d):(\\d\\d):(\\d\\d\\.\\d+)");
        std::vector<double> selects;
        for (std::string line; std::getline(log, line);) {
            std::smatch m;
            if (std::regex_search(line, m, select))
                selects.push_back(std::stoi(m[1]) * 3600 + std::stoi(m[2]) * 60 + std::stod(m[3]));
        }
        // Marks whose whole quarter-minute lies inside the run.
        for (int s = firstSecond; s + 15 <= firstSecond + seconds; ++s) {
            if (s % 15 != 0)
                continue;
            ++marks;
            const auto hit =
                std::find_if(selects.begin(), selects.end(), [&](double t) { return t >= s && t < s + 15; });
            if (hit != selects.end()) {
                ++scanned;
                late.push_back((*hit - s) * 1000);
            }
        }
    }

    std::printf("cpu=%.3f between=%.3f stat=%.3f scans=%zu scan_median=%.2f scan_max=%.2f marks=%d "
                "scanned=%d late_median=%.1f late_max=%.1f\n",
                Mean(window), base, statMsPerSecond, scans.size(), Median(scans), Max(scans), marks, scanned,
                Median(late), Max(late));
    std::printf("each_scan_ms=");
    for (size_t i = 0; i < scans.size(); ++i)
        std::printf("%s%.1f", i ? "," : "", scans[i]);
    std::printf("\nthreads=%s\n", ThreadNames(pid).c_str());
    return 0;
}

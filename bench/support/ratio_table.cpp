#include "ratio_table.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

struct Median {
    double seconds = 0;
    std::map<std::string, double> counters;
};

// Keeps the medians; the console reporter prints only the context (machine,
// library build), the table comes after all runs.
class MedianCollector : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            // A single repetition has no aggregates; its one run stands.
            bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
            if (!median && !single) continue;
            Median& m = medians[nameOf(run)];
            m.seconds = run.GetAdjustedRealTime() / timeUnitPerSecond(run.time_unit);
            for (const auto& [name, counter] : run.counters) m.counters[name] = counter.value;
            if (order.empty() || order.back() != nameOf(run)) order.push_back(nameOf(run));
        }
    }

    std::map<std::string, Median> medians;
    std::vector<std::string> order;

private:
    static std::string nameOf(const Run& run)
    {
        std::string name = run.run_name.function_name;
        if (!run.run_name.args.empty()) name += "/" + run.run_name.args;
        return name;
    }
    static double timeUnitPerSecond(benchmark::TimeUnit unit)
    {
        switch (unit) {
        case benchmark::kNanosecond: return 1e9;
        case benchmark::kMicrosecond: return 1e6;
        case benchmark::kMillisecond: return 1e3;
        default: return 1;
        }
    }
};

std::string sizeText(const std::string& arg)
{
    char* end = nullptr;
    unsigned long long n = std::strtoull(arg.c_str(), &end, 10);
    if (end == arg.c_str() || *end != 0) return arg;
    char text[32];
    if (n >= (1ull << 20) && n % (1ull << 20) == 0)
        std::snprintf(text, sizeof text, "%llu MiB", n >> 20);
    else if (n >= 1024 && n % 1024 == 0)
        std::snprintf(text, sizeof text, "%llu KiB", n >> 10);
    else
        std::snprintf(text, sizeof text, "%llu", n);
    return text;
}

std::string timeText(double seconds)
{
    char text[32];
    if (seconds >= 1)
        std::snprintf(text, sizeof text, "%.3f s", seconds);
    else if (seconds >= 1e-3)
        std::snprintf(text, sizeof text, "%.3f ms", seconds * 1e3);
    else
        std::snprintf(text, sizeof text, "%.3f us", seconds * 1e6);
    return text;
}

void printCounters(const Median& m)
{
    for (const auto& [counter, value] : m.counters) std::printf("    %-32s %.3f\n", counter.c_str(), value);
}

void printTable(const MedianCollector& collected)
{
    std::printf("\n%-28s %10s %14s %14s %8s\n", "case", "size", "ours", "openssl", "ratio");
    for (const std::string& name : collected.order) {
        size_t ours = name.find("/ours");
        const Median& m = collected.medians.at(name);
        if (ours != std::string::npos) {
            std::string peer = name.substr(0, ours) + "/openssl" + name.substr(ours + 5);
            auto found = collected.medians.find(peer);
            std::string what = name.substr(0, ours);
            std::string rest = name.substr(ours + 5);
            std::string size = rest.empty() ? "" : sizeText(rest.substr(1));
            if (found == collected.medians.end()) {
                std::printf("%-28s %10s %14s %14s %8s\n", what.c_str(), size.c_str(), timeText(m.seconds).c_str(), "-",
                            "-");
            } else {
                std::printf("%-28s %10s %14s %14s %8.3f\n", what.c_str(), size.c_str(), timeText(m.seconds).c_str(),
                            timeText(found->second.seconds).c_str(), m.seconds / found->second.seconds);
            }
            printCounters(m);
        } else if (name.find("/openssl") == std::string::npos) {
            std::printf("%-28s %10s %14s\n", name.c_str(), "", timeText(m.seconds).c_str());
            printCounters(m);
        }
    }
}

}  // namespace

int bench_runWithRatioTable(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    MedianCollector collector;
    benchmark::RunSpecifiedBenchmarks(&collector);
    printTable(collector);
    benchmark::Shutdown();
    return 0;
}

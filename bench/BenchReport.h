#pragma once

// What every benchmark program shares: a reporter that keeps every run for
// the summary, the summary's lines, and main()'s frame. Nothing here needs a
// display; BenchSupport.h adds the windows.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <unistd.h>

namespace bench
{

// Prints as the console does and keeps every run for the summary. In
// colour only on a terminal: given a reporter of its own, the library no
// longer looks at --benchmark_color.
class KeepingReporter : public benchmark::ConsoleReporter
{
public:
    KeepingReporter() : ConsoleReporter(isatty(fileno(stdout)) ? OO_ColorTabular : OO_Tabular) {}

    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration)
                continue;
            std::string name = run.run_name.function_name + (run.run_name.args.empty() ? "" : "/") +
                               run.run_name.args;
            if (run.error_occurred)
                fErrors.push_back(name + ": " + run.error_message);
            else
                fRuns[name].push_back(run);
        }
    }

    // The benchmarks that stopped with an error, with the error.
    const std::vector<std::string>& Errors() const { return fErrors; }

    // Milliseconds per iteration, averaged over repetitions; < 0 if the
    // benchmark did not run.
    double Milliseconds(const std::string& name) const
    {
        return Average(name, [](const Run& run) {
            return run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit) *
                   1e3;
        });
    }
    // A counter averaged over repetitions; < 0 if missing.
    double Counter(const std::string& name, const std::string& counter) const
    {
        return Average(name, [&](const Run& run) {
            auto found = run.counters.find(counter);
            return found != run.counters.end() ? found->second.value : -1.0;
        });
    }

private:
    double Average(const std::string& name, const std::function<double(const Run&)>& value) const
    {
        auto found = fRuns.find(name);
        if (found == fRuns.end() || found->second.empty())
            return -1;
        double sum = 0;
        for (const Run& run : found->second)
            sum += value(run);
        return sum / double(found->second.size());
    }

    std::map<std::string, std::vector<Run>> fRuns;
    std::vector<std::string> fErrors;
};

// Prints one line of the summary; false when a limit is given and missed.
// A number that is missing was filtered out or failed; run_benchmarks()
// fails the run for the second. A limit of -1 with its text is one that
// needs a baseline that did not run: it is shown as not checked.
inline bool report(const char* what, double value, const char* unit, double baseline = -1,
                   const char* baselineName = nullptr, double limit = -1,
                   const char* limitText = nullptr)
{
    if (value < 0) {
        printf("  %-34s (did not run)\n", what);
        return true;
    }
    printf("  %-34s %10.3f %s", what, value, unit);
    if (baseline > 0)
        printf("   %6.2fx %s", value / baseline, baselineName);
    bool ok = limit < 0 || value < limit;
    if (limitText != nullptr)
        printf("   [%s: %s]", limitText, limit < 0 ? "no baseline" : ok ? "ok" : "MISSED");
    printf("\n");
    return ok;
}

// Prints a count the summary shows as evidence of the work done, not timed.
inline void report_count(const char* what, double value, const char* unit)
{
    if (value < 0)
        printf("  %-34s (did not run)\n", what);
    else
        printf("  %-34s %10.0f %s\n", what, value, unit);
}

// Prints one rate of the summary, and when both ran, how many times the
// baseline's time per item it takes (above 1: slower than the baseline).
inline void report_rate(const char* what, double rate, const char* unit, double baseline = -1,
                        const char* baselineName = nullptr)
{
    if (rate <= 0) {
        printf("  %-40s (did not run)\n", what);
        return;
    }
    printf("  %-40s %12.0f %s", what, rate, unit);
    if (baseline > 0)
        printf("   %6.2fx the time of %s", baseline / rate, baselineName);
    printf("\n");
}

// Prints a target as met, missed, or not checked (a rate it needs did not
// run, e.g. filtered out); false only when missed.
inline bool report_target(const char* what, bool checked, bool met)
{
    printf("  target: %-50s %s\n", what, !checked ? "not checked" : met ? "met" : "MISSED");
    return !checked || met;
}

// Runs the benchmarks named on the command line (all by default), then
// `summarize` with what they reported. `around`, when given, runs the
// benchmarks inside what they need (an application and its display). The
// exit status: 2 for an argument the library does not take, 1 when a
// benchmark failed its own checks or `summarize` finds a limit missed,
// else 0.
inline int run_benchmarks(int argc, char** argv,
                          const std::function<bool(const KeepingReporter&)>& summarize,
                          const std::function<void(const std::function<void()>&)>& around = {})
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    int status = 0;
    auto run = [&] {
        KeepingReporter reporter;
        benchmark::RunSpecifiedBenchmarks(&reporter);
        printf("\nSummary (ratios against a baseline from this run)\n");
        bool ok = summarize(reporter);
        for (const std::string& error : reporter.Errors())
            printf("  FAILED %s\n", error.c_str());
        status = ok && reporter.Errors().empty() ? 0 : 1;
    };
    if (around)
        around(run);
    else
        run();
    benchmark::Shutdown();
    return status;
}

} // namespace bench

// Shows the benchmark run as it goes (one line per finished benchmark) and ends it with a short
// table of the figures that matter, computed from the same runs that go to results.json.
#pragma once

#include <benchmark/benchmark.h>

#include <map>
#include <string>

class SummaryReporter : public benchmark::BenchmarkReporter {
public:
    bool ReportContext(const Context& context) override;
    void ReportRuns(const std::vector<Run>& runs) override;
    void Finalize() override;
    // True when a benchmark stopped with an error (its figure would be missing or wrong).
    bool Failed() const { return m_failed; }

private:
    // The run whose name (function and arguments) is `name`, or null.
    const Run* Find(const std::string& name) const;
    double Counter(const Run& run, const std::string& key) const;
    static double SecondsPerIteration(const Run& run);

    std::map<std::string, Run> m_runs;
    bool m_failed = false;
};

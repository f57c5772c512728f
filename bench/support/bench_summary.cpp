// The summary printed after a benchmark run: per-item costs, ratios to the baseline, growth with size.
#include "bench_summary.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>

namespace zelm_bench {

namespace {

constexpr const char *kBaseline = "boost";
constexpr const char *kItemsCounter = "items";

std::vector<std::string> Split(const std::string &name)
{
    std::vector<std::string> parts;
    std::stringstream in(name);
    for (std::string part; std::getline(in, part, '/');) {
        parts.push_back(part);
    }
    return parts;
}

double Median(std::vector<double> values)
{
    if (values.empty()) {
        return 0.0;
    }
    std::sort(values.begin(), values.end());
    const size_t mid = values.size() / 2;
    return (values.size() % 2 == 1) ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

double ToNanoseconds(double value, benchmark::TimeUnit unit)
{
    switch (unit) {
    case benchmark::kSecond:
        return value * 1e9;
    case benchmark::kMillisecond:
        return value * 1e6;
    case benchmark::kMicrosecond:
        return value * 1e3;
    case benchmark::kNanosecond:
        break;
    }
    return value;
}

std::string Fixed(double value, int digits)
{
    char text[64];
    std::snprintf(text, sizeof(text), "%.*f", digits, value);
    return text;
}

std::string Cost(double ns)
{
    return Fixed(ns, ns < 100.0 ? 1 : 0);
}

}  // namespace

void SummaryReporter::ReportRuns(const std::vector<Run> &runs)
{
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
        if (run.error_occurred || run.run_type != Run::RT_Iteration) {
            continue;
        }
        const std::vector<std::string> parts = Split(run.run_name.function_name);
        if (parts.size() < 4) {
            continue;
        }
        auto it = std::find_if(series_.begin(), series_.end(), [&](const Series &s) {
            return s.family == parts[0] && s.op == parts[1] && s.impl == parts[2] && s.size == std::stoll(parts[3]);
        });
        if (it == series_.end()) {
            series_.push_back(Series{parts[0], parts[1], parts[2], std::stoll(parts[3]), {}, {}});
            it = series_.end() - 1;
        }
        const auto items = run.counters.find(kItemsCounter);
        if (items != run.counters.end() && items->second.value > 0) {
            it->nsPerItem.push_back(ToNanoseconds(run.GetAdjustedCPUTime(), run.time_unit) / items->second.value);
        }
        for (const auto &[name, counter] : run.counters) {
            if (name != kItemsCounter) {
                it->counters[name].push_back(counter.value);
            }
        }
    }
}

std::string SummaryReporter::Render() const
{
    std::ostringstream out;
    std::vector<std::string> families;
    for (const Series &s : series_) {
        if (std::find(families.begin(), families.end(), s.family) == families.end()) {
            families.push_back(s.family);
        }
    }
    for (const std::string &family : families) {
        std::vector<const Series *> timed, reports;
        std::vector<std::string> impls, ops;
        std::set<long long> sizes;
        for (const Series &s : series_) {
            if (s.family != family) {
                continue;
            }
            (s.nsPerItem.empty() ? reports : timed).push_back(&s);
            if (!s.nsPerItem.empty()) {
                if (std::find(impls.begin(), impls.end(), s.impl) == impls.end()) {
                    impls.push_back(s.impl);
                }
                if (std::find(ops.begin(), ops.end(), s.op) == ops.end()) {
                    ops.push_back(s.op);
                }
                sizes.insert(s.size);
            }
        }
        auto find = [&](const std::string &op, const std::string &impl, long long size) -> const Series * {
            for (const Series *s : timed) {
                if (s->op == op && s->impl == impl && s->size == size) {
                    return s;
                }
            }
            return nullptr;
        };
        if (!timed.empty()) {
            const bool hasBaseline = std::find(impls.begin(), impls.end(), kBaseline) != impls.end();
            out << "\n### " << family << ": CPU ns per item (median of runs)\n\n| op | size |";
            for (const std::string &impl : impls) {
                out << ' ' << impl << " |";
            }
            if (hasBaseline) {
                for (const std::string &impl : impls) {
                    if (impl != kBaseline) {
                        out << ' ' << impl << '/' << kBaseline << " |";
                    }
                }
            }
            out << "\n|---|---:|";
            for (size_t i = 0; i < impls.size() + (hasBaseline ? impls.size() - 1 : 0); ++i) {
                out << "---:|";
            }
            out << '\n';
            for (const std::string &op : ops) {
                for (long long size : sizes) {
                    bool any = false;
                    for (const std::string &impl : impls) {
                        any = any || find(op, impl, size) != nullptr;
                    }
                    if (!any) {
                        continue;
                    }
                    out << "| " << op << " | " << size << " |";
                    for (const std::string &impl : impls) {
                        const Series *s = find(op, impl, size);
                        out << ' ' << (s ? Cost(Median(s->nsPerItem)) : "-") << " |";
                    }
                    if (hasBaseline) {
                        const Series *base = find(op, kBaseline, size);
                        for (const std::string &impl : impls) {
                            if (impl == kBaseline) {
                                continue;
                            }
                            const Series *s = find(op, impl, size);
                            out << ' '
                                << ((s && base) ? Fixed(Median(s->nsPerItem) / Median(base->nsPerItem), 2) + "x" : "-")
                                << " |";
                        }
                    }
                    out << '\n';
                }
            }
            if (sizes.size() > 1) {
                out << "\nGrowth from the smallest to the largest size (cost per item, largest / smallest):\n\n"
                    << "| op | impl | sizes | growth |\n|---|---|---|---:|\n";
                for (const std::string &op : ops) {
                    for (const std::string &impl : impls) {
                        const Series *lo = nullptr;
                        const Series *hi = nullptr;
                        for (long long size : sizes) {
                            if (const Series *s = find(op, impl, size)) {
                                lo = lo ? lo : s;
                                hi = s;
                            }
                        }
                        if (lo && hi && lo != hi) {
                            out << "| " << op << " | " << impl << " | " << lo->size << " -> " << hi->size << " | "
                                << Fixed(Median(hi->nsPerItem) / Median(lo->nsPerItem), 2) << "x |\n";
                        }
                    }
                }
            }
        }
        if (!reports.empty()) {
            std::vector<std::string> names;
            for (const Series *s : reports) {
                for (const auto &[name, values] : s->counters) {
                    if (std::find(names.begin(), names.end(), name) == names.end()) {
                        names.push_back(name);
                    }
                }
            }
            out << "\n### " << family << "\n\n| op | impl | size |";
            for (const std::string &name : names) {
                out << ' ' << name << " |";
            }
            out << "\n|---|---|---:|";
            for (size_t i = 0; i < names.size(); ++i) {
                out << "---:|";
            }
            out << '\n';
            for (const Series *s : reports) {
                out << "| " << s->op << " | " << s->impl << " | " << s->size << " |";
                for (const std::string &name : names) {
                    const auto it = s->counters.find(name);
                    out << ' ' << (it == s->counters.end() ? "-" : Fixed(Median(it->second), 2)) << " |";
                }
                out << '\n';
            }
        }
    }
    return out.str();
}

void SummaryReporter::Finalize()
{
    ConsoleReporter::Finalize();
    const std::string summary = Render();
    GetOutputStream() << "\n## Summary\n" << summary << std::flush;
    if (!copyPath_.empty()) {
        std::ofstream copy(copyPath_, std::ios::app);
        copy << summary;
    }
}

}  // namespace zelm_bench

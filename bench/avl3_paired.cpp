// Interleaved AVL3 / boost runs: the ratio of the two trees, measured pass by pass in one run.
//
// A machine shared with other work drifts by tens of percent within seconds,
// more than the difference being measured. Each round here runs the same batch
// of operations on both trees back to back (which goes first alternates),
// times each pass with the thread's CPU clock and keeps the ratio of the pair;
// the result is the median of the rounds, with the quartiles for the spread.
// Inserts and deletes work on a tree that keeps (nearly) its full size: a
// round takes a batch out and puts it back, timing one half. The grow series
// build each tree from empty instead, as a configuration load does: entries
// are linked in the order they lie in memory (the order a host allocates
// them), their keys in a random order drawn afresh for every round;
// grow_insert times that build, grow_find lookups in the tree just built.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "avl3_trees.h"

namespace {

using namespace avl3_bench;

enum class Op { Insert, FindHit, FindMiss, Delete, Walk, GrowInsert, GrowFind };

double ThreadCpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

double Quantile(std::vector<double> values, double q)
{
    std::sort(values.begin(), values.end());
    const size_t at = static_cast<size_t>(q * static_cast<double>(values.size() - 1) + 0.5);
    return values[at];
}

// Both trees over the same workload, and one pass of each for a batch [from, from + count).
class Pair {
public:
    explicit Pair(size_t n) : w_(GetWorkload(n)), axo_(AxoEntries(w_)), boost_(BoostEntries(w_))
    {
        AxoBuild(&axoTree_, axo_);
        BoostBuild(boostTree_, boost_);
    }
    ~Pair() { boostTree_.clear(); }

    // Runs the timed half of `op` on one tree for round `round`; returns its CPU nanoseconds.
    // Checks what it finds.
    double Pass(Op op, bool axo, size_t round, size_t count)
    {
        if (op == Op::GrowInsert || op == Op::GrowFind) {
            const double t = Grow(axo, round);
            return (op == Op::GrowInsert) ? t : Pass(Op::FindHit, axo, round, count);
        }
        const size_t n = w_.keys.size();
        const size_t queryFrom = (round * count) % kQueries;
        const size_t orderFrom = (round * count) % n;
        const std::vector<uint32_t> &order = w_.orders[round % w_.orders.size()];
        auto query = [&](const std::vector<uint32_t> &v, size_t i) { return v[(queryFrom + i) % kQueries]; };
        auto entry = [&](size_t i) { return order[(orderFrom + i) % n]; };
        double t0 = 0.0;
        size_t found = 0;
        uint64_t sum = 0;
        switch (op) {
        case Op::FindHit:
        case Op::FindMiss: {
            const std::vector<uint32_t> &keys = (op == Op::FindHit) ? w_.hits : w_.misses;
            t0 = ThreadCpuNs();
            if (axo) {
                for (size_t i = 0; i < count; ++i) {
                    uint32_t key = query(keys, i);
                    void *p = AXO_AVL3_Find(&axoTree_, &key, &kAxoInfo);
                    found += (p != nullptr) && static_cast<AxoEntry *>(p)->key == key;
                }
            } else {
                for (size_t i = 0; i < count; ++i) {
                    const uint32_t key = query(keys, i);
                    auto it = boostTree_.find(key);
                    found += it != boostTree_.end() && it->key == key;
                }
            }
            benchmark::DoNotOptimize(found);
            const double t = ThreadCpuNs() - t0;
            ok_ = ok_ && found == ((op == Op::FindHit) ? count : 0);
            return t;
        }
        case Op::Walk:
            t0 = ThreadCpuNs();
            if (axo) {
                for (void *p = AXO_AVL3_First(&axoTree_, &kAxoInfo); p != nullptr;
                     p = AXO_AVL3_Next(&static_cast<AxoEntry *>(p)->node, &kAxoInfo)) {
                    sum += static_cast<AxoEntry *>(p)->key;
                }
            } else {
                for (const BoostEntry &e : boostTree_) {
                    sum += e.key;
                }
            }
            benchmark::DoNotOptimize(sum);
            {
                const double t = ThreadCpuNs() - t0;
                ok_ = ok_ && sum == uint64_t{n} * (n - 1);
                return t;
            }
        case Op::Insert:
        case Op::Delete:
        case Op::GrowInsert:
        case Op::GrowFind:
            break;
        }
        // A batch goes out and comes back; one of the two halves is timed.
        const bool timeDelete = (op == Op::Delete);
        double t = 0.0;
        t0 = ThreadCpuNs();
        if (axo) {
            for (size_t i = 0; i < count; ++i) {
                AXO_AVL3_Delete(&axoTree_, &axo_[entry(i)].node);
            }
        } else {
            for (size_t i = 0; i < count; ++i) {
                boostTree_.erase(boostTree_.iterator_to(boost_[entry(i)]));
            }
        }
        if (timeDelete) {
            t = ThreadCpuNs() - t0;
        }
        t0 = ThreadCpuNs();
        if (axo) {
            for (size_t i = 0; i < count; ++i) {
                found += AXO_AVL3_Insert_Or_Find(&axoTree_, &axo_[entry(i)].node, &kAxoInfo) == nullptr;
            }
        } else {
            for (size_t i = 0; i < count; ++i) {
                found += boostTree_.insert(boost_[entry(i)]).second;
            }
        }
        if (!timeDelete) {
            t = ThreadCpuNs() - t0;
        }
        ok_ = ok_ && found == count;
        return t;
    }

    bool Sound() { return ok_ && AxoSound(&axoTree_, w_.keys.size()); }

private:
    // Empties one tree, gives its entries the keys of round `round`, and links them all in array
    // order; returns the CPU nanoseconds of the linking.
    double Grow(bool axo, size_t round)
    {
        const std::vector<uint32_t> &order = w_.orders[round % w_.orders.size()];
        size_t linked = 0;
        double t0 = 0.0;
        if (axo) {
            axoTree_ = AXO_AVL3_TREE{};
            for (size_t i = 0; i < axo_.size(); ++i) {
                axo_[i].node = AXO_AVL3_NODE{nullptr, nullptr, nullptr, -1, -1};
                axo_[i].key = w_.keys[order[i]];
            }
            t0 = ThreadCpuNs();
            for (AxoEntry &e : axo_) {
                linked += AXO_AVL3_Insert_Or_Find(&axoTree_, &e.node, &kAxoInfo) == nullptr;
            }
        } else {
            boostTree_.clear();
            for (size_t i = 0; i < boost_.size(); ++i) {
                boost_[i].key = w_.keys[order[i]];
            }
            t0 = ThreadCpuNs();
            for (BoostEntry &e : boost_) {
                linked += boostTree_.insert(e).second;
            }
        }
        const double t = ThreadCpuNs() - t0;
        ok_ = ok_ && linked == w_.keys.size();
        return t;
    }

    const Workload &w_;
    std::vector<AxoEntry> axo_;
    std::vector<BoostEntry> boost_;
    AXO_AVL3_TREE axoTree_{};
    BoostTree boostTree_;
    bool ok_ = true;
};

void Paired(benchmark::State &state, Op op, size_t n)
{
    Pair pair(n);
    const size_t batch = (op == Op::Walk || op == Op::GrowInsert) ? n : std::min<size_t>(n, 100000);
    std::vector<double> axoNs, boostNs, ratios;
    size_t round = 0;
    for (auto _ : state) {
        const bool axoFirst = (round % 2) == 0;
        const double first = pair.Pass(op, axoFirst, round, batch);
        const double second = pair.Pass(op, !axoFirst, round, batch);
        const double axo = axoFirst ? first : second;
        const double boost = axoFirst ? second : first;
        axoNs.push_back(axo / static_cast<double>(batch));
        boostNs.push_back(boost / static_cast<double>(batch));
        ratios.push_back(axo / boost);
        ++round;
    }
    if (!pair.Sound()) {
        state.SkipWithError("a tree lost, misordered or misfound keys");
        return;
    }
    state.counters["axo_ns"] = Quantile(axoNs, 0.5);
    state.counters["boost_ns"] = Quantile(boostNs, 0.5);
    state.counters["ratio"] = Quantile(ratios, 0.5);
    state.counters["ratio_q1"] = Quantile(ratios, 0.25);
    state.counters["ratio_q3"] = Quantile(ratios, 0.75);
}

const int kRegistered = [] {
    const std::pair<const char *, Op> ops[] = {{"insert", Op::Insert},      {"find_hit", Op::FindHit},
                                               {"find_miss", Op::FindMiss}, {"delete", Op::Delete},
                                               {"walk", Op::Walk},          {"grow_insert", Op::GrowInsert},
                                               {"grow_find", Op::GrowFind}};
    for (size_t n : {size_t{1000}, size_t{100000}, size_t{1000000}}) {
        for (const auto &[name, op] : ops) {
            const std::string full = std::string("avl3_paired/") + name + "/axo_vs_boost/" + std::to_string(n);
            const Op which = op;
            benchmark::RegisterBenchmark(full.c_str(), [which, n](benchmark::State &s) { Paired(s, which, n); })
                ->Iterations(n <= 1000 ? 2001 : 31)
                ->Unit(benchmark::kMillisecond);
        }
    }
    return 0;
}();

}  // namespace

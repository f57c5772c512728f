// AVL3 tree benchmarks: the stand-in's AXO_AVL3 tree against boost::intrusive::avl_set and std::set.
//
// Both intrusive trees hold the same entries: the tree link first (32 bytes),
// then a u32 key, in one contiguous array. Entries are inserted and deleted in
// random orders and keys looked up at random, each pass with fresh orders and
// queries (see Workload). The AVL3 tree orders keys with the wrapped
// difference the library's sets use; boost compares inline with `<`, which is
// the best an intrusive tree can do and the mark AVL3 is held to.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "avl3_trees.h"

namespace {

using namespace avl3_bench;

void SetItems(benchmark::State &state, size_t n)
{
    state.counters["items"] = static_cast<double>(n);
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(n));
}

// The order of pass `pass`, and the n queries of pass `pass` out of the long query sequence.
const std::vector<uint32_t> &OrderOf(const Workload &w, size_t pass)
{
    return w.orders[pass % w.orders.size()];
}
size_t QueryStart(size_t n, size_t pass)
{
    return (pass * n) % kQueries;
}

// ---- AXO AVL3 ---------------------------------------------------------------------

void AxoInsert(benchmark::State &state, size_t n)
{
    const Workload &w = GetWorkload(n);
    std::vector<AxoEntry> entries = AxoEntries(w);
    AXO_AVL3_TREE tree{};
    size_t clashes = 0;
    size_t pass = 0;
    for (auto _ : state) {
        state.PauseTiming();
        tree = AXO_AVL3_TREE{};
        for (AxoEntry &e : entries) {
            e.node = AXO_AVL3_NODE{nullptr, nullptr, nullptr, -1, -1};
        }
        const std::vector<uint32_t> &order = OrderOf(w, pass++);
        state.ResumeTiming();
        for (uint32_t i : order) {
            clashes += AXO_AVL3_Insert_Or_Find(&tree, &entries[i].node, &kAxoInfo) != nullptr;
        }
        benchmark::DoNotOptimize(tree.root);
    }
    if (clashes != 0 || !AxoSound(&tree, n)) {
        state.SkipWithError("the AVL3 tree lost or misordered keys");
    }
    SetItems(state, n);
}

void AxoFind(benchmark::State &state, size_t n, bool hit)
{
    const Workload &w = GetWorkload(n);
    std::vector<AxoEntry> entries = AxoEntries(w);
    AXO_AVL3_TREE tree{};
    AxoBuild(&tree, entries);
    const std::vector<uint32_t> &keys = hit ? w.hits : w.misses;
    size_t found = 0;
    size_t pass = 0;
    for (auto _ : state) {
        found = 0;
        const size_t start = QueryStart(n, pass++);
        for (size_t q = 0; q < n; ++q) {
            uint32_t key = keys[(start + q) % kQueries];
            void *p = AXO_AVL3_Find(&tree, &key, &kAxoInfo);
            found += (p != nullptr) && static_cast<AxoEntry *>(p)->key == key;
        }
        benchmark::DoNotOptimize(found);
    }
    if (found != (hit ? n : 0)) {
        state.SkipWithError("the AVL3 tree found the wrong entries");
    }
    SetItems(state, n);
}

void AxoDelete(benchmark::State &state, size_t n)
{
    const Workload &w = GetWorkload(n);
    std::vector<AxoEntry> entries = AxoEntries(w);
    AXO_AVL3_TREE tree{};
    size_t pass = 0;
    for (auto _ : state) {
        state.PauseTiming();
        AxoBuild(&tree, entries);
        const std::vector<uint32_t> &order = OrderOf(w, pass++);
        state.ResumeTiming();
        for (uint32_t i : order) {
            AXO_AVL3_Delete(&tree, &entries[i].node);
        }
        benchmark::DoNotOptimize(tree.root);
    }
    if (tree.root != nullptr || tree.first != nullptr || tree.last != nullptr) {
        state.SkipWithError("the AVL3 tree is not empty after deleting every entry");
    }
    SetItems(state, n);
}

void AxoWalk(benchmark::State &state, size_t n)
{
    const Workload &w = GetWorkload(n);
    std::vector<AxoEntry> entries = AxoEntries(w);
    AXO_AVL3_TREE tree{};
    AxoBuild(&tree, entries);
    uint64_t sum = 0;
    for (auto _ : state) {
        sum = 0;
        for (void *p = AXO_AVL3_First(&tree, &kAxoInfo); p != nullptr;
             p = AXO_AVL3_Next(&static_cast<AxoEntry *>(p)->node, &kAxoInfo)) {
            sum += static_cast<AxoEntry *>(p)->key;
        }
        benchmark::DoNotOptimize(sum);
    }
    if (sum != uint64_t{n} * (n - 1)) {
        state.SkipWithError("the AVL3 walk missed entries");
    }
    SetItems(state, n);
}

// ---- boost::intrusive::avl_set ---------------------------------------------------------

void BoostInsert(benchmark::State &state, size_t n)
{
    const Workload &w = GetWorkload(n);
    std::vector<BoostEntry> entries = BoostEntries(w);
    BoostTree tree;
    size_t clashes = 0;
    size_t pass = 0;
    for (auto _ : state) {
        state.PauseTiming();
        tree.clear();
        const std::vector<uint32_t> &order = OrderOf(w, pass++);
        state.ResumeTiming();
        for (uint32_t i : order) {
            clashes += !tree.insert(entries[i]).second;
        }
        benchmark::DoNotOptimize(&*tree.begin());
    }
    if (clashes != 0 || static_cast<size_t>(std::distance(tree.begin(), tree.end())) != n) {
        state.SkipWithError("the boost tree lost keys");
    }
    tree.clear();
    SetItems(state, n);
}

void BoostFind(benchmark::State &state, size_t n, bool hit)
{
    const Workload &w = GetWorkload(n);
    std::vector<BoostEntry> entries = BoostEntries(w);
    BoostTree tree;
    BoostBuild(tree, entries);
    const std::vector<uint32_t> &keys = hit ? w.hits : w.misses;
    size_t found = 0;
    size_t pass = 0;
    for (auto _ : state) {
        found = 0;
        const size_t start = QueryStart(n, pass++);
        for (size_t q = 0; q < n; ++q) {
            const uint32_t key = keys[(start + q) % kQueries];
            auto it = tree.find(key);
            found += it != tree.end() && it->key == key;
        }
        benchmark::DoNotOptimize(found);
    }
    if (found != (hit ? n : 0)) {
        state.SkipWithError("the boost tree found the wrong entries");
    }
    tree.clear();
    SetItems(state, n);
}

void BoostDelete(benchmark::State &state, size_t n)
{
    const Workload &w = GetWorkload(n);
    std::vector<BoostEntry> entries = BoostEntries(w);
    BoostTree tree;
    size_t pass = 0;
    for (auto _ : state) {
        state.PauseTiming();
        BoostBuild(tree, entries);
        const std::vector<uint32_t> &order = OrderOf(w, pass++);
        state.ResumeTiming();
        for (uint32_t i : order) {
            tree.erase(tree.iterator_to(entries[i]));
        }
        benchmark::DoNotOptimize(tree.empty());
    }
    if (!tree.empty()) {
        state.SkipWithError("the boost tree is not empty after deleting every entry");
    }
    SetItems(state, n);
}

void BoostWalk(benchmark::State &state, size_t n)
{
    const Workload &w = GetWorkload(n);
    std::vector<BoostEntry> entries = BoostEntries(w);
    BoostTree tree;
    BoostBuild(tree, entries);
    uint64_t sum = 0;
    for (auto _ : state) {
        sum = 0;
        for (const BoostEntry &e : tree) {
            sum += e.key;
        }
        benchmark::DoNotOptimize(sum);
    }
    if (sum != uint64_t{n} * (n - 1)) {
        state.SkipWithError("the boost walk missed entries");
    }
    tree.clear();
    SetItems(state, n);
}

// ---- std::set (allocates a node per key) ---------------------------------------------------

void StdInsert(benchmark::State &state, size_t n)
{
    const Workload &w = GetWorkload(n);
    std::set<uint32_t> tree;
    size_t pass = 0;
    for (auto _ : state) {
        state.PauseTiming();
        tree.clear();
        const std::vector<uint32_t> &order = OrderOf(w, pass++);
        state.ResumeTiming();
        for (uint32_t i : order) {
            tree.insert(w.keys[i]);
        }
        benchmark::DoNotOptimize(tree.size());
    }
    if (tree.size() != n) {
        state.SkipWithError("std::set lost keys");
    }
    SetItems(state, n);
}

void StdFind(benchmark::State &state, size_t n, bool hit)
{
    const Workload &w = GetWorkload(n);
    std::set<uint32_t> tree(w.keys.begin(), w.keys.end());
    const std::vector<uint32_t> &keys = hit ? w.hits : w.misses;
    size_t found = 0;
    size_t pass = 0;
    for (auto _ : state) {
        found = 0;
        const size_t start = QueryStart(n, pass++);
        for (size_t q = 0; q < n; ++q) {
            const uint32_t key = keys[(start + q) % kQueries];
            auto it = tree.find(key);
            found += it != tree.end() && *it == key;
        }
        benchmark::DoNotOptimize(found);
    }
    if (found != (hit ? n : 0)) {
        state.SkipWithError("std::set found the wrong keys");
    }
    SetItems(state, n);
}

// Erases by iterator, kept from the insertion: the node-handle delete the intrusive trees do.
void StdDelete(benchmark::State &state, size_t n)
{
    const Workload &w = GetWorkload(n);
    std::set<uint32_t> tree;
    std::vector<std::set<uint32_t>::iterator> where(n);
    size_t pass = 0;
    for (auto _ : state) {
        state.PauseTiming();
        tree.clear();
        for (size_t i = 0; i < n; ++i) {
            where[i] = tree.insert(w.keys[i]).first;
        }
        const std::vector<uint32_t> &order = OrderOf(w, pass++);
        state.ResumeTiming();
        for (uint32_t i : order) {
            tree.erase(where[i]);
        }
        benchmark::DoNotOptimize(tree.size());
    }
    if (!tree.empty()) {
        state.SkipWithError("std::set is not empty after deleting every key");
    }
    SetItems(state, n);
}

void StdWalk(benchmark::State &state, size_t n)
{
    const Workload &w = GetWorkload(n);
    std::set<uint32_t> tree(w.keys.begin(), w.keys.end());
    uint64_t sum = 0;
    for (auto _ : state) {
        sum = 0;
        for (uint32_t key : tree) {
            sum += key;
        }
        benchmark::DoNotOptimize(sum);
    }
    if (sum != uint64_t{n} * (n - 1)) {
        state.SkipWithError("std::set walk missed keys");
    }
    SetItems(state, n);
}

// ---- registration ------------------------------------------------------------------------------

using Fn = void (*)(benchmark::State &, size_t);
using FindFn = void (*)(benchmark::State &, size_t, bool);

struct Impl {
    const char *name;
    Fn insert;
    FindFn find;
    Fn erase;
    Fn walk;
};

const Impl kImpls[] = {
    {"axo", AxoInsert, AxoFind, AxoDelete, AxoWalk},
    {"boost", BoostInsert, BoostFind, BoostDelete, BoostWalk},
    {"std", StdInsert, StdFind, StdDelete, StdWalk},
};

// Sizes run one after the other, and within a size the three trees run back to back,
// so that a ratio compares runs made under the same conditions.
const int kRegistered = [] {
    for (size_t n : {size_t{1000}, size_t{100000}, size_t{1000000}}) {
        const benchmark::TimeUnit unit = n >= 100000 ? benchmark::kMillisecond : benchmark::kMicrosecond;
        auto add = [&](const char *op, const Impl &impl, auto fn) {
            const std::string name = std::string("avl3/") + op + "/" + impl.name + "/" + std::to_string(n);
            benchmark::RegisterBenchmark(name.c_str(), fn)->Unit(unit);
        };
        for (const Impl &impl : kImpls) {
            add("insert", impl, [impl, n](benchmark::State &s) { impl.insert(s, n); });
        }
        for (const Impl &impl : kImpls) {
            add("find_hit", impl, [impl, n](benchmark::State &s) { impl.find(s, n, true); });
        }
        for (const Impl &impl : kImpls) {
            add("find_miss", impl, [impl, n](benchmark::State &s) { impl.find(s, n, false); });
        }
        for (const Impl &impl : kImpls) {
            add("delete", impl, [impl, n](benchmark::State &s) { impl.erase(s, n); });
        }
        for (const Impl &impl : kImpls) {
            add("walk", impl, [impl, n](benchmark::State &s) { impl.walk(s, n); });
        }
    }
    return 0;
}();

}  // namespace

// The AVL3 benchmarks' entries, workloads and tree builders.
#include "avl3_trees.h"

#include <algorithm>
#include <cstddef>
#include <map>
#include <numeric>
#include <random>

namespace avl3_bench {

int32_t CompareU32(const void *a, const void *b)
{
    return static_cast<int32_t>(*static_cast<const uint32_t *>(a) - *static_cast<const uint32_t *>(b));
}

const AXO_AVL3_TREE_INFO kAxoInfo = {CompareU32, offsetof(AxoEntry, key), offsetof(AxoEntry, node)};

const Workload &GetWorkload(size_t n)
{
    static std::map<size_t, Workload> cache;
    auto [it, made] = cache.try_emplace(n);
    if (!made) {
        return it->second;
    }
    Workload &w = it->second;
    std::mt19937 rng(static_cast<uint32_t>(n) * 2654435761u + 7u);
    std::vector<uint32_t> order(n);
    std::iota(order.begin(), order.end(), 0u);
    std::shuffle(order.begin(), order.end(), rng);
    for (uint32_t i : order) {
        w.keys.push_back(2u * i);
    }
    std::uniform_int_distribution<uint32_t> pick(0, static_cast<uint32_t>(n - 1));
    for (size_t q = 0; q < kQueries; ++q) {
        w.hits.push_back(w.keys[pick(rng)]);
        w.misses.push_back(2u * pick(rng) + 1u);
    }
    const size_t orderCount = std::clamp<size_t>(kQueries / n, 1, 256);
    for (size_t k = 0; k < orderCount; ++k) {
        std::shuffle(order.begin(), order.end(), rng);
        w.orders.push_back(order);
    }
    return w;
}

std::vector<AxoEntry> AxoEntries(const Workload &w)
{
    std::vector<AxoEntry> entries(w.keys.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].key = w.keys[i];
    }
    return entries;
}

std::vector<BoostEntry> BoostEntries(const Workload &w)
{
    std::vector<BoostEntry> entries(w.keys.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        entries[i].key = w.keys[i];
    }
    return entries;
}

void AxoBuild(AXO_AVL3_TREE *tree, std::vector<AxoEntry> &entries)
{
    *tree = AXO_AVL3_TREE{};
    for (AxoEntry &e : entries) {
        e.node = AXO_AVL3_NODE{nullptr, nullptr, nullptr, -1, -1};
    }
    for (AxoEntry &e : entries) {
        (void)AXO_AVL3_Insert_Or_Find(tree, &e.node, &kAxoInfo);
    }
}

void BoostBuild(BoostTree &tree, std::vector<BoostEntry> &entries)
{
    tree.clear();
    for (BoostEntry &e : entries) {
        tree.insert(e);
    }
}

bool AxoSound(AXO_AVL3_TREE *tree, size_t n)
{
    size_t seen = 0;
    const AxoEntry *prev = nullptr;
    for (void *p = AXO_AVL3_First(tree, &kAxoInfo); p != nullptr;
         p = AXO_AVL3_Next(&static_cast<AxoEntry *>(p)->node, &kAxoInfo)) {
        const AxoEntry *e = static_cast<const AxoEntry *>(p);
        if (prev != nullptr && prev->key >= e->key) {
            return false;
        }
        prev = e;
        ++seen;
    }
    return seen == n;
}

}  // namespace avl3_bench

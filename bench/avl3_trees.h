// The trees the AVL3 benchmarks compare, their entries and the shared random workloads.
#ifndef ZELM_BENCH_AVL3_TREES_H
#define ZELM_BENCH_AVL3_TREES_H

#include <boost/intrusive/avl_set.hpp>

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/axo_avl3.h"

namespace avl3_bench {

namespace bi = boost::intrusive;

// Both intrusive entries lay out the same: the tree link first, then the u32 key.
struct AxoEntry {
    AXO_AVL3_NODE node;
    uint32_t key;
};

using BoostHook = bi::avl_set_member_hook<bi::link_mode<bi::normal_link>>;
struct BoostEntry {
    BoostHook hook;
    uint32_t key;
};
struct BoostKeyOf {
    using type = uint32_t;
    const type &operator()(const BoostEntry &entry) const { return entry.key; }
};
using BoostTree = bi::avl_set<BoostEntry, bi::member_hook<BoostEntry, BoostHook, &BoostEntry::hook>,
                              bi::key_of_value<BoostKeyOf>, bi::constant_time_size<false>>;

static_assert(sizeof(BoostHook) == sizeof(AXO_AVL3_NODE), "both links take the same room");
static_assert(sizeof(BoostEntry) == sizeof(AxoEntry), "both entries lay out the same");

// Orders u32 keys by their wrapped difference, as the library's sets do.
int32_t CompareU32(const void *a, const void *b);
extern const AXO_AVL3_TREE_INFO kAxoInfo;

// The keys and orders of one size, made with a fixed seed: every tree sees the same work.
// Query and order sequences are long and varied enough that a branch predictor
// cannot learn them across passes, which a 1000-key pass repeated would allow.
struct Workload {
    std::vector<uint32_t> keys;                 // key of entry i: even, distinct, in a random order
    std::vector<uint32_t> hits;                 // stored keys drawn at random, kQueries of them
    std::vector<uint32_t> misses;               // absent (odd) keys drawn at random, kQueries of them
    std::vector<std::vector<uint32_t>> orders;  // random orders of the entry indices
};
constexpr size_t kQueries = size_t{1} << 20;
const Workload &GetWorkload(size_t n);

std::vector<AxoEntry> AxoEntries(const Workload &w);
std::vector<BoostEntry> BoostEntries(const Workload &w);

// Links every entry into an emptied tree, clearing each node first as an owner must.
void AxoBuild(AXO_AVL3_TREE *tree, std::vector<AxoEntry> &entries);
void BoostBuild(BoostTree &tree, std::vector<BoostEntry> &entries);

// True when a walk meets n keys, each once, in ascending order.
bool AxoSound(AXO_AVL3_TREE *tree, size_t n);

}  // namespace avl3_bench

#endif

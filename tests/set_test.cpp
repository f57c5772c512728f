// Keyed sets: a model check of every operation against an ordered map, the u32 order, and the hooks' contract.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <cstddef>
#include <cstring>
#include <map>
#include <vector>

#include "support/avl3_check.h"
#include "support/lib_snapshot.h"
#include "zelm.h"
#include "zelm_standin.h"

namespace {

struct Rec {
    AXO_AVL3_NODE node;
    uint32_t key;
    uint32_t value;
    uint8_t tail[8];
};

// What the hooks saw; the init hook's result is scripted.
std::vector<uint32_t> g_finiKeys;
std::vector<uint32_t> g_countAtFini;
const ZelSet *g_watched = nullptr;

void RecordFini(void *entry, uint32_t size)
{
    EXPECT_EQ(size, sizeof(Rec));
    g_finiKeys.push_back(static_cast<Rec *>(entry)->key);
    g_countAtFini.push_back(ZEL_SET_Count(g_watched));
}

uint32_t ScriptedInit(void *entry, uint32_t size)
{
    std::memset(entry, 0, size);
    return 0;
}

constexpr ZelSetDesc kPlainDesc =
    {offsetof(Rec, key), offsetof(Rec, node), sizeof(uint32_t), sizeof(Rec), ZEL_AVL_Uint32Compare, nullptr, nullptr};
constexpr ZelSetDesc kHookedDesc = {offsetof(Rec, key),    offsetof(Rec, node), sizeof(uint32_t), sizeof(Rec),
                                    ZEL_AVL_Uint32Compare, ScriptedInit,        RecordFini};
constexpr ZelSetAllocator kHostAlloc = {STANDIN_HostMalloc, STANDIN_HostFree};

// Any sequence of inserts, node inserts, finds and deletes, with keys of the right length and of
// another, keeps the set equal to a map, its tree sound after every one and walked in key order; a delete and the
// destroy finish each entry (unlinked first) and every block goes back.
RC_GTEST_PROP(SetModelTest, BehavesLikeAnOrderedMap, ())
{
    STANDIN_Reset();
    const size_t baseBlocks = STANDIN_HostLiveBlocks();
    ZelSet *set = ZEL_AVL_Create(&kHookedDesc, &kHostAlloc);
    g_watched = set;
    RC_ASSERT(set != nullptr);
    // Small keys collide often; the far ones exercise the ordering of distant keys.
    const auto keyGen = rc::gen::oneOf(rc::gen::inRange<uint32_t>(0, 24),
                                       rc::gen::element<uint32_t>(0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu));
    const auto ops =
        *rc::gen::container<std::vector<std::pair<int, uint32_t>>>(rc::gen::pair(rc::gen::inRange(0, 5), keyGen));
    std::map<uint32_t, uint32_t> model;
    uint32_t stamp = 0;
    for (const auto &[op, k] : ops) {
        ++stamp;
        const uint64_t wide = k;  // an equal value of another length is no key of this set
        if (op == 0) {
            auto *rec = static_cast<Rec *>(ZEL_SET_Insert(set, &k, sizeof(k)));
            RC_ASSERT((rec != nullptr) == (model.count(k) == 0));
            if (rec != nullptr) {
                RC_ASSERT(rec->key == k && rec->value == 0u);
                rec->value = model[k] = stamp;
            }
        } else if (op == 1) {
            auto *rec = static_cast<Rec *>(STANDIN_HostMalloc(sizeof(Rec)));
            *rec = Rec{{}, k, stamp, {}};
            RC_ASSERT(ZEL_SET_InsertNode(set, rec, sizeof(Rec) - 1) == ZELM_ERR);
            const bool linked = ZEL_SET_InsertNode(set, rec, sizeof(Rec)) == ZELM_OK;
            RC_ASSERT(linked == (model.count(k) == 0));
            linked ? (void)(model[k] = stamp) : STANDIN_HostFree(rec);
        } else if (op == 2) {
            const auto *rec = static_cast<const Rec *>(ZEL_SET_Find(set, &k, sizeof(k)));
            RC_ASSERT((rec != nullptr ? rec->value : 0u) == (model.count(k) != 0 ? model[k] : 0u));
        } else if (op == 3) {
            g_finiKeys.clear();
            ZEL_SET_Delete(set, &k, sizeof(k));
            RC_ASSERT(g_finiKeys == (model.erase(k) != 0 ? std::vector<uint32_t>{k} : std::vector<uint32_t>{}));
        } else {
            const bool refused = ZEL_SET_Insert(set, &wide, sizeof(wide)) == nullptr &&
                                 ZEL_SET_Find(set, &wide, sizeof(wide)) == nullptr;
            ZEL_SET_Delete(set, &wide, sizeof(wide));
            RC_ASSERT(refused);
        }
        RC_ASSERT(ZEL_SET_Count(set) == model.size());
        RC_ASSERT(zt::Avl3Problem(ZEL_AVL_GetTree(set), &set->treeInfo).empty());
    }
    std::vector<uint32_t> keys;
    for (const auto &[k, v] : model) {
        keys.push_back(k);
    }
    RC_ASSERT(zt::KeysOf(set) == keys);
    g_finiKeys.clear();
    g_countAtFini.clear();
    ZEL_AVL_Destroy(set);
    RC_ASSERT(g_finiKeys == keys);
    for (size_t i = 0; i < g_countAtFini.size(); ++i) {
        RC_ASSERT(g_countAtFini[i] == keys.size() - 1 - i);
    }
    RC_ASSERT(STANDIN_HostLiveBlocks() == baseBlocks);
}

RC_GTEST_PROP(SetCompareTest, Uint32CompareIsATotalOrderAgreeingWithTheNumbers, (uint32_t a, uint32_t b))
{
    const int32_t ab = ZEL_AVL_Uint32Compare(&a, &b);
    RC_ASSERT((ab < 0) == (a < b));
    RC_ASSERT((ab == 0) == (a == b));
    RC_ASSERT((ab > 0) == (ZEL_AVL_Uint32Compare(&b, &a) < 0));
    if ((a > b ? a - b : b - a) < 0x80000000u) {
        RC_ASSERT(ab == static_cast<int32_t>(a - b));
    }
}

// Without an init hook a new entry is zero but for its key; entries linked by the caller stay the caller's.
TEST(SetTest, NewEntriesAreZeroAndCallerLinkedEntriesStayTheCallers)
{
    STANDIN_Reset();
    STANDIN_HostFillWithGarbage(1);  // only the set can make a new entry zero
    const size_t blocks = STANDIN_HostLiveBlocks();
    ZelSet *set = ZEL_AVL_Create(&kPlainDesc, &kHostAlloc);
    const uint32_t key = 0x01020304u;
    const Rec *rec = static_cast<const Rec *>(ZEL_SET_Insert(set, &key, sizeof(key)));
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->value | rec->tail[7], 0u);
    Rec a{{}, 4, 0, {}};
    Rec b{{}, 4, 0, {}};
    EXPECT_EQ(ZelSetInsertOrFindNode(set, &a, 0), nullptr);
    EXPECT_EQ(ZelSetInsertOrFindNode(set, &b, 0), &a);
    ZelSetDeleteNode(set, &a);
    ZelSetDeleteNode(set, &a);  // no longer linked: nothing happens
    ZelSetDeleteNode(set, &b);  // never linked
    EXPECT_EQ(ZEL_SET_Count(set), 1u);
    ZEL_AVL_Destroy(set);
    EXPECT_EQ(STANDIN_HostLiveBlocks(), blocks);
}

// Sets refuse descriptors and allocators they cannot work with, without allocating, and entries that cannot hold their key.
TEST(SetTest, DescriptorsAndAllocatorsTheyCannotWorkWithAreRefused)
{
    STANDIN_Reset();
    ZelSetDesc noCompare = kPlainDesc;
    noCompare.compare = nullptr;
    const ZelSetAllocator noFree = {STANDIN_HostMalloc, nullptr};
    const ZelSetAllocator noMalloc = {nullptr, STANDIN_HostFree};
    for (const ZelSet *set : {ZEL_AVL_Create(&noCompare, &kHostAlloc), ZEL_AVL_Create(&kPlainDesc, &noFree),
                              ZEL_AVL_Create(&kPlainDesc, &noMalloc)}) {
        EXPECT_EQ(set, nullptr);
    }
    EXPECT_EQ(STANDIN_CallCount("STANDIN_HostMalloc"), 0u);
    const uint32_t key = 7;
    ZelSetDesc keyOutside = kPlainDesc;
    keyOutside.keyOffset = sizeof(Rec);
    ZelSetDesc keyStraddlingTheEnd = kPlainDesc;
    keyStraddlingTheEnd.keyOffset = sizeof(Rec) - sizeof(key) / 2;
    ZelSetDesc noEntries = kPlainDesc;
    noEntries.entrySize = 0;
    for (const ZelSetDesc *desc : {&keyOutside, &keyStraddlingTheEnd, &noEntries}) {
        ZelSet *set = ZEL_AVL_Create(desc, &kHostAlloc);
        EXPECT_EQ(ZEL_SET_Insert(set, &key, sizeof(key)), nullptr);
        ZEL_AVL_Destroy(set);
    }
    EXPECT_EQ(ZEL_AVL_StringCompare("svc-a", "svc-b"), std::strcmp("svc-a", "svc-b"));
    EXPECT_EQ(STANDIN_HostLiveBlocks(), 0u);
}

}  // namespace

// Keyed sets: ownership of entries, key-length and duplicate rules, hooks, order, and a model check.
#include <gtest/gtest.h>
#include <rapidcheck.h>
#include <rapidcheck/gtest.h>

#include <climits>
#include <cstddef>
#include <cstring>
#include <map>
#include <vector>

#include "zelm.h"
#include "zelm_standin.h"

namespace {

struct Rec {
    AXO_AVL3_NODE node;
    uint32_t key;
    uint32_t value;
    uint8_t tail[8];
};

// What the hooks saw, for the current test.
std::vector<uint32_t> g_finiKeys;
std::vector<uint32_t> g_countAtFini;
const ZelSet *g_watched = nullptr;
uint32_t g_initResult = 0;
uint32_t g_initCalls = 0;

void RecordFini(void *entry, uint32_t size)
{
    EXPECT_EQ(size, sizeof(Rec));
    g_finiKeys.push_back(static_cast<Rec *>(entry)->key);
    g_countAtFini.push_back(ZEL_SET_Count(g_watched));
}

uint32_t ScriptedInit(void *entry, uint32_t size)
{
    ++g_initCalls;
    std::memset(entry, 0, size);
    return g_initResult;
}

// Hands out blocks full of garbage, so that only an init hook can make them zero.
void *DirtyMalloc(size_t size)
{
    void *p = STANDIN_HostMalloc(size);
    if (p != nullptr) {
        std::memset(p, 0xA5, size);
    }
    return p;
}

constexpr ZelSetDesc kPlainDesc = {offsetof(Rec, key), offsetof(Rec, node), sizeof(uint32_t), sizeof(Rec),
                                   ZEL_AVL_Uint32Compare, nullptr, nullptr};
constexpr ZelSetDesc kHookedDesc = {offsetof(Rec, key), offsetof(Rec, node), sizeof(uint32_t), sizeof(Rec),
                                    ZEL_AVL_Uint32Compare, ScriptedInit, RecordFini};
constexpr ZelSetAllocator kHostAlloc = {STANDIN_HostMalloc, STANDIN_HostFree};
constexpr ZelSetAllocator kDirtyAlloc = {DirtyMalloc, STANDIN_HostFree};

bool TreeSound(ZelSet *set)
{
    char why[128] = "";
    const int rc = STANDIN_AVL3_Check(ZEL_AVL_GetTree(set), &set->treeInfo, why, sizeof(why));
    EXPECT_EQ(rc, 0) << why;
    return rc == 0;
}

std::vector<uint32_t> WalkKeys(ZelSet *set)
{
    std::vector<uint32_t> keys;
    AXO_AVL3_TREE *tree = ZEL_AVL_GetTree(set);
    for (void *e = AXO_AVL3_First(tree, &set->treeInfo); e != nullptr;
         e = AXO_AVL3_Next(&static_cast<Rec *>(e)->node, &set->treeInfo)) {
        keys.push_back(static_cast<Rec *>(e)->key);
    }
    return keys;
}

// A reset stand-in and a fresh set on the counting host allocator; every block must be back at the end.
class SetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        STANDIN_Reset();
        g_finiKeys.clear();
        g_countAtFini.clear();
        g_initResult = 0;
        g_initCalls = 0;
        baseBlocks_ = STANDIN_HostLiveBlocks();
    }
    void TearDown() override
    {
        EXPECT_EQ(STANDIN_HostLiveBlocks(), baseBlocks_) << "set blocks left behind";
        g_watched = nullptr;
        STANDIN_Reset();
    }
    ZelSet *Make(const ZelSetDesc &desc, const ZelSetAllocator &alloc = kHostAlloc)
    {
        ZelSet *set = ZEL_AVL_Create(&desc, &alloc);
        g_watched = set;
        return set;
    }
    Rec *Insert(ZelSet *set, uint32_t key)
    {
        return static_cast<Rec *>(ZEL_SET_Insert(set, &key, sizeof(key)));
    }
    size_t baseBlocks_ = 0;
};

TEST_F(SetTest, CreateRefusesMissingPartsWithoutAllocating)
{
    ZelSetDesc noCompare = kPlainDesc;
    noCompare.compare = nullptr;
    const ZelSetAllocator noFree = {STANDIN_HostMalloc, nullptr};
    const ZelSetAllocator noMalloc = {nullptr, STANDIN_HostFree};

    EXPECT_EQ(ZEL_AVL_Create(nullptr, &kHostAlloc), nullptr);
    EXPECT_EQ(ZEL_AVL_Create(&kPlainDesc, nullptr), nullptr);
    EXPECT_EQ(ZEL_AVL_Create(&noCompare, &kHostAlloc), nullptr);
    EXPECT_EQ(ZEL_AVL_Create(&kPlainDesc, &noFree), nullptr);
    EXPECT_EQ(ZEL_AVL_Create(&kPlainDesc, &noMalloc), nullptr);
    EXPECT_EQ(STANDIN_CallCount("STANDIN_HostMalloc"), 0u);
}

TEST_F(SetTest, DefaultInitHookLeavesOnlyTheKeyNonZero)
{
    ZelSet *set = Make(kPlainDesc, kDirtyAlloc);
    Rec *rec = Insert(set, 0x01020304u);
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->key, 0x01020304u);
    EXPECT_EQ(rec->value, 0u);
    for (uint8_t b : rec->tail) {
        EXPECT_EQ(b, 0u);
    }
    ZEL_AVL_Destroy(set);
}

TEST_F(SetTest, FailedInitHookOrAllocationInsertsNothing)
{
    ZelSet *set = Make(kHookedDesc);
    g_initResult = 1;
    EXPECT_EQ(Insert(set, 5), nullptr);
    EXPECT_EQ(g_initCalls, 1u);
    g_initResult = 0;
    ASSERT_EQ(STANDIN_FailCall("STANDIN_HostMalloc", 1, 0), 0);
    EXPECT_EQ(Insert(set, 5), nullptr);
    EXPECT_EQ(g_initCalls, 1u) << "no hook for an entry that was never allocated";

    EXPECT_EQ(ZEL_SET_Count(set), 0u);
    EXPECT_TRUE(g_finiKeys.empty()) << "an entry that never got in is not finished";
    ZEL_AVL_Destroy(set);
    EXPECT_TRUE(g_finiKeys.empty());
}

TEST_F(SetTest, InsertOrFindNodeAndDeleteNodeLeaveReleaseToTheCaller)
{
    ZelSet *set = Make(kHookedDesc);
    Rec a{};
    a.key = 4;
    Rec b{};
    b.key = 4;
    EXPECT_EQ(ZelSetInsertOrFindNode(set, &a, 0), nullptr);
    EXPECT_EQ(ZelSetInsertOrFindNode(set, &b, 0), &a);
    EXPECT_EQ(ZEL_SET_Count(set), 1u);

    ZelSetDeleteNode(set, &a);
    EXPECT_EQ(ZEL_SET_Count(set), 0u);
    ZelSetDeleteNode(set, &a);  // no longer linked: nothing happens
    ZelSetDeleteNode(set, &b);  // never linked
    EXPECT_EQ(ZEL_SET_Count(set), 0u);
    EXPECT_TRUE(g_finiKeys.empty());
    ZEL_AVL_Destroy(set);
    EXPECT_TRUE(g_finiKeys.empty());
}

RC_GTEST_PROP(SetCompareTest, Uint32CompareIsATotalOrderAgreeingWithTheNumbers, (uint32_t a, uint32_t b))
{
    const int32_t ab = ZEL_AVL_Uint32Compare(&a, &b);
    const int32_t ba = ZEL_AVL_Uint32Compare(&b, &a);
    RC_ASSERT((ab < 0) == (a < b));
    RC_ASSERT((ab == 0) == (a == b));
    RC_ASSERT((ab > 0) == (ba < 0));
    const uint32_t distance = (a > b) ? a - b : b - a;
    if (distance < 0x80000000u) {
        RC_ASSERT(ab == static_cast<int32_t>(a - b));
    }
}

// Model check: any sequence of inserts, node inserts, finds and deletes keeps the
// set equal to a map, its tree sound and walked in key order, and returns every block.
RC_GTEST_PROP(SetModelTest, BehavesLikeAnOrderedMap, ())
{
    STANDIN_Reset();
    const size_t baseBlocks = STANDIN_HostLiveBlocks();
    g_finiKeys.clear();
    g_countAtFini.clear();
    g_initResult = 0;
    ZelSet *set = ZEL_AVL_Create(&kHookedDesc, &kHostAlloc);
    g_watched = set;
    RC_ASSERT(set != nullptr);

    // Small keys collide often; the far ones exercise the ordering of distant keys.
    const auto keyGen = rc::gen::oneOf(rc::gen::inRange<uint32_t>(0, 24),
                                       rc::gen::element<uint32_t>(0x7FFFFFFFu, 0x80000000u, 0xFFFFFFF0u, 0xFFFFFFFFu));
    std::map<uint32_t, uint32_t> model;
    const auto ops = *rc::gen::container<std::vector<std::pair<int, uint32_t>>>(
        rc::gen::pair(rc::gen::inRange(0, 5), keyGen));
    uint32_t stamp = 0;
    for (const auto &[op, key] : ops) {
        ++stamp;
        uint32_t k = key;
        if (op == 0) {
            auto *rec = static_cast<Rec *>(ZEL_SET_Insert(set, &k, sizeof(k)));
            RC_ASSERT((rec != nullptr) == (model.count(k) == 0));
            if (rec != nullptr) {
                RC_ASSERT(rec->key == k);
                rec->value = stamp;
                model[k] = stamp;
            }
        } else if (op == 1) {
            auto *rec = static_cast<Rec *>(STANDIN_HostMalloc(sizeof(Rec)));
            std::memset(rec, 0, sizeof(Rec));
            rec->key = k;
            rec->value = stamp;
            RC_ASSERT(ZEL_SET_InsertNode(set, rec, sizeof(Rec) - 1) == ZELM_ERR);
            const uint32_t rc = ZEL_SET_InsertNode(set, rec, sizeof(Rec));
            RC_ASSERT((rc == ZELM_OK) == (model.count(k) == 0));
            if (rc == ZELM_OK) {
                model[k] = stamp;
            } else {
                STANDIN_HostFree(rec);
            }
        } else if (op == 2) {
            auto *rec = static_cast<Rec *>(ZEL_SET_Find(set, &k, sizeof(k)));
            const auto it = model.find(k);
            RC_ASSERT((rec != nullptr) == (it != model.end()));
            if (rec != nullptr) {
                RC_ASSERT(rec->value == it->second);
            }
        } else if (op == 3) {
            g_finiKeys.clear();
            ZEL_SET_Delete(set, &k, sizeof(k));
            RC_ASSERT(g_finiKeys == (model.erase(k) != 0 ? std::vector<uint32_t>{k} : std::vector<uint32_t>{}));
        } else {
            // An equal value of another length is no key of this set.
            const uint64_t wide = k;
            const bool refused = ZEL_SET_Insert(set, &wide, sizeof(wide)) == nullptr &&
                                 ZEL_SET_Find(set, &wide, sizeof(wide)) == nullptr;
            RC_ASSERT(refused);
            ZEL_SET_Delete(set, &wide, sizeof(wide));
        }
        RC_ASSERT(ZEL_SET_Count(set) == model.size());
    }
    RC_ASSERT(TreeSound(set));
    std::vector<uint32_t> expected;
    for (const auto &[k, v] : model) {
        expected.push_back(k);
    }
    RC_ASSERT(WalkKeys(set) == expected);

    g_finiKeys.clear();
    g_countAtFini.clear();
    ZEL_AVL_Destroy(set);
    g_watched = nullptr;
    RC_ASSERT(g_finiKeys == expected);
    // Each entry is unlinked before its hook runs.
    for (size_t i = 0; i < g_countAtFini.size(); ++i) {
        RC_ASSERT(g_countAtFini[i] == expected.size() - 1 - i);
    }
    RC_ASSERT(STANDIN_HostLiveBlocks() == baseBlocks);
}

}  // namespace

// AVL3 trees: random operation sequences against std::set, balance, ends, and the checker's own verdicts.
#include <gtest/gtest.h>
#include <rapidcheck/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "platform/axo_avl3.h"
#include "zelm_standin.h"

namespace {

// Key and node both lie inside the entry, so a missing offset shows.
struct Entry {
    uint64_t tag;
    uint32_t pad;
    uint32_t key;
    AXO_AVL3_NODE node;
};

int32_t CompareU32(const void *a, const void *b)
{
    const uint32_t x = *static_cast<const uint32_t *>(a);
    const uint32_t y = *static_cast<const uint32_t *>(b);
    return (x < y) ? -1 : (x > y) ? 1 : 0;
}

const AXO_AVL3_TREE_INFO kInfo = {CompareU32, offsetof(Entry, key), offsetof(Entry, node)};

void Unlink(Entry &e) { e.node = {nullptr, nullptr, nullptr, -1, -1}; }
bool Linked(const Entry &e) { return e.node.leftHeight != -1 && e.node.rightHeight != -1; }
int16_t RootHeight(const AXO_AVL3_TREE &t)
{
    if (t.root == nullptr) {
        return 0;
    }
    return static_cast<int16_t>(1 + std::max(t.root->leftHeight, t.root->rightHeight));
}

// A pool of entries, one per key slot, with keys spread over the whole u32 range.
class Avl3Model {
public:
    static constexpr uint32_t kSlots = 256;
    Avl3Model() : entries_(kSlots)
    {
        for (uint32_t i = 0; i < kSlots; ++i) {
            entries_[i].tag = 0xabcdef00u + i;
            entries_[i].key = KeyOfSlot(i);
            Unlink(entries_[i]);
        }
    }
    static uint32_t KeyOfSlot(uint32_t slot) { return slot * 2654435761u; }

    std::vector<Entry> entries_;
    AXO_AVL3_TREE tree_{};
    std::set<uint32_t> oracle_;
};

enum class OpKind : uint8_t { Insert, Delete, Find, Walk, DeleteWhileWalking };

struct Op {
    OpKind kind;
    uint32_t slot;
};

std::ostream &operator<<(std::ostream &os, const Op &op)
{
    return os << "{" << static_cast<int>(op.kind) << "," << op.slot << "}";
}

rc::Gen<Op> GenOp()
{
    return rc::gen::build<Op>(rc::gen::set(&Op::kind, rc::gen::weightedElement<OpKind>({{40, OpKind::Insert},
                                                                                         {30, OpKind::Delete},
                                                                                         {25, OpKind::Find},
                                                                                         {1, OpKind::Walk},
                                                                                         {1, OpKind::DeleteWhileWalking}})),
                              rc::gen::set(&Op::slot, rc::gen::inRange<uint32_t>(0, Avl3Model::kSlots)));
}

void Apply(Avl3Model &m, const Op &op)
{
    Entry &e = m.entries_[op.slot];
    switch (op.kind) {
    case OpKind::Insert: {
        auto *existing = static_cast<Entry *>(AXO_AVL3_Insert_Or_Find(&m.tree_, &e.node, &kInfo));
        if (m.oracle_.count(e.key) != 0) {
            // Already linked: the entry holding the key comes back and nothing is linked twice.
            RC_ASSERT(existing == &e);
        } else {
            RC_ASSERT(existing == nullptr);
            m.oracle_.insert(e.key);
        }
        break;
    }
    case OpKind::Delete:
        if (m.oracle_.erase(e.key) != 0) {
            AXO_AVL3_Delete(&m.tree_, &e.node);
            RC_ASSERT(e.node.leftHeight == -1 && e.node.rightHeight == -1);
            RC_ASSERT(e.node.parent == nullptr && e.node.left == nullptr && e.node.right == nullptr);
        } else {
            AXO_AVL3_Delete(&m.tree_, &e.node); // not linked: nothing happens
        }
        break;
    case OpKind::Find: {
        auto *found = static_cast<Entry *>(AXO_AVL3_Find(&m.tree_, &e.key, &kInfo));
        RC_ASSERT(found == (m.oracle_.count(e.key) != 0 ? &e : nullptr));
        break;
    }
    case OpKind::Walk: {
        auto it = m.oracle_.begin();
        for (auto *cur = static_cast<Entry *>(AXO_AVL3_First(&m.tree_, &kInfo)); cur != nullptr;
             cur = static_cast<Entry *>(AXO_AVL3_Next(&cur->node, &kInfo))) {
            RC_ASSERT(it != m.oracle_.end());
            RC_ASSERT(cur->key == *it);
            ++it;
        }
        RC_ASSERT(it == m.oracle_.end());
        break;
    }
    case OpKind::DeleteWhileWalking: {
        // Take the successor first, then delete the current entry.
        const uint32_t residue = op.slot % 3;
        auto *cur = static_cast<Entry *>(AXO_AVL3_First(&m.tree_, &kInfo));
        while (cur != nullptr) {
            auto *next = static_cast<Entry *>(AXO_AVL3_Next(&cur->node, &kInfo));
            if (static_cast<uint32_t>(cur - m.entries_.data()) % 3 == residue) {
                AXO_AVL3_Delete(&m.tree_, &cur->node);
                m.oracle_.erase(cur->key);
            }
            cur = next;
        }
        break;
    }
    }
}

void CheckModel(Avl3Model &m)
{
    char why[256];
    RC_ASSERT(STANDIN_AVL3_Check(&m.tree_, &kInfo, why, sizeof(why)) == 0);
    if (m.oracle_.empty()) {
        RC_ASSERT(m.tree_.root == nullptr && m.tree_.first == nullptr && m.tree_.last == nullptr);
    } else {
        auto *first = static_cast<Entry *>(AXO_AVL3_First(&m.tree_, &kInfo));
        RC_ASSERT(first != nullptr);
        RC_ASSERT(first->key == *m.oracle_.begin());
        const auto *last = reinterpret_cast<const Entry *>(reinterpret_cast<const char *>(m.tree_.last) -
                                                           offsetof(Entry, node));
        RC_ASSERT(last->key == *m.oracle_.rbegin());
    }
}

void CheckLinkedStates(const Avl3Model &m)
{
    for (const Entry &e : m.entries_) {
        RC_ASSERT(Linked(e) == (m.oracle_.count(e.key) != 0));
    }
}

class Avl3Test : public ::testing::Test {
protected:
    static void Fill(std::vector<Entry> &entries, AXO_AVL3_TREE &tree)
    {
        for (Entry &e : entries) {
            Unlink(e);
            ASSERT_EQ(AXO_AVL3_Insert_Or_Find(&tree, &e.node, &kInfo), nullptr);
        }
    }
    static std::string Verdict(const AXO_AVL3_TREE &tree)
    {
        char why[256] = "";
        return (STANDIN_AVL3_Check(&tree, &kInfo, why, sizeof(why)) != 0) ? std::string(why) : std::string();
    }
};

RC_GTEST_FIXTURE_PROP(Avl3Test, RandomOperationsMatchAnOrderedSet, ())
{
    const auto ops = *rc::gen::container<std::vector<Op>>(2000, GenOp());
    Avl3Model m;
    for (const Op &op : ops) {
        Apply(m, op);
        CheckModel(m);
        RC_ASSERT(Linked(m.entries_[op.slot]) == (m.oracle_.count(m.entries_[op.slot].key) != 0));
        if (op.kind == OpKind::DeleteWhileWalking) {
            CheckLinkedStates(m);
        }
    }
    CheckLinkedStates(m);
}

TEST_F(Avl3Test, DuplicateKeyLinksNothingAndReturnsTheHolder)
{
    Entry a{}, b{};
    a.key = b.key = 7;
    Unlink(a);
    Unlink(b);
    AXO_AVL3_TREE tree{};
    ASSERT_EQ(AXO_AVL3_Insert_Or_Find(&tree, &a.node, &kInfo), nullptr);
    EXPECT_EQ(AXO_AVL3_Insert_Or_Find(&tree, &b.node, &kInfo), &a);
    EXPECT_FALSE(Linked(b));
    EXPECT_EQ(b.node.parent, nullptr);
    // Deleting the refused twin must not unlink the holder.
    AXO_AVL3_Delete(&tree, &b.node);
    EXPECT_EQ(tree.root, &a.node);
    EXPECT_EQ(AXO_AVL3_Find(&tree, &b.key, &kInfo), &a);
    EXPECT_EQ(Verdict(tree), "");
}

TEST_F(Avl3Test, SortedInsertionsAndDeletionsKeepTheTreeLogarithmic)
{
    for (const bool ascending : {true, false}) {
        std::vector<Entry> entries(1u << 16);
        for (uint32_t i = 0; i < entries.size(); ++i) {
            entries[i].key = ascending ? i : static_cast<uint32_t>(entries.size()) - i;
        }
        AXO_AVL3_TREE tree{};
        Fill(entries, tree);
        ASSERT_EQ(Verdict(tree), "");
        // An AVL tree of n nodes is at most 1.44 log2(n + 2) high.
        EXPECT_LE(RootHeight(tree), static_cast<int>(1.4405 * std::log2(entries.size() + 2.0)));
        EXPECT_EQ(AXO_AVL3_First(&tree, &kInfo), ascending ? &entries.front() : &entries.back());
        for (size_t i = 0; i < entries.size(); i += 2) {
            AXO_AVL3_Delete(&tree, &entries[i].node);
        }
        ASSERT_EQ(Verdict(tree), "");
        EXPECT_LE(RootHeight(tree), static_cast<int>(1.4405 * std::log2(entries.size() / 2 + 2.0)));
    }
}

// Each case damages a sound tree of 15 entries (keys 0, 10, ..., 140) in one way.
struct Damage {
    const char *what;
    void (*apply)(AXO_AVL3_TREE &tree, std::vector<Entry> &entries, Entry *spare);
};

const Damage kDamages[] = {
    {"stale height", [](AXO_AVL3_TREE &t, std::vector<Entry> &, Entry *) { ++t.root->leftHeight; }},
    {"keys out of order", [](AXO_AVL3_TREE &, std::vector<Entry> &e, Entry *) { e[3].key = 1000; }},
    {"broken parent link", [](AXO_AVL3_TREE &t, std::vector<Entry> &, Entry *) { t.root->left->parent = t.root->right; }},
    {"stale first", [](AXO_AVL3_TREE &t, std::vector<Entry> &, Entry *) { t.first = t.root; }},
    {"stale last", [](AXO_AVL3_TREE &t, std::vector<Entry> &, Entry *) { t.last = t.root; }},
    {"parent above the root", [](AXO_AVL3_TREE &t, std::vector<Entry> &, Entry *s) { t.root->parent = &s->node; }},
    {"imbalance with honest heights",
     [](AXO_AVL3_TREE &t, std::vector<Entry> &, Entry *s) {
         // A chain of two under the largest leaf, every stored height true.
         s[0].key = 1000;
         s[1].key = 1001;
         AXO_AVL3_NODE *leaf = t.last;
         leaf->right = &s[0].node;
         s[0].node = {leaf, nullptr, &s[1].node, 0, 1};
         s[1].node = {&s[0].node, nullptr, nullptr, 0, 0};
         leaf->rightHeight = 2;
         for (AXO_AVL3_NODE *n = leaf; n->parent != nullptr; n = n->parent) {
             n->parent->rightHeight = static_cast<int16_t>(1 + std::max(n->leftHeight, n->rightHeight));
         }
         t.last = &s[1].node;
     }},
};

TEST_F(Avl3Test, CheckerCatchesEveryKindOfDamage)
{
    for (const Damage &damage : kDamages) {
        std::vector<Entry> entries(15);
        for (uint32_t i = 0; i < entries.size(); ++i) {
            entries[i].key = i * 10u;
        }
        AXO_AVL3_TREE tree{};
        Fill(entries, tree);
        ASSERT_EQ(Verdict(tree), "");
        Entry spare[2]{};
        damage.apply(tree, entries, spare);
        EXPECT_NE(Verdict(tree), "") << damage.what;
    }
}

}  // namespace

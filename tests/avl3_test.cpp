// The AVL3 tree checker's own verdicts: every kind of damage to a sound tree is caught.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

#include "support/avl3_check.h"
#include "zelm_standin.h"

namespace {

// Key and node both lie inside the entry, so a missing offset shows.
struct Entry {
    uint64_t tag;
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

std::string Verdict(const AXO_AVL3_TREE &tree)
{
    return zt::Avl3Problem(&tree, &kInfo);
}

std::vector<Entry> Entries(size_t n, uint32_t step)
{
    std::vector<Entry> entries(n);
    for (uint32_t i = 0; i < n; ++i) {
        entries[i] = {0xabcdef00u + i, i * step, {nullptr, nullptr, nullptr, -1, -1}};
    }
    return entries;
}

// Each case damages a sound tree of 15 entries (keys 0, 10, ..., 140) in one way.
struct Damage {
    const char *what;
    void (*apply)(AXO_AVL3_TREE &tree, std::vector<Entry> &entries, Entry *spare);
};

const Damage kDamages[] = {
    {"stale height", [](AXO_AVL3_TREE &t, std::vector<Entry> &, Entry *) { ++t.root->leftHeight; }},
    {"keys out of order", [](AXO_AVL3_TREE &, std::vector<Entry> &e, Entry *) { e[3].key = 1000; }},
    {"broken parent link",
     [](AXO_AVL3_TREE &t, std::vector<Entry> &, Entry *) { t.root->left->parent = t.root->right; }},
    {"stale first", [](AXO_AVL3_TREE &t, std::vector<Entry> &, Entry *) { t.first = t.root; }},
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

TEST(Avl3Test, CheckerCatchesEveryKindOfDamage)
{
    for (const Damage &damage : kDamages) {
        std::vector<Entry> entries = Entries(15, 10);
        AXO_AVL3_TREE tree{};
        for (Entry &e : entries) {
            ASSERT_EQ(AXO_AVL3_Insert_Or_Find(&tree, &e.node, &kInfo), nullptr);
        }
        ASSERT_EQ(Verdict(tree), "");
        Entry spare[2]{};
        damage.apply(tree, entries, spare);
        EXPECT_NE(Verdict(tree), "") << damage.what;
    }
}

}  // namespace

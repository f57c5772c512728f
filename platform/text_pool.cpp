// The agents' texts: each distinct text once, in blocks that never move, found again through a hash table.
#include <cstring>
#include <memory>
#include <string_view>
#include <vector>

#include "held_entries.h"

namespace standin {
namespace {

constexpr size_t kBlockBytes = size_t{1} << 20;  // a text is at most 255 characters and its NUL
constexpr uint32_t kEmptySlot = 0;               // slots hold id + 1

struct Pool {
    std::vector<std::unique_ptr<char[]>> blocks;
    size_t used = kBlockBytes;  // in the last block; full before the first
    std::vector<uint32_t> slots;
    size_t count = 0;
};

Pool g_pool;

uint64_t Hash(std::string_view text)
{
    uint64_t h = 1469598103934665603ull;
    for (const char c : text) {
        h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    }
    return h;
}

// The slot that holds this text, or the empty slot where it belongs.
uint32_t &SlotOf(std::string_view text)
{
    const size_t mask = g_pool.slots.size() - 1;
    for (size_t i = Hash(text) & mask;; i = (i + 1) & mask) {
        uint32_t &slot = g_pool.slots[i];
        if (slot == kEmptySlot || TextOf(slot - 1) == text) {
            return slot;
        }
    }
}

void Grow()
{
    std::vector<uint32_t> old = std::move(g_pool.slots);
    g_pool.slots.assign(old.empty() ? 1024 : old.size() * 2, kEmptySlot);
    for (const uint32_t slot : old) {
        if (slot != kEmptySlot) {
            SlotOf(TextOf(slot - 1)) = slot;
        }
    }
}

}  // namespace

const char *TextOf(uint32_t id)
{
    return g_pool.blocks[id / kBlockBytes].get() + id % kBlockBytes;
}

uint32_t InternText(const char *text, size_t len)
{
    if ((g_pool.count + 1) * 4 > g_pool.slots.size() * 3) {
        Grow();
    }
    const std::string_view view(text, len);
    uint32_t &slot = SlotOf(view);
    if (slot != kEmptySlot) {
        return slot - 1;
    }
    if (g_pool.used + len + 1 > kBlockBytes) {
        g_pool.blocks.push_back(std::make_unique<char[]>(kBlockBytes));
        g_pool.used = 0;
    }
    char *copy = g_pool.blocks.back().get() + g_pool.used;
    std::memcpy(copy, text, len);
    copy[len] = '\0';
    const auto id = static_cast<uint32_t>((g_pool.blocks.size() - 1) * kBlockBytes + g_pool.used);
    g_pool.used += len + 1;
    ++g_pool.count;
    slot = id + 1;
    return id;
}

void ResetTexts()
{
    g_pool = Pool{};
}

}  // namespace standin

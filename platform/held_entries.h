// Private to the stand-in: how the agents keep what they hold, a few bytes above the entries themselves.
//
// A cluster of millions of components keeps one copy per agent of each entry, so the copy is small: the
// numbers as the request carried them and each text as an index into one pool of distinct texts (a
// cluster has few distinct type and file names, and each instance name once).
#ifndef ZELM_PLATFORM_HELD_ENTRIES_H
#define ZELM_PLATFORM_HELD_ENTRIES_H

#include <cstdint>
#include <cstring>
#include <iterator>
#include <map>
#include <vector>

namespace standin {

// Each distinct text once, until reset; a text's id stays valid, and so does its copy's address.
uint32_t InternText(const char *text, size_t len);
const char *TextOf(uint32_t id);
void ResetTexts();

// An entry as an agent holds it: its numbers in the order of the public entry, then its texts.
template <size_t Numbers, size_t Texts>
struct HeldEntry {
    uint32_t numbers[Numbers];
    uint32_t texts[Texts];
    uint32_t nullTexts;

    bool operator==(const HeldEntry &other) const { return std::memcmp(this, &other, sizeof *this) == 0; }
};
using HeldLoc = HeldEntry<18, 3>;
using HeldComp = HeldEntry<16, 4>;

// An ordered map in sorted chunks of at most kChunk items, each chunk under its first key: an insertion
// moves at most one chunk, and keys that come in order fill their chunks completely.
template <typename Key, typename Value>
class ChunkMap {
public:
    size_t size() const { return size_; }

    const Value *Find(const Key &key) const
    {
        const auto chunk = ChunkOf(key);
        if (chunk == chunks_.end()) {
            return nullptr;
        }
        const auto item = Position(chunk->second, key);
        return item != chunk->second.end() && item->key == key ? &item->value : nullptr;
    }

    // Stores the value under the key; true when that changed what the map holds.
    bool Put(const Key &key, const Value &value)
    {
        auto chunk = ChunkOf(key);
        if (chunk == chunks_.end()) {
            // Before every key held: the first chunk takes it, or a new one when there is none.
            chunk = chunks_.empty() ? chunks_.emplace(key, Chunk{}).first : Rekey(chunks_.begin(), key);
        }
        Chunk &items = chunk->second;
        const auto at = Position(items, key);
        if (at != items.end() && at->key == key) {
            const bool changed = !(at->value == value);
            at->value = value;
            return changed;
        }
        const bool atEnd = at == items.end();
        items.insert(at, Item{key, value});
        ++size_;
        if (items.size() > kChunk) {
            Split(chunk, atEnd);
        }
        return true;
    }

    // Removes the key; true when it was held.
    bool Erase(const Key &key)
    {
        const auto chunk = ChunkOf(key);
        if (chunk == chunks_.end()) {
            return false;
        }
        Chunk &items = chunk->second;
        const auto at = Position(items, key);
        if (at == items.end() || !(at->key == key)) {
            return false;
        }
        const bool first = at == items.begin();
        items.erase(at);
        --size_;
        if (items.empty()) {
            chunks_.erase(chunk);
        } else if (first) {
            Rekey(chunk, items.front().key);
        }
        return true;
    }

    // Calls f(key, value) for every item in key order.
    template <typename F>
    void ForEach(F f) const
    {
        for (const auto &[first, items] : chunks_) {
            for (const Item &item : items) {
                f(item.key, item.value);
            }
        }
    }

private:
    static constexpr size_t kChunk = 128;
    struct Item {
        Key key;
        Value value;
    };
    using Chunk = std::vector<Item>;
    using Chunks = std::map<Key, Chunk>;

    // The chunk a key belongs in: the last whose first key is not above it; end() before the first chunk.
    typename Chunks::iterator ChunkOf(const Key &key)
    {
        auto it = chunks_.upper_bound(key);
        return it == chunks_.begin() ? chunks_.end() : std::prev(it);
    }
    typename Chunks::const_iterator ChunkOf(const Key &key) const
    {
        auto it = chunks_.upper_bound(key);
        return it == chunks_.begin() ? chunks_.end() : std::prev(it);
    }
    template <typename Items>
    static auto Position(Items &items, const Key &key)
    {
        std::size_t lo = 0;
        std::size_t hi = items.size();
        while (lo < hi) {
            const std::size_t mid = (lo + hi) / 2;
            if (items[mid].key < key) {
                lo = mid + 1;
            } else {
                hi = mid;
            }
        }
        return items.begin() + static_cast<std::ptrdiff_t>(lo);
    }
    typename Chunks::iterator Rekey(typename Chunks::iterator chunk, const Key &key)
    {
        auto node = chunks_.extract(chunk);
        node.key() = key;
        return chunks_.insert(std::move(node)).position;
    }
    // A chunk grown past kChunk: an append starts a new chunk with the last item, keeping this one full;
    // otherwise its upper half moves to a new chunk.
    void Split(typename Chunks::iterator chunk, bool append)
    {
        Chunk &items = chunk->second;
        const size_t keep = append ? items.size() - 1 : items.size() / 2;
        Chunk upper(std::make_move_iterator(items.begin() + static_cast<std::ptrdiff_t>(keep)),
                    std::make_move_iterator(items.end()));
        items.erase(items.begin() + static_cast<std::ptrdiff_t>(keep), items.end());
        const Key first = upper.front().key;
        chunks_.emplace_hint(std::next(chunk), first, std::move(upper));
    }

    Chunks chunks_;
    size_t size_ = 0;
};

}  // namespace standin

#endif

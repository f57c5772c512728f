// An ordered map kept in sorted chunks: a few bytes per item above the item itself, for the stand-in's agents
// and the simulator, which keep millions of entries.
#ifndef ZELM_CHUNK_MAP_H
#define ZELM_CHUNK_MAP_H

#include <cstddef>
#include <iterator>
#include <map>
#include <vector>

namespace zelm {

// An ordered map in sorted chunks of at most kChunk items, each chunk under its first key: an insertion
// moves at most one chunk, and keys that come in order fill their chunks completely.
template <typename Key, typename Value>
class ChunkMap {
public:
    struct Item {
        Key key;
        Value value;
    };

    // Walks the items in key order; any change to the map invalidates it.
    class const_iterator {
    public:
        using Outer = typename std::map<Key, std::vector<Item>>::const_iterator;
        const_iterator(Outer chunk, Outer end) : chunk_(chunk), end_(end) {}
        const Item &operator*() const { return chunk_->second[at_]; }
        const Item *operator->() const { return &chunk_->second[at_]; }
        const_iterator &operator++()
        {
            if (++at_ == chunk_->second.size()) {
                ++chunk_;
                at_ = 0;
            }
            return *this;
        }
        bool operator==(const const_iterator &o) const { return chunk_ == o.chunk_ && at_ == o.at_; }
        bool operator!=(const const_iterator &o) const { return !(*this == o); }

    private:
        Outer chunk_;
        Outer end_;
        size_t at_ = 0;
    };

    size_t size() const { return size_; }
    size_t count(const Key &key) const { return Find(key) != nullptr ? 1 : 0; }
    const_iterator begin() const { return const_iterator(chunks_.begin(), chunks_.end()); }
    const_iterator end() const { return const_iterator(chunks_.end(), chunks_.end()); }

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
            chunk = chunks_.empty() ? chunks_.emplace(key, NewChunk()).first : Rekey(chunks_.begin(), key);
        }
        Chunk &items = chunk->second;
        const auto at = Position(items, key);
        if (at != items.end() && at->key == key) {
            const bool changed = !(at->value == value);
            at->value = value;
            return changed;
        }
        ++size_;
        if (items.size() < kChunk) {
            items.insert(at, Item{key, value});
            return true;
        }
        // A full chunk: an append starts the next one, keeping this one full; an insertion halves it first.
        if (at == items.end()) {
            Chunk next = NewChunk();
            next.push_back(Item{key, value});
            chunks_.emplace_hint(std::next(chunk), key, std::move(next));
            return true;
        }
        const auto upper = Split(chunk);
        Chunk &into = key < upper->first ? chunk->second : upper->second;
        into.insert(Position(into, key), Item{key, value});
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

    // The first item whose key is not below `key`, or nullptr when there is none.
    const Item *LowerBound(const Key &key) const
    {
        auto chunk = ChunkOf(key);
        if (chunk == chunks_.end()) {
            return chunks_.empty() ? nullptr : &chunks_.begin()->second.front();
        }
        const auto item = Position(chunk->second, key);
        if (item != chunk->second.end()) {
            return &*item;
        }
        ++chunk;
        return chunk == chunks_.end() ? nullptr : &chunk->second.front();
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
    static Chunk NewChunk()
    {
        Chunk c;
        c.reserve(kChunk);
        return c;
    }
    // Moves the upper half of a chunk into a chunk of its own; returns that one.
    typename Chunks::iterator Split(typename Chunks::iterator chunk)
    {
        Chunk &items = chunk->second;
        const auto half = items.begin() + static_cast<std::ptrdiff_t>(items.size() / 2);
        Chunk upper = NewChunk();
        upper.assign(std::make_move_iterator(half), std::make_move_iterator(items.end()));
        items.erase(half, items.end());
        const Key first = upper.front().key;
        return chunks_.emplace_hint(std::next(chunk), first, std::move(upper));
    }

    Chunks chunks_;
    size_t size_ = 0;
};

}  // namespace zelm

#endif

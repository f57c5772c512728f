// The host allocator: a malloc/free pair that counts what it hands out and fails on request.
//
// Each block carries a 16-byte header in front of it (its size and a marker),
// so that the block the caller sees keeps malloc's 16-byte alignment and a
// free of a foreign or already freed pointer is caught at once.
//
// Reset keeps the live blocks and bytes: they describe memory that is still
// out there, and a block handed out before a reset may be freed after it. The
// peak restarts from the live bytes; attempts and failures are counted and
// armed in the failure-injection table. New blocks may be filled with garbage
// from a xorshift sequence that every reset restarts, so that a run repeats.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "standin_internal.h"
#include "standin_services.h"
#include "zelm_standin.h"

namespace {

struct alignas(16) BlockHeader {
    size_t size;
    uint64_t marker;
};
static_assert(sizeof(BlockHeader) == 16, "the header keeps the block 16-byte aligned");

constexpr uint64_t kLiveMarker = 0x5a454c4d424c4b31ull;   // set while the block is out
constexpr uint64_t kFreedMarker = 0x5a454c4d46524545ull;  // set when the block goes back
constexpr uint64_t kGarbageSeed = 0x9E3779B97F4A7C15ull;

struct HostAllocState {
    size_t liveBlocks = 0;
    size_t liveBytes = 0;
    size_t peakBytes = 0;
    bool garbage = false;
    uint64_t garbageState = kGarbageSeed;
};

HostAllocState g_alloc;

void FillWithGarbage(unsigned char *block, size_t size)
{
    for (size_t i = 0; i < size; ++i) {
        uint64_t &x = g_alloc.garbageState;
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        block[i] = static_cast<unsigned char>(x >> 56);
    }
}

}  // namespace

void standin::ResetHostAlloc()
{
    g_alloc.peakBytes = g_alloc.liveBytes;
    g_alloc.garbage = false;
    g_alloc.garbageState = kGarbageSeed;
}

extern "C" void *STANDIN_HostMalloc(size_t size)
{
    if (STANDIN_FAILING() != 0 || size > SIZE_MAX - sizeof(BlockHeader)) {
        return nullptr;
    }
    auto *header = static_cast<BlockHeader *>(std::malloc(sizeof(BlockHeader) + size));
    if (header == nullptr) {
        return nullptr;
    }
    header->size = size;
    header->marker = kLiveMarker;
    standin::EntryNoteAlloc(size);
    ++g_alloc.liveBlocks;
    g_alloc.liveBytes += size;
    if (g_alloc.liveBytes > g_alloc.peakBytes) {
        g_alloc.peakBytes = g_alloc.liveBytes;
    }
    if (g_alloc.garbage) {
        FillWithGarbage(reinterpret_cast<unsigned char *>(header + 1), size);
    }
    return header + 1;
}

extern "C" void STANDIN_HostFree(void *ptr)
{
    if (ptr == nullptr) {
        return;
    }
    BlockHeader *header = static_cast<BlockHeader *>(ptr) - 1;
    if (header->marker != kLiveMarker) {
        std::fprintf(stderr, "STANDIN_HostFree: %p is not a live host block\n", ptr);
        std::abort();
    }
    header->marker = kFreedMarker;
    --g_alloc.liveBlocks;
    g_alloc.liveBytes -= header->size;
    std::free(header);
}

extern "C" size_t STANDIN_HostLiveBlocks(void)
{
    return g_alloc.liveBlocks;
}
extern "C" size_t STANDIN_HostLiveBytes(void)
{
    return g_alloc.liveBytes;
}
extern "C" size_t STANDIN_HostPeakBytes(void)
{
    return g_alloc.peakBytes;
}

extern "C" void STANDIN_HostFillWithGarbage(int on)
{
    g_alloc.garbage = on != 0;
}

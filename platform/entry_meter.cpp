// Entries into the users and what each costs: tree calls, host allocations and RPC requests made meanwhile.
//
// The counters only ever grow; an entry's cost is their difference from its
// start to its end. The tree counters are the failure-injection table's call
// counts, so that STANDIN_CallCount and an entry's cost agree.
#include "standin_internal.h"
#include "standin_services.h"
#include "zelm_standin.h"

namespace standin {
namespace {

constexpr const char *kTreeNames[STANDIN_TREE_FUNCTIONS] = {"AXO_AVL3_First", "AXO_AVL3_Next", "AXO_AVL3_Find",
                                                            "AXO_AVL3_Insert_Or_Find", "AXO_AVL3_Delete"};

struct Totals {
    uint64_t hostAllocs = 0;
    uint64_t hostBytes = 0;
    uint64_t rpcCalls = 0;
    uint64_t rpcEntries = 0;
};

Totals g_totals;
// What callbacks did inside entries, left out of every entry's cost.
STANDIN_Entry g_uncounted{};
unsigned g_depth = 0;
STANDIN_EntryObserver g_observer = nullptr;
void *g_observerArg = nullptr;
EntryScope *g_hostEntry = nullptr;

const uint64_t *TreeCounter(int function)
{
    static const uint64_t *const counters[STANDIN_TREE_FUNCTIONS] = {CallCounterNamed(kTreeNames[0]),
                                                                     CallCounterNamed(kTreeNames[1]),
                                                                     CallCounterNamed(kTreeNames[2]),
                                                                     CallCounterNamed(kTreeNames[3]),
                                                                     CallCounterNamed(kTreeNames[4])};
    return counters[function];
}

// The counters now, with or without what callbacks did, in the cost fields of `e`.
void Snapshot(STANDIN_Entry &e, bool withUncounted = false)
{
    const STANDIN_Entry none{};
    const STANDIN_Entry &left = withUncounted ? none : g_uncounted;
    for (int f = 0; f < STANDIN_TREE_FUNCTIONS; ++f) {
        e.treeCalls[f] = *TreeCounter(f) - left.treeCalls[f];
    }
    e.hostAllocs = g_totals.hostAllocs - left.hostAllocs;
    e.hostBytes = g_totals.hostBytes - left.hostBytes;
    e.rpcCalls = g_totals.rpcCalls - left.rpcCalls;
    e.rpcEntries = g_totals.rpcEntries - left.rpcEntries;
}

}  // namespace

EntryScope::EntryScope(const STANDIN_Entry &what) : entry_(what), outermost_(g_depth++ == 0 && g_observer != nullptr)
{
    if (outermost_) {
        entry_.timeMs = ClockNow();
        Snapshot(entry_);
    }
}

EntryScope::~EntryScope()
{
    --g_depth;
    if (!outermost_ || g_observer == nullptr) {
        return;
    }
    STANDIN_Entry now = entry_;
    Snapshot(now);
    for (int f = 0; f < STANDIN_TREE_FUNCTIONS; ++f) {
        entry_.treeCalls[f] = now.treeCalls[f] - entry_.treeCalls[f];
    }
    entry_.hostAllocs = now.hostAllocs - entry_.hostAllocs;
    entry_.hostBytes = now.hostBytes - entry_.hostBytes;
    entry_.rpcCalls = now.rpcCalls - entry_.rpcCalls;
    entry_.rpcEntries = now.rpcEntries - entry_.rpcEntries;
    g_observer(&entry_, g_observerArg);
}

EntryUncounted::EntryUncounted() : start_{}
{
    Snapshot(start_, true);
}

EntryUncounted::~EntryUncounted()
{
    STANDIN_Entry now{};
    Snapshot(now, true);
    for (int f = 0; f < STANDIN_TREE_FUNCTIONS; ++f) {
        g_uncounted.treeCalls[f] += now.treeCalls[f] - start_.treeCalls[f];
    }
    g_uncounted.hostAllocs += now.hostAllocs - start_.hostAllocs;
    g_uncounted.hostBytes += now.hostBytes - start_.hostBytes;
    g_uncounted.rpcCalls += now.rpcCalls - start_.rpcCalls;
    g_uncounted.rpcEntries += now.rpcEntries - start_.rpcEntries;
}

void EntryNoteRpc(uint32_t entries)
{
    ++g_totals.rpcCalls;
    g_totals.rpcEntries += entries;
}

void EntryNoteAlloc(size_t bytes)
{
    ++g_totals.hostAllocs;
    g_totals.hostBytes += bytes;
}

void ResetEntries()
{
    g_observer = nullptr;
    g_observerArg = nullptr;
    delete g_hostEntry;
    g_hostEntry = nullptr;
    g_depth = 0;
    g_uncounted = {};
}

}  // namespace standin

extern "C" void STANDIN_EntrySetObserver(STANDIN_EntryObserver observer, void *arg)
{
    standin::g_observer = observer;
    standin::g_observerArg = arg;
}

extern "C" void STANDIN_EntryBegin(void)
{
    if (standin::g_hostEntry == nullptr) {
        STANDIN_Entry what{};
        what.kind = STANDIN_ENTRY_HOST;
        standin::g_hostEntry = new standin::EntryScope(what);
    }
}

extern "C" void STANDIN_EntryEnd(void)
{
    delete standin::g_hostEntry;
    standin::g_hostEntry = nullptr;
}

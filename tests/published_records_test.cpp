// Records a host can reach: stored records survive a refused copy, and flags the host sets, clears or
// deletes itself decide, like the library's own, whether a success stops the smooth timer.
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "support/avl3_check.h"
#include "support/zelm_test.h"

#include <rapidcheck/gtest.h>

namespace {

ZelmCompCb *Comp()
{
    return zt::CompCb();
}

// Every key of the set is found where the walk met it, and the tree itself is sound.
void ExpectFindable(ZelSet *set, const std::vector<uint32_t> &keys, const std::string &when)
{
    EXPECT_EQ(zt::Avl3Problem(ZEL_AVL_GetTree(set), &set->treeInfo), "") << when;
    EXPECT_EQ(zt::KeysOf(set), keys) << when;
    for (uint32_t key : keys) {
        EXPECT_NE(ZEL_SET_Find(set, &key, sizeof(key)), nullptr) << "key " << key << when;
    }
}

using PublishedRecordsTest = ZelmTest;

// A refused copy zero-fills its destination; were that a stored record, its key would become 0
// while the record sits in its tree, out of order and no longer found under its own key. Each
// bounded copy an update makes is refused in turn: the stored records keep their places, and each
// is either the old record or the new one, whole.
TEST_F(PublishedRecordsTest, RefusedCopyLeavesEveryStoredRecordInItsPlace)
{
    for (uint32_t n : {1u, 2u, 3u}) {
        zt::Comp(ZELM_CFG_OP_ADD, zt::CompCfg(5, n, 10 * n, "before"));
        zt::Type(ZELM_CFG_OP_ADD, zt::CompNodeCfg(10 * n, "before"));
    }
    const uint32_t locIndex = 5;
    auto *location = static_cast<ZelmCompLocation *>(ZEL_SET_Find(Comp()->locationTree, &locIndex, 4));
    ASSERT_NE(location, nullptr);
    const std::function<void()> updates[] = {
        [] { zt::Comp(ZELM_CFG_OP_MOD, zt::CompCfg(5, 2, 99, "after")); },
        [] { zt::Type(ZELM_CFG_OP_MOD, zt::CompNodeCfg(20, "after", 7)); },
    };
    int refusals = 0;
    for (const auto &update : updates) {
        for (uint64_t nth = 1;; ++nth) {
            const uint64_t before = STANDIN_CallCount("memcpy_s");
            ASSERT_EQ(STANDIN_FailCall("memcpy_s", nth, 0), 0);
            update();
            const bool refused = STANDIN_CallCount("memcpy_s") - before >= nth;
            STANDIN_FailClear("memcpy_s");
            const std::string when = " (copy " + std::to_string(nth) + " refused)";
            ExpectFindable(location->componentTree, {1, 2, 3}, when);
            ExpectFindable(Comp()->compNodeTree, {10, 20, 30}, when);
            uint32_t compInst = 2;
            const auto *component = static_cast<ZelmComponent *>(ZEL_SET_Find(location->componentTree, &compInst, 4));
            ASSERT_NE(component, nullptr);
            const std::string name = component->cfg.compInstName;
            EXPECT_TRUE((name == "before" && component->cfg.compType == 20) ||
                        (name == "after" && component->cfg.compType == 99))
                << name << " of type " << component->cfg.compType << when;
            ZelmCompNodeCfg stored{};
            ASSERT_EQ(ZELM_COMP_GetCompNodeCfg(Comp(), 20, &stored), 0u);
            const std::string typeName = stored.compTypeName;
            EXPECT_TRUE((typeName == "before" && stored.compClass == 1) ||
                        (typeName == "after" && stored.compClass == 7))
                << typeName << " of class " << stored.compClass << when;
            if (!refused) {
                break;
            }
            ++refusals;
        }
    }
    EXPECT_GE(refusals, 2) << "each update copies its record at least once";

    // A refused copy out leaves the caller's record as it was.
    ZelmCompNodeCfg out = zt::CompNodeCfg(77, "caller's");
    ASSERT_EQ(STANDIN_FailCall("memcpy_s", 1, 0), 0);
    EXPECT_EQ(ZELM_COMP_GetCompNodeCfg(Comp(), 30, &out), 0xFFFFFFFFu);
    STANDIN_FailClear("memcpy_s");
    EXPECT_EQ(out.compType, 77u);
    EXPECT_STREQ(out.compTypeName, "caller's");
}

// A refused copy of a new compNode or component fails its atom and leaves no entry: neither a
// record of zeros under its key nor one with only its key set. A copy refused later, on the way
// to the agent, leaves the record stored whole.
TEST_F(PublishedRecordsTest, RefusedCopyOfANewRecordLeavesNoEntryBehind)
{
    ASSERT_EQ(zt::Comp(ZELM_CFG_OP_ADD, zt::CompCfg(5, 1, 10)), 0u);
    const uint32_t locIndex = 5;
    auto *location = static_cast<ZelmCompLocation *>(ZEL_SET_Find(Comp()->locationTree, &locIndex, 4));
    ASSERT_NE(location, nullptr);
    // The new record's name as stored under its key, "" when there is none.
    const auto componentName = [location]() -> std::string {
        uint32_t compInst = 4;
        const auto *c = static_cast<ZelmComponent *>(ZEL_SET_Find(location->componentTree, &compInst, 4));
        return c == nullptr ? "" : c->cfg.compInstName;
    };
    const auto typeName = []() -> std::string {
        uint32_t compType = 40;
        const auto *n = static_cast<ZelmCompNode *>(ZEL_SET_Find(Comp()->compNodeTree, &compType, 4));
        return n == nullptr ? "" : n->cfg.compTypeName;
    };
    const struct {
        std::function<uint32_t(uint16_t)> atom;
        ZelSet *set;
        std::vector<uint32_t> keysBefore;
        uint32_t key;
        std::function<std::string()> name;
    } news[] = {
        {[](uint16_t op) { return zt::Comp(op, zt::CompCfg(5, 4, 10, "new")); },
         location->componentTree,
         {1},
         4,
         componentName},
        {[](uint16_t op) { return zt::Type(op, zt::CompNodeCfg(40, "new")); }, Comp()->compNodeTree, {}, 40, typeName},
    };
    for (const auto &record : news) {
        int failedAtoms = 0;
        for (uint64_t nth = 1;; ++nth) {
            const uint64_t before = STANDIN_CallCount("memcpy_s");
            ASSERT_EQ(STANDIN_FailCall("memcpy_s", nth, 0), 0);
            const uint32_t code = record.atom(ZELM_CFG_OP_ADD);
            const bool refused = STANDIN_CallCount("memcpy_s") - before >= nth;
            STANDIN_FailClear("memcpy_s");
            const std::string when = " (copy " + std::to_string(nth) + " refused)";
            std::vector<uint32_t> keys = record.keysBefore;
            if (code == 0) {
                keys.push_back(record.key);
            }
            ExpectFindable(record.set, keys, when);
            EXPECT_EQ(record.name(), code == 0 ? "new" : "") << when;
            failedAtoms += code != 0 ? 1 : 0;
            if (!refused) {
                break;
            }
            (void)record.atom(ZELM_CFG_OP_DEL);
        }
        EXPECT_GE(failedAtoms, 1) << "the record's own copy was refused once";
    }
}

// ---- flagged peers ---------------------------------------------------------------------------

locationCb *Loc()
{
    return zt::LocCb();
}

// The peers of one module (OS nodes, comp locations): their set, and completions of a request to one.
struct PeerModule {
    const char *timerName;
    ZelSet *(*peers)();
    uint32_t *(*flagOf)(uint32_t key);  // adds the peer when absent; its publishFault field
    bool (*anyFlagged)();
    void (*complete)(uint32_t key, uint32_t result);
};

template <typename Peer>
bool AnyFlagged(ZelSet *set)
{
    for (void *entry : zt::EntriesOf(set)) {
        if (static_cast<Peer *>(entry)->publishFault != 0) {
            return true;
        }
    }
    return false;
}

const PeerModule kOsNodes = {
    "ZelmLocSmooth",
    [] { return Loc()->osNodeTree; },
    [](uint32_t key) { return &ZelmLocTryAddOsNode(Loc(), key)->publishFault; },
    [] { return AnyFlagged<osNodeInst>(Loc()->osNodeTree); },
    [](uint32_t key, uint32_t result) {
        ZelLocationMsg entry{};
        entry.OsInst = key;
        ZelLocPublishReqMsg req = {ZELM_LOC_OP_ADD, 1, &entry};
        ZelmLocationPublishUpdationDone(Loc(), &req, result);
    },
};

const PeerModule kCompLocations = {
    "ZelmCompSmooth",
    [] { return Comp()->locationTree; },
    [](uint32_t key) { return &ZelmCompTryAddLocation(Comp(), key)->publishFault; },
    [] { return AnyFlagged<ZelmCompLocation>(Comp()->locationTree); },
    [](uint32_t key, uint32_t result) {
        ZelComponentMsg entry{};
        entry.locIndex = key;
        ZelCompPublishReqMsg req = {key, ZELM_COMP_OP_ADD, 1, 0, &entry};
        ZelmCompPublishUpdationDone(Comp(), &req, result);
    },
};

enum class PeerAct { HostSets, HostClears, HostDeletes, Fails, Succeeds };

// Starts and stops of the named timer since timer event `from`.
std::pair<int, int> TimerCalls(const char *name, size_t from)
{
    std::pair<int, int> calls{0, 0};
    for (size_t i = from; i < STANDIN_TimerEventCount(); ++i) {
        const STANDIN_TimerEvent *ev = STANDIN_TimerEventGet(i);
        if (std::string(ev->name) == name) {
            calls.first += ev->kind == STANDIN_TIMER_START ? 1 : 0;
            calls.second += ev->kind == STANDIN_TIMER_STOP ? 1 : 0;
        }
    }
    return calls;
}

// The host sets and clears flags in the exported records and deletes flagged ones through the
// exported set operations, between completions and without a tick: every failed completion starts
// the module's timer, and every successful one stops it exactly when no peer is left flagged.
RC_GTEST_FIXTURE_PROP(PublishedRecordsTest, SuccessStopsTheTimerExactlyWhenNoPeerIsFlagged, ())
{
    const auto acts = *rc::gen::container<std::vector<std::pair<PeerAct, uint32_t>>>(
        rc::gen::pair(rc::gen::element(PeerAct::HostSets, PeerAct::HostClears, PeerAct::HostDeletes, PeerAct::Fails,
                                       PeerAct::Succeeds),
                      rc::gen::inRange<uint32_t>(1, 4)));
    for (const PeerModule *m : {&kOsNodes, &kCompLocations}) {
        for (const auto &[act, key] : acts) {
            const size_t from = STANDIN_TimerEventCount();
            uint32_t k = key;
            switch (act) {
            case PeerAct::HostSets:
                *m->flagOf(key) = 1;
                break;
            case PeerAct::HostClears:
                *m->flagOf(key) = 0;
                break;
            case PeerAct::HostDeletes:
                ZEL_SET_Delete(m->peers(), &k, sizeof(k));
                break;
            default:
                (void)m->flagOf(key);
                m->complete(key, act == PeerAct::Fails ? 5u : 0u);
                RC_ASSERT(*m->flagOf(key) == (act == PeerAct::Fails ? 1u : 0u));
                break;
            }
            const auto [starts, stops] = TimerCalls(m->timerName, from);
            RC_ASSERT(starts == (act == PeerAct::Fails ? 1 : 0));
            RC_ASSERT(stops == (act == PeerAct::Succeeds && !m->anyFlagged() ? 1 : 0));
        }
    }
}

}  // namespace

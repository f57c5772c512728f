// Configuration events: delivering table messages to the library, keeping the configuration, noting
// beforehand what the library's rules will make of each delete.
#include <fmt/format.h>

#include <cstring>
#include <iterator>

#include "run/lib_view.h"
#include "run/runner.h"
#include "text/units.h"
#include "zelm.h"
#include "zelm_standin.h"

namespace zsim {

namespace {

// Why a delete sent no withdrawal, with the delete as its cause.
Why Unsent(DriftReason reason, std::string text, std::string brief)
{
    return {reason, std::move(text), Cause{STANDIN_Now(), std::move(brief)}};
}

// The node a configured location is placed at, or SIZE_MAX.
size_t LocationNode(const SimState &s, uint32_t locId)
{
    const ZelmLocInstCfg *const *cfg = s.config.locations.Find(locId);
    return cfg == nullptr ? SIZE_MAX : s.NodeOfOsInst((*cfg)->OsInst);
}

}  // namespace

void Simulation::ApplyConfig(const Event &ev)
{
    const Ms now = STANDIN_Now();
    state_.counters.configMessages++;
    state_.counters.atoms += ev.atoms.size();
    for (const AtomRef a : ev.atoms) {
        const size_t formerNode = a.cls == CfgClass::Location ? LocationNode(state_, a.Loc().LocId) : SIZE_MAX;
        const AtomEffect e = state_.config.Apply(a);
        if (e.kind == AtomEffect::Stored || e.kind == AtomEffect::Deleted) {
            NoteExpectedChange(a, formerNode, now);
        }
        if (e.kind == AtomEffect::Ignored) {
            state_.ignored.push_back({now, a.cls, a.opCode, a.seq, AtomKey(a), e.reason});
        }
        if (!state_.libraryRunning && a.cls == CfgClass::Location && e.kind == AtomEffect::Stored) {
            (void)state_.locationStoredAt.Put(a.Loc().LocId, now);
        }
        if (!state_.libraryRunning && a.opCode == ZELM_CFG_OP_DEL && e.kind == AtomEffect::Deleted) {
            const Why why =
                Unsent(DriftReason::DeletedUnsent, "deleted while the library was stopped: no withdrawal was sent",
                       "deleted while the library was stopped");
            if (a.cls == CfgClass::Location) {
                (void)state_.locationsSeen.Put(a.Loc().LocId, true);
                state_.locHistory[a.Loc().LocId].unsentWithdrawal = why;
            } else if (a.cls == CfgClass::Component) {
                state_.compHistory[CompKey{a.Comp().locIndex, a.Comp().compInst}].unsentWithdrawal = why;
            }
        }
    }
    if (!state_.libraryRunning) {
        state_.counters.heldAtoms += ev.atoms.size();
        trace_.Line(now, "CFG",
                    Plural(ev.atoms.size(), "atom", "atoms") +
                        " kept by the configuration server: the library is stopped");
        return;
    }
    cost_.configWhat = fmt::format("event {}", next_);
    Deliver(ev.atoms, false);
}

void Simulation::NoteExpectedChange(AtomRef a, size_t formerNode, Ms now)
{
    switch (a.cls) {
    case CfgClass::Location:
        state_.ExpectedChanged(formerNode, now);
        state_.ExpectedChanged(state_.NodeOfOsInst(a.Loc().OsInst), now);
        return;
    case CfgClass::LogicGroup:
        state_.ExpectedChanged(LocationNode(state_, a.Grp().locIndex), now);
        return;
    case CfgClass::Component:
        state_.ExpectedChanged(state_.AnnouncerOf(a.Comp().locIndex), now);
        return;
    case CfgClass::CompNode:
        state_.ExpectedChangedEverywhere(now);
        return;
    }
}

void Simulation::NoteBeforeDelivery(AtomRef a)
{
    switch (a.cls) {
    case CfgClass::Location:
        NoteLocationBefore(a);
        return;
    case CfgClass::LogicGroup:
        NoteGroupBefore(a);
        return;
    case CfgClass::Component:
        NoteComponentBefore(a);
        return;
    case CfgClass::CompNode:
        return;
    }
}

void Simulation::NoteLocationBefore(AtomRef a)
{
    const bool del = a.opCode == ZELM_CFG_OP_DEL;
    if (!IsServiceImage(a.Loc().imageName) || a.opCode > ZELM_CFG_OP_DEL) {
        return;
    }
    const uint32_t id = a.Loc().LocId;
    (void)state_.locationsSeen.Put(id, true);
    if (!del) {
        (void)state_.locationStoredAt.Put(id, STANDIN_Now());
        // A new record starts a new history; only a forbidding HA role is worth a note.
        if (state_.haRole == 0) {
            state_.locHistory.erase(id);
        } else {
            LocHistory &h = state_.locHistory[id];
            h = LocHistory{};
            h.haAtStore = state_.haRole;
        }
        return;
    }
    LocHistory &h = state_.locHistory[id];
    const locationInst *inst = LibLocation(id);
    if (inst == nullptr) {
        h.unsentWithdrawal = Unsent(DriftReason::NotInLibrary, "the library did not hold it: no withdrawal was sent",
                                    "deleted while the library did not hold it");
        return;
    }
    if (inst->publishState == ZELM_LOC_STATE_CFG) {
        h.unsentWithdrawal = Unsent(DriftReason::DeletedBeforePublished,
                                    "deleted before its publication completed: no withdrawal was sent",
                                    "deleted before it was published");
        return;
    }
    state_.indexHistory[id] = {STANDIN_Now(), fmt::format("location {} was deleted", id),
                               fmt::format("location {} deleted", id)};
    const osNodeInst *os = LibOsNode(inst->osNodeId);
    h.unsentWithdrawal.reset();
    if (state_.haRole != 0) {
        h.unsentWithdrawal =
            Unsent(DriftReason::DeletedUnsent,
                   fmt::format("deleted while HA role {} forbade publication: no withdrawal was sent", state_.haRole),
                   fmt::format("deleted under HA role {}", state_.haRole));
    } else if (os == nullptr || os->chanHandle == 0) {
        h.unsentWithdrawal =
            Unsent(DriftReason::DeletedUnsent, "deleted while its OS node had no channel: no withdrawal was sent",
                   "deleted while its node had no channel");
    }
}

void Simulation::NoteGroupBefore(AtomRef a)
{
    const uint32_t idx = a.Grp().locIndex;
    if (LibLocation(idx) == nullptr || a.opCode > ZELM_CFG_OP_DEL) {
        return;
    }
    if (a.opCode != ZELM_CFG_OP_DEL) {
        if (const auto it = state_.locHistory.find(idx); it != state_.locHistory.end()) {
            it->second.groupDeletedAt.reset();
        }
    } else if (LibGroup(idx) != nullptr) {
        state_.locHistory[idx].groupDeletedAt = STANDIN_Now();
        state_.indexHistory[idx] = {STANDIN_Now(), fmt::format("the logic group of location {} was deleted", idx),
                                    fmt::format("logic group of location {} deleted", idx)};
    }
}

void Simulation::NoteComponentBefore(AtomRef a)
{
    if (a.Comp().cfgStatus >= 0 || a.opCode > ZELM_CFG_OP_DEL) {
        return;
    }
    const CompKey key{a.Comp().locIndex, a.Comp().compInst};
    if (a.opCode != ZELM_CFG_OP_DEL) {
        // A note only where a delete made one: a million components stored cost no history.
        if (const auto it = state_.compHistory.find(key); it != state_.compHistory.end()) {
            it->second.unsentWithdrawal.reset();
            it->second.failed = {};
        }
        return;
    }
    CompHistory &h = state_.compHistory[key];
    h.unsentWithdrawal.reset();
    const ZelmCompLocation *loc = LibCompLocation(key.first);
    const ZelmComponent *comp = LibComponent(key.first, key.second);
    if (loc == nullptr || comp == nullptr) {
        h.unsentWithdrawal = Unsent(DriftReason::NotInLibrary, "the library did not hold it: no withdrawal was sent",
                                    "deleted while the library did not hold it");
    } else if (loc->chanHandle == 0) {
        h.unsentWithdrawal =
            Unsent(DriftReason::DeletedUnsent,
                   fmt::format("deleted while location index {} had no channel: no withdrawal was sent", key.first),
                   fmt::format("deleted while index {} had no channel", key.first));
    } else if (!LibTypeReady(comp->cfg.compType)) {
        h.unsentWithdrawal = Unsent(DriftReason::DeletedUnsent,
                                    fmt::format("deleted while its type {} was missing: no withdrawal could be built",
                                                comp->cfg.compType),
                                    fmt::format("deleted while type {} was missing", comp->cfg.compType));
    }
}

void Simulation::AtomThunk(size_t index, void *self)
{
    auto *sim = static_cast<Simulation *>(self);
    if (sim->delivering_ == nullptr || index >= sim->delivering_->size()) {
        return;
    }
    if (index < sim->deliveringIndex_) {
        sim->deliveringAtom_ = sim->delivering_->begin();
        sim->deliveringIndex_ = 0;
    }
    for (; sim->deliveringIndex_ < index; ++sim->deliveringIndex_) {
        ++sim->deliveringAtom_;
    }
    sim->observer_.AtomStarts(index);
    sim->NoteBeforeDelivery(*sim->deliveringAtom_);
}

void Simulation::Deliver(const AtomList &atoms, bool replay)
{
    STANDIN_Msg *msg = STANDIN_MsgNew();
    for (const AtomRef a : atoms) {
        STANDIN_MsgAddAtom(msg, ClassId(a.cls), a.opCode, a.seq, a.Record(), RecordLen(a.cls));
    }
    const size_t before = STANDIN_ReplyCount();
    uint32_t handlerResult = 0;
    // What each delete will make of the library's rules is noted as the library takes up that atom: the atoms
    // before it in the message have changed the library by then, as they would in messages of their own.
    if (!replay) {
        delivering_ = &atoms;
        deliveringAtom_ = atoms.begin();
        deliveringIndex_ = 0;
        STANDIN_MsgSetAtomObserver(&Simulation::AtomThunk, this);
    }
    const uint32_t rc = STANDIN_MsgDeliverNow(msg, &handlerResult);
    STANDIN_MsgSetAtomObserver(nullptr, nullptr);
    delivering_ = nullptr;
    if (rc != 0) {
        trace_.Line(STANDIN_Now(), "CFG",
                    fmt::format("message of {} atoms not delivered: no handler registered for its class",
                                atoms.size()));
        return;
    }
    if (STANDIN_ReplyCount() > before) {
        TraceReply(atoms);
    } else {
        trace_.Line(STANDIN_Now(), "CFG",
                    fmt::format("{}message of {} atoms: no reply, handler result {}", replay ? "replayed " : "",
                                atoms.size(), Hex(handlerResult)));
    }
    STANDIN_ReplyClear();
}

void Simulation::TraceReply(const AtomList &atoms)
{
    const STANDIN_Reply *r = STANDIN_ReplyGet(STANDIN_ReplyCount() - 1);
    const Ms now = STANDIN_Now();
    auto atom = atoms.begin();
    for (size_t i = 0; i < r->opInfoNum && i < atoms.size(); ++i, ++atom) {
        if (r->opInfos[i].code != 0) {
            const AtomRef a = *atom;
            state_.rejected.push_back({now, a.cls, a.opCode, a.seq, AtomKey(a), "code " + Hex(r->opInfos[i].code)});
        }
    }
    if (!trace_.On()) {
        return;
    }
    std::string s = fmt::format("reply to {}:", Plural(atoms.size(), "atom", "atoms"));
    atom = atoms.begin();
    for (size_t i = 0; i < r->opInfoNum; ++i) {
        if (i == 8 && r->opInfoNum > 9) {
            fmt::format_to(std::back_inserter(s), " ... ({} more)", r->opInfoNum - 8);
            break;
        }
        const STANDIN_OpInfo &o = r->opInfos[i];
        s += (i == 0 ? " " : ", ");
        if (i < atoms.size()) {
            const AtomRef a = *atom++;
            fmt::format_to(std::back_inserter(s), "{} {} ", ClassName(a.cls), AtomKey(a));
        }
        s += AtomOpName(o.opCode);
        if (o.opCode > ZELM_CFG_OP_DEL) {
            fmt::format_to(std::back_inserter(s), " {}", o.opCode);
        }
        fmt::format_to(std::back_inserter(s), " seq {} code {}", o.seq, Hex(o.code));
    }
    if (r->hasRetCode != 0) {
        fmt::format_to(std::back_inserter(s), "; return code {}", r->retCode);
    }
    trace_.Line(now, "CFG", s);
}

}  // namespace zsim

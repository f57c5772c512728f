// Writes the seed corpus of zelm_entries_fuzz: one small input per path worth starting from.
//
//   zelm_fuzz_seeds <folder>
//
// Each seed is written with a mirror of FuzzedDataProvider: choices go to the
// end of the input in the order the decoder takes them (so reversed), texts
// to the front. The operations and their choices follow entries_format.h.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "entries_format.h"

namespace {

using namespace zf;

class Seed {
public:
    // Mirrors ConsumeIntegralInRange<uint32_t>(0, max): as many bytes as `max` needs, most significant first.
    void Pick(uint32_t value, uint32_t max)
    {
        size_t n = 0;
        while (n < sizeof(uint32_t) && (static_cast<uint64_t>(max) >> (8 * n)) > 0) {
            ++n;
        }
        for (size_t k = 0; k < n; ++k) {
            back_.push_back(static_cast<uint8_t>(value >> (8 * (n - 1 - k))));
        }
    }
    void Bytes(const std::string &s) { front_.insert(front_.end(), s.begin(), s.end()); }
    std::vector<uint8_t> Data() const
    {
        std::vector<uint8_t> out(front_);
        out.insert(out.end(), back_.rbegin(), back_.rend());
        return out;
    }

    // ---- the shared choices -------------------------------------------------------------
    void Word(uint32_t v)
    {
        if (v == 0) {
            Pick(0, 2);
        } else if (v <= 15) {
            Pick(1, 2);
            Pick(v, 15);
        } else {
            Pick(2, 2);
            Pick(v, UINT32_MAX);
        }
    }
    void Index(uint32_t v)
    {
        if (v < 8) {
            Pick(v, 9);
        } else if (v == 0xFFFFFFFFu) {
            Pick(8, 9);
        } else {
            Pick(9, 9);
            Word(v);
        }
    }
    void CompType(uint32_t v)
    {
        for (uint32_t i = 0; i < 7; ++i) {
            if (kCompTypes[i] == v) {
                Pick(i, 7);
                return;
            }
        }
        Pick(7, 7);
        Word(v);
    }
    void Node(uint32_t number) { Pick(number, kMaxNodes); }
    void Text(const std::string &s, uint32_t width)
    {
        if (s.empty()) {
            Pick(3, 3);
            return;
        }
        for (uint32_t i = 0; i < kWordNum; ++i) {
            if (s == kWords[i]) {
                Pick(0, 3);
                Pick(i, kWordNum - 1);
                return;
            }
        }
        if (s.size() == width) {
            Pick(2, 3);
        } else {
            Pick(1, 3);
            Pick(static_cast<uint32_t>(s.size()), width);
        }
        Bytes(s);
    }
    void Name(const std::string &s)
    {
        for (uint32_t i = 0; i < 3; ++i) {
            if (s == kServices[i]) {
                Pick(0, 3);
                Pick(i, 2);
                return;
            }
        }
        if (s == std::string(63, 'n')) {
            Pick(2, 3);
        } else if (s == std::string(64, 'n')) {
            Pick(3, 3);
        } else {
            Pick(1, 3);
            Pick(static_cast<uint32_t>(s.size()), kMaxName);
            Bytes(s);
        }
    }
    void Image(const std::string &s)
    {
        for (uint32_t i = 0; i < 5; ++i) {
            if (s == kImages[i]) {
                Pick(i, 5);
                return;
            }
        }
        Pick(5, 5);
        Text(s, 32);
    }
    void Op(Op op) { Pick(op, kOpCount - 1); }

private:
    std::vector<uint8_t> front_;
    std::vector<uint8_t> back_;  // in the order the decoder takes them
};

// One atom of a configuration message, written when the message is.
struct Atom {
    uint32_t classSel;  // 0-3 a known class with a structured record, 8 another class (raw record)
    uint32_t classId;   // for classSel 8
    uint16_t opCode;
    std::vector<uint32_t> nums;  // the record's choices, by kind
    std::vector<std::string> texts;
    std::string raw;  // raw record bytes (classSel 8)
};

Atom Loc(uint16_t op, uint32_t locId, uint32_t node, const std::string &name, const std::string &image = "app.service",
         uint32_t high = 0)
{
    return Atom{0, 0, op, {locId, node, high}, {name, image}, {}};
}
Atom Grp(uint16_t op, uint32_t locIndex, uint32_t logicId) { return Atom{1, 0, op, {locIndex, logicId}, {}, {}}; }
Atom Comp(uint16_t op, uint32_t locIndex, uint32_t inst, uint32_t type, const std::string &name, uint32_t status = 0)
{
    return Atom{2, 0, op, {locIndex, inst, type, status}, {name}, {}};
}
Atom Type(uint16_t op, uint32_t type, const std::string &name, uint32_t cls = 1)
{
    return Atom{3, 0, op, {type, cls}, {name}, {}};
}
Atom Raw(uint32_t classId, uint16_t op, const std::string &bytes) { return Atom{8, classId, op, {}, {}, bytes}; }

void WriteAtom(Seed &s, const Atom &a)
{
    s.Pick(a.classSel, 9);
    if (a.classSel == 8) {
        s.Pick(a.classId, UINT32_MAX);
    }
    if (a.opCode < 4) {
        s.Pick(a.opCode, 4);
    } else {
        s.Pick(4, 4);
        s.Pick(a.opCode, 65535);
    }
    s.Pick(7, 65535);  // seq
    if (a.classSel == 8) {
        s.Pick(3, 3);
        s.Pick(static_cast<uint32_t>(a.raw.size()), kMaxRawRecord);
        s.Bytes(a.raw);
        return;
    }
    s.Pick(0, 3);
    switch (a.classSel) {
    case 0:  // location
        s.Index(a.nums[0]);
        s.Word(1);  // LocType
        s.Text(a.texts[0], 32);
        s.Node(a.nums[1]);
        s.Pick(a.nums[2] != 0 ? 1 : 0, 1);
        if (a.nums[2] != 0) {
            s.Pick(a.nums[2], 255);
        }
        for (int i = 0; i < 8; ++i) {
            s.Word(static_cast<uint32_t>(i));  // LocGrp, LocParam1, Lrid, LocParam2..6
        }
        s.Image(a.texts[1]);
        s.Text("beta", 32);
        break;
    case 1:  // logic group
        s.Index(a.nums[0]);
        s.Word(a.nums[1]);
        for (int i = 0; i < 4; ++i) {
            s.Word(static_cast<uint32_t>(i + 2));
        }
        break;
    case 2:  // component
        s.Pick(a.nums[1] < 8 ? a.nums[1] : 8, 8);
        if (a.nums[1] >= 8) {
            s.Word(a.nums[1]);
        }
        s.CompType(a.nums[2]);
        s.Text(a.texts[0], 32);
        s.Word(1);
        s.Pick(a.nums[3], 3);  // cfgStatus choice
        s.Word(2);
        s.Index(a.nums[0]);
        for (int i = 0; i < 7; ++i) {
            s.Word(static_cast<uint32_t>(i + 3));
        }
        break;
    default:  // compNode
        s.CompType(a.nums[0]);
        s.Text(a.texts[0], 32);
        s.Pick(a.nums[1] < 2 ? a.nums[1] : 2, 2);
        if (a.nums[1] >= 2) {
            s.Word(a.nums[1]);
        }
        s.Text("comp.bin", 64);
        s.Text("ext", 68);
        break;
    }
}

// ---- operations -----------------------------------------------------------------------------

void Msg(Seed &s, const std::vector<Atom> &atoms, uint32_t route = 4)
{
    s.Op(kOpConfigMsg);
    s.Pick(static_cast<uint32_t>(atoms.size()), kMaxAtoms);
    s.Pick(route, 4);
    for (const Atom &a : atoms) {
        WriteAtom(s, a);
    }
}
void Link(Seed &s, uint32_t node, bool up)
{
    s.Op(kOpOsNodeLink);
    s.Node(node);
    s.Pick(up ? 1 : 0, 1);
}
void Status(Seed &s, uint32_t node, const std::string &name, uint32_t index, bool available)
{
    s.Op(kOpLocationStatus);
    s.Node(node);
    s.Name(name);
    s.Index(index);
    s.Pick(available ? 1 : 0, 1);
}
struct Script {
    uint32_t refuse = 0;
    uint32_t fail = 0;
    uint32_t noReply = 0;
    uint32_t latency = 1;  // index into kLatencies
    uint32_t result = 0;
};
void Agent(Seed &s, uint32_t node, const Script &sc)
{
    s.Op(kOpAgentScript);
    s.Node(node);
    s.Pick(sc.refuse, 3);
    s.Pick(1, 2);  // refuse status 2
    s.Pick(sc.fail, 3);
    s.Pick(1, 2);  // fail result 5
    s.Pick(sc.noReply, 3);
    s.Pick(sc.latency, 5);
    if (sc.result != 0) {
        s.Pick(3, 3);
        s.Word(sc.result);
    } else {
        s.Pick(0, 3);
    }
}
void Down(Seed &s, uint32_t node, bool down)
{
    s.Op(kOpAgentDown);
    s.Node(node);
    s.Pick(down ? 1 : 0, 1);
}
void Advance(Seed &s, uint32_t choice)
{
    s.Op(kOpAdvanceClock);
    s.Pick(choice, 7);
}
void Role(Seed &s, uint32_t choice)
{
    s.Op(kOpHaRole);
    s.Pick(choice, 3);
}
void Life(Seed &s, uint32_t mode)
{
    s.Op(kOpLifecycle);
    s.Pick(mode, 3);
    if (mode <= 1) {
        s.Pick(1, 3);
    }
}
void FailHost(Seed &s, uint32_t nth)
{
    s.Op(kOpInject);
    s.Pick(0, 4);
    s.Pick(nth - 1, 23);
}
void FailHostFrom(Seed &s, uint32_t nth)
{
    s.Op(kOpInject);
    s.Pick(1, 4);
    s.Pick(nth - 1, 63);
}
void FailCall(Seed &s, const std::string &name, uint32_t nth)
{
    for (uint32_t i = 0; i < kInjectNum; ++i) {
        if (name == kInjectable[i]) {
            s.Op(kOpInject);
            s.Pick(2, 4);
            s.Pick(i, kInjectNum - 1);
            s.Pick(nth - 1, 7);
            s.Pick(0, 1);
            return;
        }
    }
    std::fprintf(stderr, "unknown platform function %s\n", name.c_str());
}
void ClearFailures(Seed &s)
{
    s.Op(kOpInject);
    s.Pick(3, 4);
}
void FailText(Seed &s, uint32_t nth)
{
    s.Op(kOpInject);
    s.Pick(4, 4);
    s.Pick(nth - 1, 15);
}
void FailPending(Seed &s)
{
    s.Op(kOpFailPending);
    s.Pick(1, 3);
}
void Declare(Seed &s, uint32_t chassis, uint32_t slot, uint32_t cpu, bool agent)
{
    s.Op(kOpDeclareNode);
    s.Pick(chassis, 300);
    s.Pick(slot, 300);
    s.Pick(cpu, 300);
    s.Pick(agent ? 1 : 0, 1);
}
void Odd(Seed &s, uint32_t kind)
{
    s.Op(kOpOddEntry);
    s.Pick(kind, 4);
    if (kind == 2) {
        s.Node(0);
        s.Index(1);
    }
}

// Advance choices (kAdvances): 0 due now, 1 one ms, 4 one interval, 6 thirty seconds.
constexpr uint32_t kTick = 4;
constexpr uint32_t kMs = 1;
constexpr uint32_t kLong = 6;

// A location with components reachable through its link: node 0 hosts index 1 as "svc-a".
void CompWorld(Seed &s)
{
    Link(s, 0, true);
    Msg(s, {Loc(0, 1, 0, "alpha"), Type(0, 1, "typeA")});
    Status(s, 0, "svc-a", 1, true);
    Msg(s, {Comp(0, 1, 1, 1, "c1"), Comp(0, 1, 2, 3, "c2"), Comp(0, 1, 3, 207, "c3")});
    Advance(s, kMs);
}

// ---- the seeds ----------------------------------------------------------------------------

void LocLinkThenCreate(Seed &s)
{
    Link(s, 0, true);
    Msg(s, {Loc(0, 1, 0, "alpha")});
    Advance(s, kMs);
}

void LocCreateThenLink(Seed &s)
{
    Msg(s, {Loc(0, 1, 0, "alpha"), Loc(1, 2, 0, "beta")});
    Link(s, 0, true);
    Advance(s, kMs);
}

void LocHaRoleForbids(Seed &s)
{
    Role(s, 1);
    Link(s, 0, true);
    Msg(s, {Loc(0, 1, 0, "alpha")});
    Role(s, 0);
    Link(s, 0, true);
    Advance(s, kMs);
}

void LocRefusedThenTicks(Seed &s)
{
    Agent(s, 0, {2, 0, 0, 1, 0});
    Link(s, 0, true);
    Msg(s, {Loc(0, 1, 0, "alpha")});
    Advance(s, kTick);
    Advance(s, kTick);
    Advance(s, kMs);
}

void LocFailedResult(Seed &s)
{
    Agent(s, 0, {0, 1, 0, 1, 0});
    Link(s, 0, true);
    Msg(s, {Loc(0, 1, 0, "alpha")});
    Advance(s, kMs);
    Advance(s, kTick);
    Advance(s, kMs);
}

void LocNoReply(Seed &s)
{
    Agent(s, 1, {0, 0, 2, 2, 0});
    Link(s, 1, true);
    Msg(s, {Loc(0, 4, 1, "alpha")});
    Advance(s, kLong);
}

void LocDeletePublished(Seed &s)
{
    CompWorld(s);
    Msg(s, {Loc(2, 1, 0, "alpha")});
    Advance(s, kMs);
}

void LocDeleteUnpublished(Seed &s) { Msg(s, {Loc(0, 1, 0, "alpha"), Loc(2, 1, 0, "alpha"), Loc(2, 5, 0, "none")}); }

void LocImageFilter(Seed &s)
{
    Link(s, 0, true);
    Msg(s, {Loc(0, 1, 0, "a", "x.services"), Loc(0, 2, 0, "b", "a.service.b"), Loc(0, 3, 0, "c", "app.Service"),
            Loc(0, 4, 0, "d", "appservice"), Loc(2, 2, 0, "b", "appservice")});
    Advance(s, kMs);
}

void LocMovesNode(Seed &s)
{
    Link(s, 0, true);
    Link(s, 1, true);
    Msg(s, {Loc(0, 1, 0, "alpha")});
    Advance(s, kMs);
    Msg(s, {Loc(1, 1, 1, "alpha", "app.service", 0x7f)});
    Advance(s, kMs);
}

void LocLinkDownBeforeCompletion(Seed &s)
{
    Link(s, 0, true);
    Msg(s, {Loc(0, 1, 0, "alpha")});
    Link(s, 0, false);
    Advance(s, kMs);
    Link(s, 0, true);
    Advance(s, kMs);
}

void LocManyOnOneNode(Seed &s)
{
    for (uint32_t i = 0; i < 8; i += 4) {
        Msg(s, {Loc(0, i, 0, "alpha"), Loc(0, i + 1, 0, "beta"), Loc(0, i + 2, 0, "loc-7"), Loc(0, i + 3, 1, "alpha")});
    }
    Link(s, 0, true);
    Link(s, 1, true);
    Advance(s, kMs);
}

void LocNodeWithoutAgent(Seed &s)
{
    Link(s, 2, true);
    Msg(s, {Loc(0, 1, 2, "alpha")});
    Link(s, 2, false);
    Link(s, 2, false);
}

void GroupBeforeAndAfterLocation(Seed &s)
{
    Link(s, 0, true);
    Msg(s, {Grp(0, 1, 9)});
    Msg(s, {Loc(0, 1, 0, "alpha")});
    Msg(s, {Grp(1, 1, 10)});
    Advance(s, kMs);
    Msg(s, {Grp(2, 1, 10), Grp(2, 6, 0)});
    Advance(s, kMs);
}

void CompAfterLink(Seed &s)
{
    CompWorld(s);
    Advance(s, kMs);
}

void CompBeforeLink(Seed &s)
{
    Msg(s, {Type(0, 1, "typeA"), Comp(0, 2, 1, 1, "c1"), Comp(0, 2, 2, 4, "c2")});
    Status(s, 1, "svc-b", 2, true);
    Advance(s, kMs);
    Msg(s, {Type(0, 4, "typeB")});
    Advance(s, kMs);
}

void CompTypeDeleteAndIgnore(Seed &s)
{
    CompWorld(s);
    Msg(s, {Type(2, 1, "typeA"), Type(0, 5, "noclass", 0), Type(2, 1, "typeA", 0)});
    Advance(s, kMs);
    Msg(s, {Type(1, 1, "typeA")});
    Advance(s, kMs);
}

void CompCfgStatusGate(Seed &s)
{
    CompWorld(s);
    Msg(s, {Comp(0, 1, 4, 1, "off", 2), Comp(2, 1, 1, 1, "c1", 2), Comp(0, 1, 5, 1, "all", 1),
            Comp(2, 1, 2, 3, "c2", 0)});
    Advance(s, kMs);
}

void CompIndexMoves(Seed &s)
{
    CompWorld(s);
    Status(s, 0, "svc-a", 2, true);
    Status(s, 0, "svc-a", 2, true);
    Status(s, 0, "svc-a", 2, false);
    Status(s, 0, "svc-a", 3, true);
    Advance(s, kMs);
}

void CompRefusedThenTicks(Seed &s)
{
    Agent(s, 0, {3, 0, 0, 1, 0});
    CompWorld(s);
    Advance(s, kTick);
    Advance(s, kTick);
    Advance(s, kMs);
}

void CompAgentDownUp(Seed &s)
{
    Agent(s, 0, {0, 0, 0, 4, 0});
    CompWorld(s);
    Down(s, 0, true);
    Advance(s, kTick);
    Down(s, 0, false);
    Advance(s, kLong);
}

void CompFailedResultSticky(Seed &s)
{
    Agent(s, 0, {0, 0, 0, 1, 9});
    CompWorld(s);
    Advance(s, kTick);
    Agent(s, 0, {});
    Advance(s, kLong);
}

void CompDeletedByGroup(Seed &s)
{
    CompWorld(s);
    Msg(s, {Grp(0, 1, 3)});
    Msg(s, {Grp(2, 1, 3)});
    Advance(s, kMs);
}

void CompDeleteOne(Seed &s)
{
    CompWorld(s);
    Msg(s, {Comp(2, 1, 2, 3, "c2"), Comp(2, 1, 6, 3, "none"), Comp(2, 7, 1, 1, "none")});
    Advance(s, kMs);
}

void StatusRefusedReports(Seed &s)
{
    Status(s, 0, "svc-a", 0xFFFFFFFFu, true);
    Status(s, 2, "svc-b", 1, true);
    Status(s, 0, std::string(63, 'n'), 1, true);
    Status(s, 0, std::string(64, 'n'), 1, true);
    Status(s, 0, std::string(64, 'n'), 1, false);
    Status(s, 3, "svc-c", 1, true);
}

void MsgOddAtoms(Seed &s)
{
    Msg(s, {}, 0);
    Msg(s, {Raw(0x12345678u, 0, "abc"), Loc(7, 1, 0, "alpha"), Raw(0x4D30A02Bu, 0, "\x01")}, 2);
    Msg(s, {Raw(0x4D30A02Du, 9, "")});
}

void TextsFillFields(Seed &s)
{
    Link(s, 0, true);
    Msg(s, {Loc(0, 1, 0, std::string(32, 'L'), std::string(24, 'i') + ".service"), Type(0, 2, std::string(32, 'T')),
            Comp(0, 1, 1, 2, std::string(32, 'C'))});
    Status(s, 0, "svc-a", 1, true);
    Advance(s, kMs);
}

void TextsFailToCopy(Seed &s)
{
    CompWorld(s);
    for (uint32_t n = 1; n <= 6; ++n) {
        FailText(s, n);
        Msg(s, {Loc(1, 1, 0, "alpha")});
        FailText(s, n);
        Msg(s, {Comp(1, 1, 1, 1, "c1")});
        FailText(s, n);
        Status(s, 0, "svc-a", 1, true);
    }
    Advance(s, kMs);
}

void StopWithPendingCalls(Seed &s)
{
    CompWorld(s);
    Msg(s, {Loc(1, 1, 0, "alpha")});
    Life(s, 0);
    CompWorld(s);
    Life(s, 1);
    Msg(s, {Loc(0, 1, 0, "alpha")});
    Link(s, 0, true);
    Life(s, 2);
    Life(s, 3);
}

void RestartWithFailedAllocations(Seed &s)
{
    for (uint32_t n = 1; n <= 12; ++n) {
        Life(s, 1);
        FailHost(s, n);
        Life(s, 2);
        CompWorld(s);
        Life(s, 2);
    }
}

void RestartWithFailedPlatform(Seed &s)
{
    // The location module's timer calls come first in a start, the component module's after them.
    const struct {
        const char *name;
        uint32_t nth;
    } failures[] = {{"KORM_GetLocalData", 1},   {"KORM_SubOsNodeStatusIntf", 1},
                    {"QOF_TimerCreateAttr", 1}, {"QOF_TimerSetAttr", 1},
                    {"QOF_TimerCreate", 1},     {"QOF_TimerCreateAttr", 2},
                    {"QOF_TimerSetAttr", 5},    {"QOF_TimerCreate", 2},
                    {"KORM_SubLocationStatus", 1}, {"QOF_UloServerSetClassidMsgHandler", 3}};
    for (const auto &failure : failures) {
        Life(s, 1);
        FailCall(s, failure.name, failure.nth);
        Life(s, 2);
        CompWorld(s);
    }
}

void EntriesWithFailedAllocations(Seed &s)
{
    CompWorld(s);
    FailHost(s, 2);
    Msg(s, {Loc(0, 3, 0, "beta")});
    FailHost(s, 1);
    Status(s, 1, "svc-b", 4, true);
    FailHostFrom(s, 3);
    Msg(s, {Comp(0, 1, 6, 1, "c6"), Loc(0, 5, 0, "x"), Grp(0, 5, 1), Type(0, 4, "t")});
    Advance(s, kMs);
    ClearFailures(s);
    Advance(s, kTick);
}

void EntriesWithFailedPlatform(Seed &s)
{
    CompWorld(s);
    FailCall(s, "QOF_ConnRpcCall", 1);
    Msg(s, {Loc(1, 1, 0, "alpha")});
    FailCall(s, "QOF_GetNextAtom", 2);
    Msg(s, {Loc(0, 2, 0, "a"), Loc(0, 3, 0, "b"), Loc(0, 4, 0, "c")});
    FailCall(s, "QOF_AddOpInfoArea", 1);
    Msg(s, {Grp(0, 2, 1)});
    FailCall(s, "QOF_CreateMsg", 1);
    Msg(s, {Grp(0, 2, 1)});
    FailCall(s, "QOF_GetRecData", 1);
    Msg(s, {Comp(0, 1, 1, 1, "c1")});
    Advance(s, kTick);
}

void TimerStopsAfterSuccess(Seed &s)
{
    Agent(s, 0, {1, 0, 0, 1, 0});
    Agent(s, 1, {1, 0, 0, 1, 0});
    Link(s, 0, true);
    Link(s, 1, true);
    Msg(s, {Loc(0, 1, 0, "a"), Loc(0, 2, 1, "b")});
    Advance(s, kTick);
    Advance(s, kMs);
    Advance(s, kLong);
}

void OddEntries(Seed &s)
{
    for (uint32_t kind = 0; kind <= 4; ++kind) {
        Odd(s, kind);
    }
    Life(s, 1);
    Odd(s, 3);
    Odd(s, 1);
}

void OddNodePositions(Seed &s)
{
    Declare(s, 0, 300, 0, true);
    Declare(s, 255, 255, 255, true);
    Link(s, 4, true);
    Link(s, 5, true);
    Msg(s, {Loc(0, 1, 4, "alpha"), Loc(0, 2, 5, "beta")});
    Advance(s, kMs);
    Declare(s, 0, 300, 0, false);
    Link(s, 4, true);
}

void FailPendingThenTicks(Seed &s)
{
    Agent(s, 0, {0, 0, 0, 5, 0});
    CompWorld(s);
    FailPending(s);
    Advance(s, kTick);
    FailPending(s);
    Advance(s, kLong);
}

struct Named {
    const char *name;
    void (*write)(Seed &);
};

const Named kSeeds[] = {
    {"loc_link_then_create", LocLinkThenCreate},
    {"loc_create_then_link", LocCreateThenLink},
    {"loc_ha_role_forbids", LocHaRoleForbids},
    {"loc_refused_then_ticks", LocRefusedThenTicks},
    {"loc_failed_result", LocFailedResult},
    {"loc_no_reply", LocNoReply},
    {"loc_delete_published", LocDeletePublished},
    {"loc_delete_unpublished", LocDeleteUnpublished},
    {"loc_image_filter", LocImageFilter},
    {"loc_moves_node", LocMovesNode},
    {"loc_link_down_before_completion", LocLinkDownBeforeCompletion},
    {"loc_many_on_one_node", LocManyOnOneNode},
    {"loc_node_without_agent", LocNodeWithoutAgent},
    {"grp_before_and_after_location", GroupBeforeAndAfterLocation},
    {"comp_after_link", CompAfterLink},
    {"comp_before_link", CompBeforeLink},
    {"comp_type_delete_and_ignore", CompTypeDeleteAndIgnore},
    {"comp_cfg_status_gate", CompCfgStatusGate},
    {"comp_index_moves", CompIndexMoves},
    {"comp_refused_then_ticks", CompRefusedThenTicks},
    {"comp_agent_down_up", CompAgentDownUp},
    {"comp_failed_result_sticky", CompFailedResultSticky},
    {"comp_deleted_by_group", CompDeletedByGroup},
    {"comp_delete_one", CompDeleteOne},
    {"status_refused_reports", StatusRefusedReports},
    {"msg_odd_atoms", MsgOddAtoms},
    {"texts_fill_fields", TextsFillFields},
    {"texts_fail_to_copy", TextsFailToCopy},
    {"stop_with_pending_calls", StopWithPendingCalls},
    {"restart_with_failed_allocations", RestartWithFailedAllocations},
    {"restart_with_failed_platform", RestartWithFailedPlatform},
    {"entries_with_failed_allocations", EntriesWithFailedAllocations},
    {"entries_with_failed_platform", EntriesWithFailedPlatform},
    {"timer_stops_after_success", TimerStopsAfterSuccess},
    {"odd_entries", OddEntries},
    {"odd_node_positions", OddNodePositions},
    {"fail_pending_then_ticks", FailPendingThenTicks},
};

}  // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        return 2;
    }
    for (const Named &seed : kSeeds) {
        Seed s;
        seed.write(s);
        const std::vector<uint8_t> data = s.Data();
        const std::string path = std::string(argv[1]) + "/" + seed.name;
        FILE *f = std::fopen(path.c_str(), "wb");
        if (f == nullptr || std::fwrite(data.data(), 1, data.size(), f) != data.size()) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::fclose(f);
    }
    std::printf("%zu seeds written to %s\n", sizeof(kSeeds) / sizeof(kSeeds[0]), argv[1]);
    return 0;
}

// Starting, checking and stopping the world of a history.
#include "support/lib_world.h"

#include <algorithm>
#include <sstream>

#include "support/text_copies.h"

namespace zt {
namespace {

// The lines of one text that the other lacks, each after a label.
std::string Missing(const std::string &text, const std::string &other, const char *label)
{
    std::string out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        out += ("\n" + other).find("\n" + line + "\n") == std::string::npos ? label + line + "\n" : "";
    }
    return out;
}

// What an agent received in one request, as text; the model's calls and the recorded ones compare as such.
std::string CallText(bool loc, QOF_ConnHandle handle, uint32_t opType, uint32_t locIndex,
                     const std::vector<std::string> &entries)
{
    std::ostringstream os;
    os << (loc ? "KorbLocSubscribe" : "KorbCompSubscribe") << " to " << handle << " opType " << opType;
    if (!loc) {
        os << " locIndex " << locIndex;
    }
    for (const std::string &e : entries) {
        os << "\n    " << e;
    }
    return os.str();
}

std::string Expected(const ModelCall &c)
{
    std::vector<std::string> entries;
    for (const STANDIN_LocEntry &e : c.locs) {
        entries.push_back(EntryText(e));
    }
    for (const STANDIN_CompEntry &e : c.comps) {
        entries.push_back(EntryText(e));
    }
    return CallText(c.loc, c.handle, c.opType, c.locIndex, entries);
}

// The recorded call as the agent decoded it, or why it is not a well-formed request.
std::string Recorded(const STANDIN_RpcCall &c)
{
    const bool loc = c.kind == STANDIN_RPC_LOC;
    if (c.kind == STANDIN_RPC_OTHER || c.reqLen != (loc ? 16u : 24u) || c.flags != 0 || c.reserved != 0 ||
        c.decodedNum != c.entryNum) {
        return std::string("malformed call of ") + c.method;
    }
    std::vector<std::string> entries;
    for (uint32_t i = 0; i < c.decodedNum; ++i) {
        entries.push_back(loc ? EntryText(c.locEntries[i]) : EntryText(c.compEntries[i]));
    }
    return CallText(loc, c.handle, c.opType, c.locIndex, entries);
}

void Count(std::string &out, const char *what, size_t n)
{
    if (n != 0) {
        out += std::to_string(n) + " " + what + "; ";
    }
}

}  // namespace

std::vector<std::string> InjectablePoints()
{
    std::vector<std::string> points;
    for (size_t i = 0; STANDIN_FailPoint(i) != nullptr; ++i) {
        const std::string point = STANDIN_FailPoint(i);
        if (point != "memcpy_s" && point != "memset_s") {
            points.push_back(point);
        }
    }
    return points;
}

std::string LeftBehind(size_t hostBlocksBefore, size_t textCopiesBefore)
{
    std::string left;
    Count(left, "host blocks", STANDIN_HostLiveBlocks() - hostBlocksBefore);
    Count(left, "text copies", TextCopiesLive() - textCopiesBefore);
    Count(left, "timers", STANDIN_TimerAliveCount());
    Count(left, "timer attribute sets", STANDIN_TimerAttrAliveCount());
    Count(left, "replies never released", STANDIN_MsgAliveCount());
    Count(left, "releases of no live reply", STANDIN_MsgBadFreeCount());
    Count(left, "pending calls", STANDIN_RpcPendingCount());
    Count(left, "OS-node status subscription", static_cast<size_t>(STANDIN_KormOsNodeSubscribed()));
    Count(left, "location status subscription", static_cast<size_t>(STANDIN_KormLocationSubscribed()));
    return left;
}

bool World::Begin(LibModel &model, const std::vector<NodeDecl> &nodes, const std::function<void()> &beforeStart)
{
    return Start(&model, nodes, beforeStart);
}

bool World::Begin(const std::vector<NodeDecl> &nodes, const std::function<void()> &beforeStart)
{
    return Start(nullptr, nodes, beforeStart);
}

bool World::Start(LibModel *model, const std::vector<NodeDecl> &nodes, const std::function<void()> &beforeStart)
{
    STANDIN_Reset();
    // A history that failed half-way may have left blocks and copies behind; count from here.
    hostAtStart_ = STANDIN_HostLiveBlocks();
    textsAtStart_ = TextCopiesLive();
    for (const NodeDecl &n : nodes) {
        const uint32_t id = STANDIN_KormAddOsNode(n.chassis, n.slot, n.cpu, n.agent ? 1 : 0);
        if (model != nullptr) {
            model->AddNode(id, STANDIN_KormServerHandle(id));
        }
    }
    if (beforeStart) {
        beforeStart();
    }
    if (ZELM_Init(STANDIN_HostMalloc, STANDIN_HostFree) != 0) {
        return false;
    }
    baseBlocks_ = STANDIN_HostLiveBlocks() - hostAtStart_;
    return true;
}

std::string World::Mismatch(const LibModel &model) const
{
    // The two modules' calls are compared apart: when both smooth timers tick in one interval,
    // which ticks first depends on when each was started, which no rule of the library fixes.
    for (const bool loc : {true, false}) {
        std::vector<std::string> made;
        std::vector<std::string> expected;
        for (size_t i = 0; i < STANDIN_RpcCallCount(); ++i) {
            const STANDIN_RpcCall &call = *STANDIN_RpcCallGet(i);
            if ((call.kind == STANDIN_RPC_LOC) == loc) {
                made.push_back(Recorded(call));
            }
        }
        for (const ModelCall &call : model.Sent()) {
            if (call.loc == loc) {
                expected.push_back(Expected(call));
            }
        }
        for (size_t i = 0; i < std::max(made.size(), expected.size()); ++i) {
            const std::string a = i < made.size() ? made[i] : "no call";
            const std::string b = i < expected.size() ? expected[i] : "no call";
            if (a != b) {
                return std::string("call ") + std::to_string(i + 1) + " of its module differs:\n  library: " + a +
                       "\n  model:   " + b;
            }
        }
    }
    std::string problems;
    const Snapshot lib = LibrarySnapshot(model.Agents(), &problems);
    if (!problems.empty()) {
        return "malformed sets:\n" + problems;
    }
    const std::string libText = Describe(lib);
    const std::string modelText = Describe(model.Expected());
    if (libText != modelText) {
        return "library and model differ:\n" + Missing(libText, modelText, "  library only: ") +
               Missing(modelText, libText, "  model only:   ") + "library:\n" + libText;
    }
    if (STANDIN_RpcPendingCount() != model.Pending()) {
        return std::to_string(STANDIN_RpcPendingCount()) + " calls pending, the model has " +
               std::to_string(model.Pending());
    }
    // Every request was released exactly once: the records' blocks and one list per pending call are left,
    // and the texts of the pending requests.
    const size_t blocks = STANDIN_HostLiveBlocks() - hostAtStart_;
    const size_t expectedBlocks = baseBlocks_ + StoredBlocks(model.Expected()) + model.Pending();
    if (blocks != expectedBlocks) {
        return std::to_string(blocks) + std::string(" host blocks alive, the model accounts for ") +
               std::to_string(expectedBlocks);
    }
    const size_t texts = TextCopiesLive() - textsAtStart_;
    if (texts != model.PendingTexts()) {
        return std::to_string(texts) + " text copies alive, the pending requests hold " +
               std::to_string(model.PendingTexts());
    }
    return "";
}

std::string World::End() const
{
    STANDIN_FailClear(nullptr);
    STANDIN_RpcFailPending(1);
    ZELM_FInit();
    return LeftBehind(hostAtStart_, textsAtStart_);
}

}  // namespace zt

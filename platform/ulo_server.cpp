// The Ulo configuration server: class registrations, table messages built by the host, replies.
//
// A table message lives from STANDIN_MsgNew until its delivery ends; its atoms
// and their records are valid only while the handler runs. Each record handed
// out is at least its class's record long (shorter input zero-padded) and is
// followed by a NUL byte, so a handler reading a text field cannot run off it.
// Replies are checked against a registry of live replies: the Add operations
// take the address of a reply handle and refuse anything else, the handle
// itself included. Replies handed back are recorded with the handler's result.
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "standin_internal.h"
#include "standin_services.h"
#include "zelm_standin.h"

struct QOF_Atom {
    uint32_t classId = 0;
    uint16_t opCode = 0;
    uint16_t seq = 0;
    std::vector<uint8_t> rec;  // padded record plus its trailing NUL
};

struct QOF_Msg {
    explicit QOF_Msg(uint64_t m) : magic(m) {}
    uint64_t magic;  // first, so that a handle misread as a handle's address finds no live reply
    bool isReply = false;
    // table message
    std::vector<std::unique_ptr<QOF_Atom>> atoms;
    size_t cursor = 0;
    bool hasClass = false;
    uint32_t classId = 0;
    // reply
    uint32_t createKind = 0;
    std::vector<STANDIN_OpInfo> opInfos;
    std::vector<uint32_t> infoItems;
    uint32_t hasRetCode = 0;
    uint32_t retCode = 0;
};

struct STANDIN_Msg {
    QOF_Msg msg{0x54424C4D53474D53ull};  // a table message
    standin::StepId posted = 0;
};

struct QOF_RecordCtx {
    uint64_t id;
};

namespace standin {
namespace {

constexpr uint32_t kRefused = 0xFFFFFFFFu;

struct Handler {
    QOF_UloMsgHandler fn;
    uint32_t regArg;
    void *userData;
};

struct ReplyRec {
    STANDIN_Reply pub{};
    std::vector<STANDIN_OpInfo> opInfos;
    std::vector<uint32_t> infoItems;
    uint64_t ctxId = 0;
};

struct ClassLen {
    uint32_t classId;
    uint32_t len;
};

constexpr ClassLen kClassLens[] = {
    {0x4D30A02Bu, 140},
    {0x4D30A031u, 24},
    {0x4D30A02Du, 84},
    {0x5D32B983u, 172},
};

std::map<uint32_t, Handler> g_handlers;
std::set<QOF_Msg *> g_liveReplies;
std::set<const QOF_Msg *> g_liveTables;  // messages being delivered
std::set<const QOF_Atom *> g_liveAtoms;
std::set<const QOF_RecordCtx *> g_liveCtxs;
std::set<STANDIN_Msg *> g_posted;
std::deque<std::unique_ptr<ReplyRec>> g_replies;
uint64_t g_nextCtxId = 1;
uint64_t g_badFrees = 0;
STANDIN_AtomObserver g_atomObserver = nullptr;
void *g_atomObserverArg = nullptr;

QOF_Msg *LiveReply(QOF_Msg **replyRef)
{
    if (replyRef == nullptr) {
        return nullptr;
    }
    QOF_Msg *handle = nullptr;
    std::memcpy(&handle, replyRef, sizeof(handle));
    return g_liveReplies.count(handle) != 0 ? handle : nullptr;
}

bool LiveTable(const QOF_Msg *msg)
{
    return g_liveTables.count(msg) != 0;
}
bool LiveAtom(const QOF_Atom *atom)
{
    return g_liveAtoms.count(atom) != 0;
}

const Handler *HandlerFor(const STANDIN_Msg *m)
{
    uint32_t classId = 0;
    if (m->msg.hasClass) {
        classId = m->msg.classId;
    } else if (!m->msg.atoms.empty()) {
        classId = m->msg.atoms.front()->classId;
    } else {
        return nullptr;
    }
    auto it = g_handlers.find(classId);
    return it == g_handlers.end() ? nullptr : &it->second;
}

// Runs the handler on the message and releases the message. False when no handler is registered.
bool Deliver(STANDIN_Msg *m, uint32_t *handlerResult)
{
    const Handler *h = HandlerFor(m);
    if (h == nullptr) {
        delete m;
        return false;
    }
    const Handler handler = *h;
    QOF_RecordCtx ctx{g_nextCtxId++};
    g_liveCtxs.insert(&ctx);
    g_liveTables.insert(&m->msg);
    for (const auto &a : m->msg.atoms) {
        g_liveAtoms.insert(a.get());
    }
    STANDIN_Entry what{};
    what.kind = STANDIN_ENTRY_CONFIG;
    what.atoms = static_cast<uint32_t>(m->msg.atoms.size());
    uint32_t result = 0;
    {
        const EntryScope entry(what);
        result = handler.fn(handler.userData, &m->msg, &ctx);
    }
    for (const auto &r : g_replies) {
        if (r->ctxId == ctx.id) {
            r->pub.handlerResult = result;
        }
    }
    for (const auto &a : m->msg.atoms) {
        g_liveAtoms.erase(a.get());
    }
    g_liveTables.erase(&m->msg);
    g_liveCtxs.erase(&ctx);
    delete m;
    if (handlerResult != nullptr) {
        *handlerResult = result;
    }
    return true;
}

void DeliverPosted(void *arg)
{
    auto *m = static_cast<STANDIN_Msg *>(arg);
    g_posted.erase(m);
    m->posted = 0;
    (void)Deliver(m, nullptr);
}

}  // namespace

void ResetServer()
{
    for (STANDIN_Msg *m : g_posted) {
        (void)LoopCancel(m->posted);
        delete m;
    }
    g_posted.clear();
    for (QOF_Msg *r : g_liveReplies) {
        delete r;
    }
    g_liveReplies.clear();
    g_handlers.clear();
    g_replies.clear();
    g_badFrees = 0;
    g_atomObserver = nullptr;
    g_atomObserverArg = nullptr;
}
}  // namespace standin

// A null handler withdraws the class's registration.
extern "C" uint32_t QOF_UloServerSetClassidMsgHandler(uint32_t classId, uint32_t regArg, QOF_UloMsgHandler handler,
                                                      void *userData)
{
    STANDIN_FAIL_POINT(failStatus);
    if (handler == nullptr) {
        standin::g_handlers.erase(classId);
        return 0;
    }
    standin::g_handlers[classId] = standin::Handler{handler, regArg, userData};
    return 0;
}

extern "C" uint32_t QOF_CreateMsg(QOF_Msg *msg, uint32_t kind, QOF_Msg **reply)
{
    STANDIN_FAIL_POINT(failStatus);
    if (!standin::LiveTable(msg) || reply == nullptr) {
        return standin::kRefused;
    }
    auto *r = new QOF_Msg(0x5245504C59524550ull);
    r->isReply = true;
    r->createKind = kind;
    standin::g_liveReplies.insert(r);
    *reply = r;
    return 0;
}

// An injected failure reads as a message without atoms.
extern "C" uint16_t QOF_GetBlockNum(QOF_Msg *msg)
{
    STANDIN_FAIL_POINT(0);
    if (!standin::LiveTable(msg)) {
        return 0;
    }
    return static_cast<uint16_t>(msg->atoms.size() > UINT16_MAX ? UINT16_MAX : msg->atoms.size());
}

extern "C" uint32_t QOF_GetNextAtom(QOF_Msg *msg, QOF_Atom **atom)
{
    STANDIN_FAIL_POINT(failStatus);
    if (!standin::LiveTable(msg) || atom == nullptr || msg->cursor >= msg->atoms.size()) {
        return standin::kRefused;
    }
    if (standin::g_atomObserver != nullptr) {
        const standin::EntryUncounted observing;
        standin::g_atomObserver(msg->cursor, standin::g_atomObserverArg);
    }
    *atom = msg->atoms[msg->cursor++].get();
    return 0;
}

extern "C" uint32_t QOF_GetClassId(QOF_Atom *atom, uint32_t *classId)
{
    STANDIN_FAIL_POINT(failStatus);
    if (!standin::LiveAtom(atom) || classId == nullptr) {
        return standin::kRefused;
    }
    *classId = atom->classId;
    return 0;
}

extern "C" uint32_t QOF_GetAtomOpCode(QOF_Atom *atom, uint16_t *opCode)
{
    STANDIN_FAIL_POINT(failStatus);
    if (!standin::LiveAtom(atom) || opCode == nullptr) {
        return standin::kRefused;
    }
    *opCode = atom->opCode;
    return 0;
}

extern "C" uint32_t QOF_GetAtomSeq(QOF_Atom *atom, uint16_t *seq)
{
    STANDIN_FAIL_POINT(failStatus);
    if (!standin::LiveAtom(atom) || seq == nullptr) {
        return standin::kRefused;
    }
    *seq = atom->seq;
    return 0;
}

extern "C" uint32_t QOF_GetRecData(QOF_Atom *atom, void **rec)
{
    STANDIN_FAIL_POINT(failStatus);
    if (!standin::LiveAtom(atom) || rec == nullptr) {
        return standin::kRefused;
    }
    *rec = atom->rec.data();
    return 0;
}

extern "C" uint32_t QOF_AddOpInfoArea(QOF_Msg **reply, uint16_t opCode, uint32_t code, uint16_t seq)
{
    STANDIN_FAIL_POINT(failStatus);
    QOF_Msg *r = standin::LiveReply(reply);
    if (r == nullptr) {
        return standin::kRefused;
    }
    r->opInfos.push_back(STANDIN_OpInfo{opCode, seq, code});
    return 0;
}

extern "C" uint32_t QOF_AddInfoItem(QOF_Msg **reply, uint32_t code)
{
    STANDIN_FAIL_POINT(failStatus);
    QOF_Msg *r = standin::LiveReply(reply);
    if (r == nullptr) {
        return standin::kRefused;
    }
    r->infoItems.push_back(code);
    return 0;
}

// A second return code replaces the first.
extern "C" uint32_t QOF_AddRetCode(QOF_Msg **reply, uint32_t retCode)
{
    STANDIN_FAIL_POINT(failStatus);
    QOF_Msg *r = standin::LiveReply(reply);
    if (r == nullptr) {
        return standin::kRefused;
    }
    r->hasRetCode = 1;
    r->retCode = retCode;
    return 0;
}

// Records what the reply holds now; the reply stays the caller's, to be released with QOF_FreeMsg.
extern "C" uint32_t QOF_UloServerAddRecord(QOF_RecordCtx *recordCtx, QOF_Msg *reply)
{
    STANDIN_FAIL_POINT(failStatus);
    if (standin::g_liveCtxs.count(recordCtx) == 0 || standin::g_liveReplies.count(reply) == 0) {
        return standin::kRefused;
    }
    auto rec = std::make_unique<standin::ReplyRec>();
    rec->ctxId = recordCtx->id;
    rec->opInfos = reply->opInfos;
    rec->infoItems = reply->infoItems;
    STANDIN_Reply &pub = rec->pub;
    pub.handedBack = 1;
    pub.hasRetCode = reply->hasRetCode;
    pub.retCode = reply->retCode;
    pub.createKind = reply->createKind;
    pub.opInfoNum = rec->opInfos.size();
    pub.opInfos = rec->opInfos.empty() ? nullptr : rec->opInfos.data();
    pub.infoItemNum = rec->infoItems.size();
    pub.infoItems = rec->infoItems.empty() ? nullptr : rec->infoItems.data();
    standin::g_replies.push_back(std::move(rec));
    return 0;
}

// Releases a reply; anything else (a table message, a released reply) is counted and left alone.
extern "C" void QOF_FreeMsg(QOF_Msg *msg)
{
    (void)STANDIN_FAILING();  // counted; a release cannot fail
    if (msg == nullptr) {
        return;
    }
    if (standin::g_liveReplies.erase(msg) == 0) {
        ++standin::g_badFrees;
        return;
    }
    delete msg;
}

extern "C" uint32_t STANDIN_ClassRecordLen(uint32_t classId)
{
    for (const standin::ClassLen &c : standin::kClassLens) {
        if (c.classId == classId) {
            return c.len;
        }
    }
    return 0;
}

extern "C" STANDIN_Msg *STANDIN_MsgNew(void)
{
    return new STANDIN_Msg;
}

extern "C" void STANDIN_MsgAddAtom(STANDIN_Msg *msg, uint32_t classId, uint16_t opCode, uint16_t seq,
                                   const void *record, uint32_t recordLen)
{
    if (msg == nullptr || msg->posted != 0) {
        return;
    }
    auto atom = std::make_unique<QOF_Atom>();
    atom->classId = classId;
    atom->opCode = opCode;
    atom->seq = seq;
    const uint32_t classLen = STANDIN_ClassRecordLen(classId);
    const size_t len = recordLen > classLen ? recordLen : classLen;
    atom->rec.assign(len + 1, 0);
    if (record != nullptr && recordLen != 0) {
        std::memcpy(atom->rec.data(), record, recordLen);
    }
    msg->msg.atoms.push_back(std::move(atom));
}

extern "C" void STANDIN_MsgSetClass(STANDIN_Msg *msg, uint32_t classId)
{
    if (msg != nullptr) {
        msg->msg.hasClass = true;
        msg->msg.classId = classId;
    }
}

extern "C" void STANDIN_MsgSetAtomObserver(STANDIN_AtomObserver observer, void *arg)
{
    standin::g_atomObserver = observer;
    standin::g_atomObserverArg = observer != nullptr ? arg : nullptr;
}

extern "C" uint32_t STANDIN_MsgPost(STANDIN_Msg *msg)
{
    if (msg == nullptr || msg->posted != 0) {
        return 1;
    }
    if (standin::HandlerFor(msg) == nullptr) {
        delete msg;
        return 1;
    }
    standin::g_posted.insert(msg);
    msg->posted = standin::LoopPostAt(standin::ClockNow(), &standin::DeliverPosted, msg);
    return 0;
}

extern "C" uint32_t STANDIN_MsgDeliverNow(STANDIN_Msg *msg, uint32_t *handlerResult)
{
    if (msg == nullptr || msg->posted != 0) {
        return 1;
    }
    return standin::Deliver(msg, handlerResult) ? 0 : 1;
}

extern "C" void STANDIN_MsgFree(STANDIN_Msg *msg)
{
    if (msg != nullptr && msg->posted == 0) {
        delete msg;
    }
}

extern "C" size_t STANDIN_ReplyCount(void)
{
    return standin::g_replies.size();
}

extern "C" const STANDIN_Reply *STANDIN_ReplyGet(size_t index)
{
    return index < standin::g_replies.size() ? &standin::g_replies[index]->pub : nullptr;
}

extern "C" void STANDIN_ReplyClear(void)
{
    standin::g_replies.clear();
}

extern "C" size_t STANDIN_MsgAliveCount(void)
{
    return standin::g_liveReplies.size();
}

extern "C" uint64_t STANDIN_MsgBadFreeCount(void)
{
    return standin::g_badFrees;
}

extern "C" QOF_UloMsgHandler STANDIN_UloHandler(uint32_t classId, void **userData)
{
    auto it = standin::g_handlers.find(classId);
    if (it == standin::g_handlers.end()) {
        return nullptr;
    }
    if (userData != nullptr) {
        *userData = it->second.userData;
    }
    return it->second.fn;
}

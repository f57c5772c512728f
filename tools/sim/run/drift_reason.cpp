// The names of the drift kinds and reasons.
#include "run/drift_reason.h"

namespace zsim {

namespace {

struct ReasonName {
    DriftReason reason;
    const char *code;
    const char *label;
};

// In the order of the enum, checked below.
constexpr ReasonName kReasons[] = {
    {DriftReason::LibraryStopped, "library-stopped", "the library is stopped"},
    {DriftReason::RestartedWithoutReplay, "restarted-without-replay",
     "the library was restarted without replay: it knows only what came after"},
    {DriftReason::NotInLibrary, "not-in-library", "the library does not hold it"},
    {DriftReason::NoChannel, "no-channel", "no channel to the agent"},
    {DriftReason::InFlight, "in-flight", "publication in flight"},
    {DriftReason::Retrying, "retrying", "not delivered; the smooth timer retries every 5 s"},
    {DriftReason::PublicationFailed, "publication-failed", "its last publication failed"},
    {DriftReason::HaRoleForbids, "ha-role-forbids", "the HA role forbids publication"},
    {DriftReason::HeldBackByHaRole, "held-back-by-ha-role",
     "held back while the HA role forbade publication; never republished"},
    {DriftReason::NeverPublished, "never-published", "never published: never sent"},
    {DriftReason::FailedEveryTime, "failed-every-time",
     "never published: refused or failed every time it was sent, and not sent again"},
    {DriftReason::WithdrawnByGroupDelete, "withdrawn-by-group-delete",
     "withdrawn by the delete of its logic group; sent again only when its OS node is smoothed"},
    {DriftReason::NotRepublished, "not-republished", "the library has not republished it since it changed"},
    {DriftReason::UnknownOsNode, "unknown-os-node", "its OsInst names no declared OS node"},
    {DriftReason::NoAgent, "no-agent", "the node has no agent"},
    {DriftReason::Moved, "moved", "moved to another node: the former agent is never told"},
    {DriftReason::NotConfigured, "not-configured", "not in the configuration"},
    {DriftReason::NoLongerConfigured, "no-longer-configured", "no longer configured"},
    {DriftReason::DeletedBeforePublished, "deleted-before-published",
     "deleted before its publication completed: no withdrawal was sent"},
    {DriftReason::DeletedUnsent, "delete-not-sent", "deleted when the library could not send a withdrawal"},
    {DriftReason::WithdrawalInFlight, "withdrawal-in-flight", "its withdrawal is in flight"},
    {DriftReason::WithdrawalLost, "withdrawal-lost", "its withdrawal did not succeed and is never sent again"},
    {DriftReason::IndexNotAvailable, "index-not-available", "its location index is not available on any node"},
    {DriftReason::Forgotten, "forgotten",
     "the library forgot it when its location index moved or its location or logic group was deleted"},
    {DriftReason::PublishedElsewhere, "published-elsewhere",
     "the library publishes its location index to another agent"},
    {DriftReason::TypeMissing, "type-missing", "its component type is missing"},
    {DriftReason::AnnouncedElsewhere, "announced-elsewhere",
     "its location index is announced by another node: this agent is never told to drop it"},
    {DriftReason::NotPublishedHere, "not-published-here", "configured, but no longer published here"},
};

constexpr bool InEnumOrder()
{
    for (int i = 0; i < kDriftReasonCount; ++i) {
        if (static_cast<int>(kReasons[i].reason) != i) {
            return false;
        }
    }
    return sizeof kReasons / sizeof kReasons[0] == kDriftReasonCount;
}
static_assert(InEnumOrder(), "one name per drift reason, in the order of the enum");

}  // namespace

const char *KindName(DriftKind kind)
{
    switch (kind) {
    case DriftKind::Missing:
        return "missing";
    case DriftKind::Extra:
        return "extra";
    case DriftKind::Stale:
        return "stale";
    }
    return "?";
}

const char *ReasonCode(DriftReason reason)
{
    return kReasons[static_cast<int>(reason)].code;
}

const char *ReasonLabel(DriftReason reason)
{
    return kReasons[static_cast<int>(reason)].label;
}

}  // namespace zsim

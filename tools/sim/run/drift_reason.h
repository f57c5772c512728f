// The kinds of drift and the reasons for it: one enum each, named in one place.
//
// A reason's code is stable (reports and searches over many runs group by it); its label says what the
// reason means in general. Each drift item also carries a text with the particulars (which node, index,
// status), made where the reason is found.
#ifndef ZELM_SIM_DRIFT_REASON_H
#define ZELM_SIM_DRIFT_REASON_H

#include <optional>
#include <string>
#include <utility>

#include "text/units.h"

namespace zsim {

enum class DriftKind {
    Missing,  // the configuration places the entry at this agent and the agent does not hold it
    Extra,    // the agent holds an entry the configuration no longer has, or no longer places there
    Stale,    // the agent holds the entry with other values than configured
};

enum class DriftReason {
    LibraryStopped,
    RestartedWithoutReplay,
    NotInLibrary,
    NoChannel,
    InFlight,
    Retrying,
    PublicationFailed,
    HaRoleForbids,
    HeldBackByHaRole,
    NeverPublished,
    FailedEveryTime,
    WithdrawnByGroupDelete,
    NotRepublished,
    UnknownOsNode,
    NoAgent,
    Moved,
    NotConfigured,
    NoLongerConfigured,
    DeletedBeforePublished,
    DeletedUnsent,
    WithdrawalInFlight,
    WithdrawalLost,
    IndexNotAvailable,
    Forgotten,
    PublishedElsewhere,
    TypeMissing,
    AnnouncedElsewhere,
    NotPublishedHere,
};
inline constexpr int kDriftReasonCount = static_cast<int>(DriftReason::NotPublishedHere) + 1;

// "missing", "extra", "stale".
const char *KindName(DriftKind kind);
// A stable identifier such as "retrying".
const char *ReasonCode(DriftReason reason);
// What the reason means, without particulars: "not delivered; the smooth timer retries every 5 s".
const char *ReasonLabel(DriftReason reason);

// The event a drift item follows from, where one can be named: when it happened, and what it was in a few
// words ("index 6 moved to 16").
struct Cause {
    Ms at = 0;
    std::string what;
};

// A reason with its particulars.
struct Why {
    Why() = default;
    Why(DriftReason r, std::string t, std::optional<Cause> c = std::nullopt)
        : reason(r), text(std::move(t)), cause(std::move(c))
    {}
    DriftReason reason = DriftReason::NotConfigured;
    std::string text;
    std::optional<Cause> cause;
};

}  // namespace zsim

#endif

// A run's history per node, in virtual time: links, agent outages, every request and its outcome, the
// library's fault flags. Kept on request (it grows with the run), for pictures of a run and for comparing runs.
#ifndef ZELM_SIM_HISTORY_H
#define ZELM_SIM_HISTORY_H

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "scenario/scenario.h"

namespace zsim {

// A period; `to` is empty when it still lasted at the end of the run.
struct Span {
    Ms from = 0;
    std::optional<Ms> to;
};

enum class RequestOutcome {
    Applied,   // the agent answered result 0 and holds what was sent
    Refused,   // the call was refused (code: the status)
    Rejected,  // the agent answered a non-zero result (code)
    NoReply,   // completed without a reply message
    Failed,    // the call failed: the agent went down, or the host failed it before a stop
    InFlight,  // not completed at the end of the run
};

struct RequestRecord {
    uint64_t callId = 0;
    Ms at = 0;
    std::optional<Ms> doneAt;
    bool component = false;  // a component request; a location request otherwise
    uint32_t opType = 0;     // 0 add, 1 delete, 2 smooth
    uint32_t locIndex = 0;   // component requests: the index they publish to
    uint32_t entries = 0;
    RequestOutcome outcome = RequestOutcome::InFlight;
    uint32_t code = 0;
    std::string timer;        // the smooth timer whose tick sent it; empty when an event did
    size_t event = SIZE_MAX;  // otherwise the timeline event (index into Scenario::events) that led to it
    size_t atom = SIZE_MAX;   // and for a configuration message, the atom (index into Event::atoms) it followed
};

// A period in which the library held its fault flag for one peer of a node: the OS node itself (its
// locations), or a component location published to the node's agent.
struct FaultSpan {
    bool component = false;
    uint32_t locIndex = 0;
    Span span;
};

struct NodeHistory {
    std::vector<Span> linkUp;
    std::vector<Span> agentDown;
    std::vector<FaultSpan> faults;
    std::vector<RequestRecord> requests;
};

// A tick of a smooth timer: it republishes to the peers whose fault flag the library holds, and to none when
// the flagged peers have nothing to send.
struct TickRecord {
    Ms at = 0;
    bool component = false;  // the component module's timer; the location module's otherwise
    std::string timer;
};

struct RunHistory {
    std::vector<NodeHistory> nodes;  // as Scenario::nodes
    std::vector<TickRecord> ticks;
};

// A request's operation type as the trace names it: "add", "delete", "smooth".
const char *RequestOpName(uint32_t opType);

// Opens a span at `t` unless one is open; closes the open one at `t` when `on` is false.
void MarkSpan(std::vector<Span> &spans, bool on, Ms t);

}  // namespace zsim

#endif

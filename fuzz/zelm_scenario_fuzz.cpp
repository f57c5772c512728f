// Fuzzes zelm-sim's scenario reader: any bytes give a scenario or a ScenarioError with a printable message,
// never a crash, a hang or memory beyond the reader's limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "scenario/scenario.h"
#include "text/printable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    zsim::ReadLimits limits;
    limits.memoryBytes = uint64_t{256} << 20;  // what passes must fit well within the fuzzer's memory limit
    try {
        const zsim::Scenario sc =
            zsim::ParseScenario(std::string(reinterpret_cast<const char *>(data), size), "fuzz.yaml", limits);
        for (size_t i = 1; i < sc.events.size(); ++i) {
            if (sc.events[i].at < sc.events[i - 1].at || sc.events[i].at > 2 * zsim::kMaxTime) {
                std::abort();  // the run relies on events in time order, within two days
            }
        }
    } catch (const zsim::ScenarioError &e) {
        // The message reaches a terminal: it must come out printable and short whatever the input held.
        if (zsim::Printable(e.what()).size() > 4096) {
            std::abort();
        }
    }
    return 0;
}

// Progress of a long run on stderr: virtual time, events applied, requests sent.
#ifndef ZELM_SIM_PROGRESS_H
#define ZELM_SIM_PROGRESS_H

#include <chrono>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>

#include "run/sim_state.h"

namespace zsim {

class Progress {
public:
    explicit Progress(FILE *out);
    // Shows the state when the run has lasted a while; cheap to call often.
    void Update(const SimState &s, Ms now);
    // The same for any line of progress: `line` is called only when the line is due.
    void Update(const std::function<std::string()> &line);
    // Ends the display (a final line with the latest state), if anything was shown.
    void Finish();

private:
    bool Due();
    void Show(bool last);
    std::string StateLine() const;

    using Clock = std::chrono::steady_clock;
    FILE *out_;
    bool tty_;
    bool shown_ = false;
    Clock::time_point start_;
    Clock::time_point lastShown_;
    // The latest state seen.
    Ms now_ = 0;
    size_t eventsDone_ = 0;
    size_t events_ = 0;
    uint64_t requests_ = 0;
    std::optional<std::string> line_;  // the latest line given, shown instead of the run's state
};

}  // namespace zsim

#endif

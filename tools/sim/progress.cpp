// Progress display: silent for short runs; on a terminal one line redrawn in place, elsewhere a line a second.
#include "progress.h"

#include <unistd.h>

namespace zsim {

namespace {

constexpr auto kQuietStart = std::chrono::milliseconds(500);
constexpr auto kTtyPeriod = std::chrono::milliseconds(200);
constexpr auto kLogPeriod = std::chrono::milliseconds(1000);

}  // namespace

Progress::Progress(FILE *out)
    : out_(out), tty_(isatty(fileno(out)) != 0), start_(Clock::now()), lastShown_(start_)
{
}

void Progress::Update(const SimState &s, Ms now)
{
    now_ = now;
    eventsDone_ = s.eventsDone;
    events_ = s.scenario.events.size();
    requests_ = s.counters.locRequests + s.counters.compRequests;
    const Clock::time_point t = Clock::now();
    if (t - start_ < kQuietStart || t - lastShown_ < (tty_ ? kTtyPeriod : kLogPeriod)) {
        return;
    }
    lastShown_ = t;
    Show(false);
}

void Progress::Finish()
{
    if (shown_) {
        Show(true);
    }
}

void Progress::Show(bool last)
{
    const double wall = std::chrono::duration<double>(Clock::now() - start_).count();
    std::fprintf(out_, "%szelm-sim: virtual %s s, events %zu/%zu, requests %llu, wall %.1f s%s", tty_ ? "\r\033[K" : "",
                 FormatTime(now_).c_str(), eventsDone_, events_, static_cast<unsigned long long>(requests_), wall,
                 tty_ && !last ? "" : "\n");
    std::fflush(out_);
    shown_ = true;
}

}  // namespace zsim

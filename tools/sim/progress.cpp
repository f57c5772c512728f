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
    const Clock::time_point t = Clock::now();
    if (t - start_ < kQuietStart || t - lastShown_ < (tty_ ? kTtyPeriod : kLogPeriod)) {
        return;
    }
    lastShown_ = t;
    Show(s, now, false);
}

void Progress::Finish(const SimState &s, Ms now)
{
    if (shown_) {
        Show(s, now, true);
    }
}

void Progress::Show(const SimState &s, Ms now, bool last)
{
    const double wall = std::chrono::duration<double>(Clock::now() - start_).count();
    const Counters &c = s.counters;
    std::fprintf(out_, "%szelm-sim: virtual %s s, events %zu/%zu, requests %llu, wall %.1f s%s", tty_ ? "\r\033[K" : "",
                 FormatTime(now).c_str(), s.eventsDone, s.scenario.events.size(),
                 static_cast<unsigned long long>(c.locRequests + c.compRequests), wall, tty_ && !last ? "" : "\n");
    std::fflush(out_);
    shown_ = true;
}

}  // namespace zsim

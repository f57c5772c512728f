// Progress display: silent for short runs; on a terminal one line redrawn in place, elsewhere a line a second.
#include "run/progress.h"

#include "text/print.h"
#include "text/units.h"

#include <fmt/format.h>
#include <unistd.h>

namespace zsim {

namespace {

constexpr auto kQuietStart = std::chrono::milliseconds(500);
constexpr auto kTtyPeriod = std::chrono::milliseconds(200);
constexpr auto kLogPeriod = std::chrono::milliseconds(1000);

}  // namespace

Progress::Progress(FILE *out) : out_(out), tty_(isatty(fileno(out)) != 0), start_(Clock::now()), lastShown_(start_) {}

void Progress::Update(const SimState &s, Ms now)
{
    now_ = now;
    eventsDone_ = s.eventsDone;
    events_ = s.scenario.events.size();
    requests_ = s.counters.Requests();
    if (Due()) {
        Show(false);
    }
}

void Progress::Update(const std::function<std::string()> &line)
{
    if (Due()) {
        line_ = line();
        Show(false);
    }
}

bool Progress::Due()
{
    const Clock::time_point t = Clock::now();
    if (t - start_ < kQuietStart || t - lastShown_ < (tty_ ? kTtyPeriod : kLogPeriod)) {
        return false;
    }
    lastShown_ = t;
    return true;
}

void Progress::Finish()
{
    if (shown_) {
        Show(true);
    }
}

std::string Progress::StateLine() const
{
    return fmt::format("virtual {} s, events {}/{}, requests {}", FormatTime(now_), eventsDone_, events_, requests_);
}

void Progress::Show(bool last)
{
    const double wall = std::chrono::duration<double>(Clock::now() - start_).count();
    Print(out_, "{}zelm-sim: {}, wall {:.1f} s{}", tty_ ? "\r\033[K" : "", line_.value_or(StateLine()), wall,
          tty_ && !last ? "" : "\n");
    std::fflush(out_);
    shown_ = true;
}

}  // namespace zsim

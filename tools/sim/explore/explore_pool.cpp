// The worker processes of explore: one child per run, forked from a parent that never runs the library
// itself, so that every run starts from the same process image and no run can disturb another.
#include "explore/explore_pool.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <type_traits>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include "report/outputs.h"
#include "report/run_scenario.h"
#include "timeline/timeline_page.h"

namespace zsim {

namespace {

static_assert(std::is_trivially_copyable_v<RunOutcome>, "an outcome travels as bytes");

using Clock = std::chrono::steady_clock;

constexpr double kHangBaseSeconds = 60;
constexpr double kHangSlowestFactor = 10;
constexpr int kChildFailed = 3;  // the child could not make or run its scenario (out of memory)

struct Child {
    size_t run = 0;
    int fd = -1;
    Clock::time_point start;
    std::string bytes;  // what it sent so far
};

[[noreturn]] void SystemFailure(const char *what)
{
    throw UsageError(std::string("cannot ") + what + " for a run: " + std::strerror(errno));
}

bool WriteAll(int fd, const void *data, size_t size)
{
    const char *p = static_cast<const char *>(data);
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// In the child: never returns, and never lets an exception unwind into the parent's code it was forked from.
[[noreturn]] void RunChild(int fd, size_t run, const std::function<std::string(size_t)> &work)
{
    try {
        const std::string bytes = work(run);
        _exit(WriteAll(fd, bytes.data(), bytes.size()) ? 0 : kChildFailed);
    } catch (...) {
        _exit(kChildFailed);
    }
}

std::string Bytes(const RunOutcome &outcome)
{
    return std::string(reinterpret_cast<const char *>(&outcome), sizeof outcome);
}

RunOutcome OutcomeOf(const RunResult &r)
{
    RunOutcome out;
    out.converged = r.report.converged;
    out.convergedAt = r.report.convergedAt;
    out.leftBlocks = r.leftBlocks;
    out.holdings = r.holdings;
    for (const ReasonCount &c : r.report.driftByReason) {
        out.Add(ReasonKey{c.kind, c.reason}, c.items);
    }
    return out;
}

// The outcome of a child that ended (its pipe closed): what it sent, or how it died; what followed the outcome
// goes to `rest`.
RunOutcome Reap(pid_t pid, Child &c, std::string &rest)
{
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    RunOutcome out;
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0 && c.bytes.size() >= sizeof out) {
        std::memcpy(&out, c.bytes.data(), sizeof out);
        rest = c.bytes.substr(sizeof out);
        return out;
    }
    out.status = RunOutcome::Status::Crashed;
    out.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    out.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 0;
    return out;
}

// Reads what is there; true at the end of the pipe.
bool Drain(Child &c)
{
    char buf[4096];
    for (;;) {
        const ssize_t n = read(c.fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n > 0) {
            c.bytes.append(buf, static_cast<size_t>(n));
            continue;
        }
        return n == 0 || errno != EAGAIN;
    }
}

}  // namespace

std::vector<ReasonKey> RunOutcome::Reasons() const
{
    std::vector<ReasonKey> out;
    for (const DriftKind kind : {DriftKind::Missing, DriftKind::Extra, DriftKind::Stale}) {
        for (int r = 0; r < kDriftReasonCount; ++r) {
            const ReasonKey key{kind, static_cast<DriftReason>(r)};
            if (Shows(key)) {
                out.push_back(key);
            }
        }
    }
    return out;
}

RunOutcome RunHere(const Scenario &sc)
{
    return OutcomeOf(RunScenario(sc, RunOptions{}));
}

void WorkerPool::Run(size_t count, const std::function<Scenario(size_t)> &make,
                     const std::function<void(size_t, const RunOutcome &)> &done)
{
    RunChildren(
        count, [&make](size_t k) { return Bytes(RunHere(make(k))); },
        [&done](size_t k, const RunOutcome &outcome, const std::string &) { done(k, outcome); });
}

RunOutcome WorkerPool::RunWithPage(const Scenario &sc, std::string &page)
{
    RunOutcome out;
    RunChildren(
        1,
        [&sc](size_t) {
            RunOptions options;
            options.history = true;
            const RunResult r = RunScenario(sc, options);
            return Bytes(OutcomeOf(r)) + TimelinePage(sc, r.report, r.history);
        },
        [&](size_t, const RunOutcome &outcome, std::string rest) {
            out = outcome;
            page = std::move(rest);
        });
    return out;
}

void WorkerPool::RunChildren(size_t count, const std::function<std::string(size_t)> &work,
                             const std::function<void(size_t, const RunOutcome &, std::string)> &done)
{
    std::map<pid_t, Child> children;
    size_t next = 0;
    auto finish = [&](std::map<pid_t, Child>::iterator it, const RunOutcome &outcome, std::string rest) {
        close(it->second.fd);
        const size_t run = it->second.run;
        if (outcome.status == RunOutcome::Status::Completed) {
            slowest_ = std::max(slowest_, std::chrono::duration<double>(Clock::now() - it->second.start).count());
        }
        children.erase(it);
        done(run, outcome, std::move(rest));
    };
    while (next < count || !children.empty()) {
        while (next < count && children.size() < jobs_) {
            int fds[2];
            if (pipe2(fds, O_CLOEXEC) != 0) {
                SystemFailure("open a pipe");
            }
            std::fflush(stdout);
            std::fflush(stderr);
            const pid_t pid = fork();
            if (pid < 0) {
                close(fds[0]);
                close(fds[1]);
                SystemFailure("start a process");
            }
            if (pid == 0) {
                close(fds[0]);
                RunChild(fds[1], next, work);
            }
            close(fds[1]);
            (void)fcntl(fds[0], F_SETFL, O_NONBLOCK);
            children.emplace(pid, Child{next++, fds[0], Clock::now(), {}});
            ++started_;
        }
        std::vector<pollfd> polls;
        std::vector<pid_t> pids;
        for (const auto &[pid, c] : children) {
            polls.push_back(pollfd{c.fd, POLLIN, 0});
            pids.push_back(pid);
        }
        const double limit = kHangBaseSeconds + kHangSlowestFactor * slowest_;
        if (poll(polls.data(), polls.size(), 1000) < 0 && errno != EINTR) {
            SystemFailure("wait");
        }
        for (size_t i = 0; i < polls.size(); ++i) {
            const auto it = children.find(pids[i]);
            std::string rest;
            if (polls[i].revents != 0 && Drain(it->second)) {
                const RunOutcome outcome = Reap(pids[i], it->second, rest);
                finish(it, outcome, std::move(rest));
            } else if (std::chrono::duration<double>(Clock::now() - it->second.start).count() > limit) {
                kill(pids[i], SIGKILL);
                (void)Reap(pids[i], it->second, rest);
                RunOutcome hung;
                hung.status = RunOutcome::Status::Hung;
                finish(it, hung, {});
            }
        }
    }
}

}  // namespace zsim

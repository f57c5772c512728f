// Reading a scenario file: a regular file, a pipe or standard input, never a directory or a device, and
// never more than reading it may take.
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "scenario/budget.h"
#include "scenario/scenario.h"
#include "text/units.h"

namespace zsim {

namespace {

constexpr size_t kChunk = 1 << 16;

class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    ~Fd()
    {
        if (fd_ > STDIN_FILENO) {
            close(fd_);
        }
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

[[noreturn]] void Fail(const std::string &source, const std::string &msg)
{
    throw ScenarioError(source, Mark{}, msg);
}

[[noreturn]] void TooLarge(const std::string &source, uint64_t size, uint64_t limit)
{
    // Reading takes more than the text's own bytes: at least two copies, and the parser's nodes.
    Fail(source, OverBudget("reading more than " + FormatBytes(size) + " of scenario", 16.0 * static_cast<double>(size),
                            limit));
}

std::string ReadAll(const Fd &fd, const std::string &source, uint64_t limit)
{
    std::string text;
    char buf[kChunk];
    for (;;) {
        const ssize_t n = read(fd.get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            Fail(source, std::string("cannot read the scenario: ") + std::strerror(errno));
        }
        if (n == 0) {
            return text;
        }
        text.append(buf, static_cast<size_t>(n));
        if (text.size() > MaxTextBytes(limit)) {
            TooLarge(source, text.size(), limit);
        }
    }
}

}  // namespace

Scenario LoadScenario(const std::string &path, const ReadLimits &limits, std::string *text)
{
    const bool stdinPath = path == "-";
    const std::string source = stdinPath ? "<stdin>" : path;
    const Fd fd(stdinPath ? STDIN_FILENO : open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        Fail(source, std::string("cannot read the scenario: ") + std::strerror(errno));
    }
    struct stat st {};
    if (fstat(fd.get(), &st) != 0) {
        Fail(source, std::string("cannot read the scenario: ") + std::strerror(errno));
    }
    if (S_ISDIR(st.st_mode)) {
        Fail(source, "is a directory, not a scenario file");
    }
    if (!stdinPath && (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))) {
        Fail(source, "is a device, not a scenario file (give - to read standard input)");
    }
    if (S_ISREG(st.st_mode) && static_cast<uint64_t>(st.st_size) > MaxTextBytes(limits.memoryBytes)) {
        TooLarge(source, static_cast<uint64_t>(st.st_size), limits.memoryBytes);
    }
    std::string all = ReadAll(fd, source, limits.memoryBytes);
    Scenario sc = ParseScenario(all, source, limits);
    if (text != nullptr) {
        *text = std::move(all);
    }
    return sc;
}

}  // namespace zsim

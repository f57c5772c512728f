// LORN logging: formats both log calls and hands each event to the selected sink.
//
// A plain format starts with "%s:" for the function name and a diagnostic
// one with "[%#x]%s:" for the code and the function name; the variadic
// arguments belong to the body after that prefix. The prefix's conversions
// are formatted here from the named arguments and the rest with vsnprintf,
// so a format that does not start as expected still consumes the named
// arguments in the order it asks for them and never reads a wrong type.
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <string>

#include "platform/lorn.h"
#include "standin_internal.h"
#include "zelm_standin.h"

namespace {

// One event with the text it owns; `event` points into the strings.
struct LogRecord {
    std::string funcName;
    std::string format;
    std::string line;
    size_t bodyAt = 0;
    STANDIN_LogEvent event{};
};

struct LornState {
    STANDIN_LogSinkKind sink = STANDIN_LOG_RECORD;
    FILE *stream = nullptr;
    STANDIN_LogObserver observer = nullptr;
    void *observerArg = nullptr;
    std::deque<LogRecord> records;  // a deque never moves what it holds, so the pointers stay valid
    uint64_t total = 0;
};

LornState g_lorn;

// An argument named in the prefix: the function name (text) or the code (value).
struct PrefixArg {
    const char *text;
    uint32_t value;
    bool isText;
};

void AppendV(std::string &out, const char *fmt, va_list ap)
{
    char small[256];
    va_list probe;
    va_copy(probe, ap);
    const int n = std::vsnprintf(small, sizeof(small), fmt, probe);
    va_end(probe);
    if (n <= 0) {
        return;
    }
    const auto len = static_cast<size_t>(n);
    if (len < sizeof(small)) {
        out.append(small, len);
        return;
    }
    const size_t at = out.size();
    out.resize(at + len + 1);
    (void)std::vsnprintf(&out[at], len + 1, fmt, ap);
    out.resize(at + len);
}

void AppendArg(std::string &out, const std::string &directive, char conv, const PrefixArg &arg)
{
    char buf[64];
    int n = 0;
    if (arg.isText) {
        const char *text = (arg.text != nullptr) ? arg.text : "(null)";
        if (conv != 's') {
            out += text;
            return;
        }
        const int need = std::snprintf(nullptr, 0, directive.c_str(), text);
        if (need > 0) {
            const size_t at = out.size();
            out.resize(at + static_cast<size_t>(need) + 1);
            (void)std::snprintf(&out[at], static_cast<size_t>(need) + 1, directive.c_str(), text);
            out.resize(at + static_cast<size_t>(need));
        }
        return;
    }
    if (conv == 'd' || conv == 'i' || conv == 'c') {
        n = std::snprintf(buf, sizeof(buf), directive.c_str(), static_cast<int>(arg.value));
    } else if (conv == 'o' || conv == 'u' || conv == 'x' || conv == 'X') {
        n = std::snprintf(buf, sizeof(buf), directive.c_str(), arg.value);
    } else {
        n = std::snprintf(buf, sizeof(buf), "%#x", arg.value);
    }
    if (n > 0) {
        out.append(buf, (static_cast<size_t>(n) < sizeof(buf)) ? static_cast<size_t>(n) : sizeof(buf) - 1);
    }
}

// Formats the format's text up to the conversions that take `args` (and a
// ':' right after the last of them) into `out`. Returns where the rest of
// the format starts and sets *prefixLen to the length of the prefix: 0 when
// the format has no conversion at all.
const char *FormatPrefix(const char *fmt, const PrefixArg *args, int argNum, std::string &out, size_t *prefixLen)
{
    *prefixLen = 0;
    int used = 0;
    const char *p = fmt;
    while (*p != '\0' && used < argNum) {
        if (*p != '%') {
            out += *p++;
            continue;
        }
        if (p[1] == '%') {
            out += '%';
            p += 2;
            continue;
        }
        std::string directive = "%";
        ++p;
        while (*p != '\0' && std::strchr("-+ #0'", *p) != nullptr) {
            directive += *p++;
        }
        while ((*p >= '0' && *p <= '9') || *p == '*') {
            if (*p != '*') {
                directive += *p;
            }
            ++p;
        }
        if (*p == '.') {
            directive += *p++;
            while ((*p >= '0' && *p <= '9') || *p == '*') {
                if (*p != '*') {
                    directive += *p;
                }
                ++p;
            }
        }
        while (*p != '\0' && std::strchr("hlLqjzt", *p) != nullptr) {
            ++p;  // the argument's own type decides the length
        }
        if (*p == '\0') {
            break;
        }
        const char conv = *p++;
        directive += conv;
        if (conv != 'n') {
            AppendArg(out, directive, conv, args[used]);
        }
        ++used;
        if (used == argNum && *p == ':') {
            out += *p++;
        }
        *prefixLen = out.size();
    }
    return p;
}

const char *LevelText(uint32_t level, char *buf, size_t len)
{
    if (level == LORN_LEVEL_INFO) {
        return "INFO";
    }
    if (level == LORN_LEVEL_ERROR) {
        return "ERROR";
    }
    (void)std::snprintf(buf, len, "%u", level);
    return buf;
}

void WriteText(const STANDIN_LogEvent &ev)
{
    FILE *out = (g_lorn.stream != nullptr) ? g_lorn.stream : stdout;
    char levelBuf[16];
    (void)std::fprintf(out, "%06llu.%03llu %-5s %s: %s\n", static_cast<unsigned long long>(ev.timeMs / 1000),
                       static_cast<unsigned long long>(ev.timeMs % 1000),
                       LevelText(ev.level, levelBuf, sizeof(levelBuf)), ev.funcName, ev.body);
}

// Builds the record of one event: its texts and the event that points into them.
void Compose(LogRecord &rec, const STANDIN_LogEvent &head, const char *fmt, const PrefixArg *args, int argNum,
             va_list ap)
{
    rec.funcName = (head.funcName != nullptr) ? head.funcName : "(null)";
    rec.format = (fmt != nullptr) ? fmt : "";
    const char *rest = FormatPrefix(rec.format.c_str(), args, argNum, rec.line, &rec.bodyAt);
    AppendV(rec.line, rest, ap);
    rec.event = head;
    rec.event.funcName = rec.funcName.c_str();
    rec.event.format = rec.format.c_str();
    rec.event.line = rec.line.c_str();
    rec.event.body = rec.line.c_str() + rec.bodyAt;
}

void Dispatch(const STANDIN_LogEvent &head, const char *fmt, const PrefixArg *args, int argNum, va_list ap)
{
    ++g_lorn.total;
    const bool writes =
        (g_lorn.sink == STANDIN_LOG_RECORD) || (g_lorn.sink == STANDIN_LOG_TEXT && head.diagnostic == 0);
    if (!writes && g_lorn.observer == nullptr) {
        return;
    }
    LogRecord scratch;
    LogRecord &rec = (g_lorn.sink == STANDIN_LOG_RECORD) ? g_lorn.records.emplace_back() : scratch;
    Compose(rec, head, fmt, args, argNum, ap);
    if (g_lorn.sink == STANDIN_LOG_TEXT && head.diagnostic == 0) {
        WriteText(rec.event);
    }
    if (g_lorn.observer != nullptr) {
        g_lorn.observer(&rec.event, g_lorn.observerArg);
    }
}

}  // namespace

void standin::ResetLorn()
{
    g_lorn.sink = STANDIN_LOG_RECORD;
    g_lorn.stream = nullptr;
    g_lorn.observer = nullptr;
    g_lorn.observerArg = nullptr;
    g_lorn.records.clear();
    g_lorn.total = 0;
}

extern "C" uint32_t LORN_LogWrite(uint32_t level, uint32_t code, uint32_t reserved, const char *fmt,
                                  const char *funcName, ...)
{
    STANDIN_LogEvent head{};
    head.diagnostic = 0;
    head.level = level;
    head.code = code;
    head.reserved = reserved;
    head.timeMs = standin::ClockNow();
    head.funcName = funcName;
    const PrefixArg args[1] = {{funcName, 0, true}};
    va_list ap;
    va_start(ap, funcName);
    Dispatch(head, fmt, args, 1, ap);
    va_end(ap);
    return 0;
}

extern "C" uint32_t LORN_DLogWrite(uint32_t modId, uint32_t level, const char *fmt, uint32_t code, const char *funcName,
                                   ...)
{
    STANDIN_LogEvent head{};
    head.diagnostic = 1;
    head.level = level;
    head.code = code;
    head.modId = modId;
    head.timeMs = standin::ClockNow();
    head.funcName = funcName;
    const PrefixArg args[2] = {{nullptr, code, false}, {funcName, 0, true}};
    va_list ap;
    va_start(ap, funcName);
    Dispatch(head, fmt, args, 2, ap);
    va_end(ap);
    return 0;
}

// A null stream writes text lines to stdout.
extern "C" void STANDIN_LogSetSink(STANDIN_LogSinkKind kind, FILE *stream)
{
    g_lorn.sink = kind;
    g_lorn.stream = stream;
}

extern "C" void STANDIN_LogSetObserver(STANDIN_LogObserver observer, void *arg)
{
    g_lorn.observer = observer;
    g_lorn.observerArg = arg;
}

extern "C" size_t STANDIN_LogCount(void)
{
    return g_lorn.records.size();
}

extern "C" const STANDIN_LogEvent *STANDIN_LogGet(size_t index)
{
    return (index < g_lorn.records.size()) ? &g_lorn.records[index].event : nullptr;
}

extern "C" uint64_t STANDIN_LogTotal(void)
{
    return g_lorn.total;
}

extern "C" void STANDIN_LogClear(void)
{
    g_lorn.records.clear();
}

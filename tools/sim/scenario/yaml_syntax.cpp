// Finding the `{`, `[` or quote behind a YAML syntax error: the parser notices a missing `}` only where the
// text goes on without it, often a line later, so the text is scanned once more for what was left open.
#include <fmt/format.h>

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "scenario/yaml_read.h"

namespace zsim {

namespace {

bool Before(Mark a, Mark b)
{
    return a.line < b.line || (a.line == b.line && a.col <= b.col);
}

class OpenScan {
public:
    OpenScan(const std::string &text, Mark stopped) : text_(text), stopped_(stopped) {}

    std::optional<SyntaxSuspect> Run()
    {
        for (; i_ < text_.size(); ++i_) {
            const char c = text_[i_];
            if (c == '\n') {
                NewLine();
                continue;
            }
            if (c == ' ' || c == '\t' || c == '\r') {
                continue;
            }
            if (std::optional<SyntaxSuspect> found = Token(c)) {
                return found;
            }
        }
        // Whatever is still open at the end was never closed; the innermost is the likeliest culprit.
        for (auto it = open_.rbegin(); it != open_.rend(); ++it) {
            if (Before(it->at, stopped_)) {
                return SyntaxSuspect{it->at, fmt::format("this '{}' is never closed", it->bracket)};
            }
        }
        return longQuote_;
    }

private:
    struct Open {
        char bracket;
        Mark at;
    };

    Mark Here() const { return {line_, static_cast<int>(i_ - lineStart_) + 1}; }

    // A quote or (outside brackets) a bracket counts only at the start of a value, so that "name: it's" holds no
    // quote and "name: a{b" no bracket; inside brackets a line may also go on after a block's "- ".
    bool StartsValue() const
    {
        return prev_ != '\0' && std::strchr(open_.empty() ? ":-?\n" : "[{,:?-\n", prev_) != nullptr;
    }

    std::optional<SyntaxSuspect> Token(char c)
    {
        const Mark here = Here();
        const bool starts = StartsValue();
        prev_ = c;
        if (c == '#' && (i_ == lineStart_ || text_[i_ - 1] == ' ' || text_[i_ - 1] == '\t')) {
            i_ = std::min(text_.find('\n', i_), text_.size()) - 1;  // the comment ends with its line
            return std::nullopt;
        }
        if ((c == '"' || c == '\'') && starts) {
            return Quote(c, here);
        }
        if ((c == '[' || c == '{') && (starts || !open_.empty())) {
            open_.push_back({c, here});
        } else if ((c == ']' || c == '}') && !open_.empty()) {
            const Open top = open_.back();
            open_.pop_back();
            if (top.bracket != (c == ']' ? '[' : '{') && Before(top.at, stopped_)) {
                return SyntaxSuspect{top.at, fmt::format("this '{}' is closed by '{}' at {}:{}", top.bracket, c,
                                                         here.line, here.col)};
            }
        } else if ((c == '|' || c == '>') && open_.empty() && starts && BlockScalarHeader()) {
            blockIndent_ = Indent(lineStart_);
        }
        return std::nullopt;
    }

    // A quoted text: double quotes take backslash escapes, single ones a doubled quote.
    std::optional<SyntaxSuspect> Quote(char q, Mark opened)
    {
        for (++i_; i_ < text_.size(); ++i_) {
            const char c = text_[i_];
            if (c == '\n') {
                ++line_;
                lineStart_ = i_ + 1;
            } else if (q == '"' && c == '\\') {
                ++i_;
            } else if (c == q && q == '\'' && i_ + 1 < text_.size() && text_[i_ + 1] == '\'') {
                ++i_;
            } else if (c == q) {
                break;
            }
        }
        if (!Before(opened, stopped_)) {
            return std::nullopt;
        }
        if (i_ >= text_.size()) {
            return SyntaxSuspect{opened, "this quote is never closed"};
        }
        // A quoted text may go on over lines: suspect the first that does only when no bracket is amiss.
        if (line_ > opened.line && !longQuote_) {
            longQuote_ = SyntaxSuspect{opened, fmt::format("this quote runs on to {}:{} before it closes", line_,
                                                           static_cast<int>(i_ - lineStart_) + 1)};
        }
        return std::nullopt;
    }

    // Whether the rest of the line after '|' or '>' is a block scalar's header: indicators, then a comment at most.
    bool BlockScalarHeader() const
    {
        size_t j = i_ + 1;
        while (j < text_.size() && std::strchr("+-0123456789", text_[j]) != nullptr && text_[j] != '\0') {
            ++j;
        }
        while (j < text_.size() && (text_[j] == ' ' || text_[j] == '\t')) {
            ++j;
        }
        return j == text_.size() || text_[j] == '\n' || text_[j] == '#' || text_[j] == '\r';
    }

    int Indent(size_t from) const
    {
        size_t j = from;
        while (j < text_.size() && text_[j] == ' ') {
            ++j;
        }
        return static_cast<int>(j - from);
    }

    // Steps onto the next line; a block scalar's lines (blank, or indented deeper than its key) are passed over.
    void NewLine()
    {
        ++line_;
        lineStart_ = i_ + 1;
        prev_ = '\n';
        while (blockIndent_ >= 0 && lineStart_ < text_.size()) {
            const size_t end = std::min(text_.find('\n', lineStart_), text_.size());
            const bool blank = text_.find_first_not_of(" \t\r", lineStart_) >= end;
            if (!blank && Indent(lineStart_) <= blockIndent_) {
                blockIndent_ = -1;
                break;
            }
            i_ = end;
            if (end < text_.size()) {
                ++line_;
                lineStart_ = end + 1;
            } else {
                lineStart_ = end;
            }
        }
    }

    const std::string &text_;
    Mark stopped_;
    size_t i_ = 0;
    int line_ = 1;
    size_t lineStart_ = 0;
    char prev_ = '\n';  // the last character on this line that was not blank
    int blockIndent_ = -1;
    std::vector<Open> open_;
    std::optional<SyntaxSuspect> longQuote_;
};

}  // namespace

std::optional<SyntaxSuspect> FindUnclosed(const std::string &text, Mark stopped)
{
    return OpenScan(text, stopped).Run();
}

}  // namespace zsim

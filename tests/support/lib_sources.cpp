// Reads the library's folders and lists its allocation and text-copy call sites.
#include "support/lib_sources.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>

namespace zt {
namespace {

namespace fs = std::filesystem;

const char *const kLibraryDirs[] = {"core", "containers", "infra", "config", "link", "location", "comp"};

bool IsCommentLine(const std::string &line)
{
    const size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos) {
        return true;
    }
    return line.compare(at, 2, "//") == 0 || line.compare(at, 2, "/*") == 0 || line[at] == '*';
}

// The name of the exported operation defined on this line, or "".
std::string DefinedOperation(const std::string &line)
{
    static const std::regex def(R"(^ZELM_API\s+[^(=;]*?\b(\w+)\s*\()");
    std::smatch m;
    return std::regex_search(line, m, def) ? m[1].str() : "";
}

// The last identifier of the argument that starts right after `open` (an opening parenthesis).
std::string LastNameOfArgument(const std::string &line, size_t open)
{
    const size_t close = line.find(')', open);
    const std::string arg = line.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
    static const std::regex name(R"((\w+)\s*$)");
    std::smatch m;
    return std::regex_search(arg, m, name) ? m[1].str() : arg;
}

template <typename OnCall>
void ScanSources(const std::string &root, const std::string &skipFile, const std::regex &call, OnCall onCall)
{
    std::vector<fs::path> files;
    for (const char *dir : kLibraryDirs) {
        const fs::path path = fs::path(root) / dir;
        if (!fs::is_directory(path)) {
            continue;
        }
        for (const auto &entry : fs::directory_iterator(path)) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && (ext == ".cpp" || ext == ".h")) {
                files.push_back(entry.path());
            }
        }
    }
    std::sort(files.begin(), files.end());
    for (const fs::path &file : files) {
        const std::string rel = fs::relative(file, root).generic_string();
        if (rel == skipFile) {
            continue;
        }
        std::ifstream in(file);
        std::string line;
        std::string func;
        for (int lineNo = 1; std::getline(in, line); ++lineNo) {
            if (const std::string defined = DefinedOperation(line); !defined.empty()) {
                func = defined;
            }
            if (IsCommentLine(line)) {
                continue;
            }
            for (auto it = std::sregex_iterator(line.begin(), line.end(), call); it != std::sregex_iterator(); ++it) {
                const size_t open = static_cast<size_t>(it->position() + it->length()) - 1u;
                onCall(SourceSite{rel, lineNo, func, LastNameOfArgument(line, open)});
            }
        }
    }
}

}  // namespace

std::string RepoRoot()
{
    // This file lies in tests/support/ of the repository.
    const fs::path self(__FILE__);
    const fs::path root = self.parent_path().parent_path().parent_path();
    return fs::is_directory(root / "core") ? root.string() : "";
}

std::vector<SourceSite> HostAllocSitesInSource(const std::string &root)
{
    static const std::regex call(R"(\b(ZELM_Malloc|mallocFn)\s*\()");
    std::vector<SourceSite> sites;
    ScanSources(root, "core/zelm_memory.cpp", call, [&](SourceSite s) {
        // A declaration of the door in a header is no call.
        if (s.func != "ZELM_Malloc") {
            sites.push_back(std::move(s));
        }
    });
    return sites;
}

std::vector<SourceSite> TextCopySitesInSource(const std::string &root)
{
    static const std::regex call(R"(\b(ZelmDupTextField|strdup|strndup)\s*\()");
    std::vector<SourceSite> sites;
    ScanSources(root, "core/zelm_text.h", call, [&](SourceSite s) { sites.push_back(std::move(s)); });
    return sites;
}

}  // namespace zt

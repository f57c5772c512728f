// The library's allocation and text-copy call sites, read from its source tree at test time.
//
// A host allocation site is a call of ZELM_Malloc or of an allocation hook
// (`mallocFn(`) anywhere in the library's folders, except in core/zelm_memory.cpp,
// which is the door itself. Its function is the exported operation whose
// definition ("ZELM_API ...") comes last before it. A text copy site is a call
// of ZelmDupTextField, strdup or strndup outside core/zelm_text.h (the helper
// itself); its field is the last name of the argument ("cfg->LocName" gives
// "LocName"). Comment lines are skipped.
#ifndef ZELM_TESTS_SUPPORT_LIB_SOURCES_H
#define ZELM_TESTS_SUPPORT_LIB_SOURCES_H

#include <string>
#include <vector>

namespace zt {

struct SourceSite {
    std::string file;  // relative to the repository
    int line;
    std::string func;   // enclosing exported operation
    std::string field;  // text copy sites: the field copied
};

// The repository's top folder, found from this file's own path; "" when it cannot be read.
std::string RepoRoot();
std::vector<SourceSite> HostAllocSitesInSource(const std::string &root);
std::vector<SourceSite> TextCopySitesInSource(const std::string &root);

}  // namespace zt

#endif

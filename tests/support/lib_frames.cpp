// Stack walks into libzelm.so: return addresses named by the exported function that holds them.
#include "support/lib_frames.h"

#include <dlfcn.h>
#include <execinfo.h>
#include <link.h>

#include "zelm.h"

namespace zt {
namespace {

constexpr int kMaxFrames = 96;

const void *LibraryBase()
{
    static const void *base = [] {
        Dl_info info{};
        return dladdr(reinterpret_cast<const void *>(&ZELM_Init), &info) != 0 ? info.dli_fbase : nullptr;
    }();
    return base;
}

// The exported function whose body holds `address`, or "" for a hidden one.
std::string ExportedFunctionAt(uintptr_t address)
{
    Dl_info info{};
    void *symEntry = nullptr;
    if (dladdr1(reinterpret_cast<void *>(address), &info, &symEntry, RTLD_DL_SYMENT) == 0 ||
        symEntry == nullptr || info.dli_sname == nullptr || info.dli_saddr == nullptr) {
        return "";
    }
    const auto *sym = static_cast<const ElfW(Sym) *>(symEntry);
    const auto start = reinterpret_cast<uintptr_t>(info.dli_saddr);
    if (address < start || address >= start + sym->st_size) {
        return "";  // nearest exported symbol, but the address lies in a hidden function after it
    }
    return info.dli_sname;
}

}  // namespace

bool InLibrary(const void *address)
{
    Dl_info info{};
    return address != nullptr && dladdr(address, &info) != 0 && info.dli_fbase == LibraryBase();
}

std::vector<LibFrame> LibraryChain()
{
    void *frames[kMaxFrames];
    const int n = backtrace(frames, kMaxFrames);
    std::vector<LibFrame> chain;
    bool entered = false;
    for (int i = 0; i < n; ++i) {
        // A return address may sit just past the function's end after a last call; look one byte back.
        const uintptr_t at = reinterpret_cast<uintptr_t>(frames[i]) - 1u;
        if (!InLibrary(reinterpret_cast<const void *>(at))) {
            if (entered) {
                break;  // the library's stretch of the stack is over
            }
            continue;
        }
        entered = true;
        std::string func = ExportedFunctionAt(at);
        if (func.empty() || func == "ZELM_Malloc") {
            continue;
        }
        chain.push_back({reinterpret_cast<uintptr_t>(frames[i]), func});
    }
    return chain;
}

std::string ChainText(const std::vector<LibFrame> &chain)
{
    std::string text;
    for (const LibFrame &f : chain) {
        text += (text.empty() ? "" : "<-") + f.func;
    }
    return text;
}

}  // namespace zt

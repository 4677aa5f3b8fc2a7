// Process-level tuning of solvane-cli. A convert of a 256 KB piece takes a
// few milliseconds, and in a fresh process much of that is the kernel's.
// Measured with hyperfine, the three full-size bench pieces (convert -H -V),
// each build alternately in one run on this project's 2-core machine:
// - the heap set-up below: 6.1-8.6 ms with it, 9.7-12.7 ms without;
// - the static link (cli/CMakeLists.txt): 0.45 ms to start against 1.09 ms
//   linked dynamically, 0.3-1.1 ms of each convert. The Debian package links
//   dynamically all the same, for the security updates of the libraries.

#include "cli/ProcessTuning.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace solvane {
namespace {

// Volatile: an allocation nobody reads could otherwise be left out.
void* volatile g_heapBelowHugePages = nullptr;

}  // namespace

// A conversion touches some megabytes once, and in a fresh process every 4 KB
// page of it costs the kernel a fault. Keeping the large lists on the heap
// (rather than each mapped and unmapped on its own) and asking for huge
// pages there makes that a handful of faults. Huge pages start at a 2 MB
// boundary and only where no small page was touched before: the heap up to
// the first boundary is taken for good (address space only, never touched)
// by the allocation that grows the heap, so that nothing is written above it
// before huge pages are asked for.
void TuneProcess() {
    constexpr int kMiB = 1 << 20;
    mallopt(M_MMAP_THRESHOLD, 256 * kMiB);
    mallopt(M_TRIM_THRESHOLD, 512 * kMiB);
    mallopt(M_TOP_PAD, 64 * kMiB);
    constexpr std::uintptr_t kHuge = 2 * kMiB;
    const auto top = reinterpret_cast<std::uintptr_t>(sbrk(0));
    const auto begin = (top + kHuge - 1) & ~(kHuge - 1);
    // Reaching past the heap's end, this grows the heap by the pad at once.
    g_heapBelowHugePages = std::malloc(begin - top + 1);
    const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0));
    if (g_heapBelowHugePages != nullptr && end > begin) {
        madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
}

}  // namespace solvane

#include "platform/huge_pages.h"

#include <cstdint>

#include <sys/mman.h>

namespace platform {

void adviseHugePages(void* data, std::size_t bytes)
{
    constexpr std::uintptr_t hugePage = 2 * 1024 * 1024;
    if (bytes < hugePageThreshold) {
        return;
    }
    const auto start = reinterpret_cast<std::uintptr_t>(data);
    const auto firstWhole = (start + hugePage - 1) & ~(hugePage - 1);
    const auto endOfLastWhole = (start + bytes) & ~(hugePage - 1);
    if (endOfLastWhole > firstWhole) {
        madvise(reinterpret_cast<void*>(firstWhole), endOfLastWhole - firstWhole, MADV_HUGEPAGE);
    }
}

void* mapHugePages(std::size_t bytes)
{
    void* address = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (address == MAP_FAILED) {
        return nullptr;
    }
    adviseHugePages(address, bytes);
    return address;
}

} // namespace platform

#pragma once

#include <cstddef>

namespace platform {

/// Asks the kernel to back the whole 2 MB pages within `bytes` bytes from `data` with huge pages when they are
/// first touched. In 4 KB pages a capture of tens of MB takes thousands of page faults, which on a virtual
/// machine cost more than the work itself and hold up the other threads, the GUI thread among them.
/// Only an advice: memory is the same memory without it.
void adviseHugePages(void* data, std::size_t bytes);

/// `bytes` of zeroed memory in a mapping of its own, advised for huge pages, which goes back to the system
/// entirely when unmapped (`munmap`), where a freed heap block may stay resident. Null when it cannot be had.
[[nodiscard]] void* mapHugePages(std::size_t bytes);

/// Below this many bytes, advice is not worth its system call.
constexpr std::size_t hugePageThreshold = 4 * 1024 * 1024;

} // namespace platform

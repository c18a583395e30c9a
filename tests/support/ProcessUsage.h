// What this process holds right now: open file descriptors and resident memory.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

inline int openFileDescriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

inline long residentKibibytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with("VmRSS:"))
            return std::stol(line.substr(6));
    return -1;
}

// AddressSanitizer keeps freed memory in quarantine, so resident memory grows
// under it without any leak (its leak checker watches for leaks instead).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool residentMemoryIsMeaningful = false;
#elif defined(__has_feature)
#  if __has_feature(address_sanitizer)
constexpr bool residentMemoryIsMeaningful = false;
#  else
constexpr bool residentMemoryIsMeaningful = true;
#  endif
#else
constexpr bool residentMemoryIsMeaningful = true;
#endif

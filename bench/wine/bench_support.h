// What the benchmark programs share: the package read in one go before
// the clock starts, the clock, and the one line each program prints.
#pragma once

#include <windows.h>
#include <psapi.h>

#include <cstdio>
#include <span>

namespace bench {

// Reads the whole file with one ReadFile into fresh memory, so every page
// of it is in place before anything is timed. Empty span on failure.
inline std::span<const unsigned char> read_package(const char* path) {
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  LARGE_INTEGER size;
  DWORD read = 0;
  void* data = nullptr;
  if (GetFileSizeEx(file, &size) && size.QuadPart > 0 && size.QuadPart < 0xFFFFFFFF) {
    data = VirtualAlloc(nullptr, size.QuadPart, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    if (data && !ReadFile(file, data, static_cast<DWORD>(size.QuadPart), &read, nullptr))
      read = 0;
  }
  CloseHandle(file);
  if (!data || read != size.QuadPart) return {};
  return {static_cast<const unsigned char*>(data), read};
}

inline long long now_ticks() {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return t.QuadPart;
}

inline double seconds_since(long long start) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now_ticks() - start) / static_cast<double>(frequency.QuadPart);
}

// Peak working set of a process (under Wine: the VmHWM of its Unix process).
inline unsigned long long peak_bytes(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters = {};
  counters.cb = sizeof counters;
  return K32GetProcessMemoryInfo(process, &counters, sizeof counters)
             ? counters.PeakWorkingSetSize
             : 0;
}

// User and kernel time a process has used so far, in seconds.
inline double cpu_seconds(HANDLE process) {
  FILETIME created, ended, kernel, user;
  if (!GetProcessTimes(process, &created, &ended, &kernel, &user)) return 0;
  auto ticks = [](const FILETIME& t) {
    return static_cast<double>(static_cast<unsigned long long>(t.dwHighDateTime) << 32 |
                               t.dwLowDateTime);
  };
  return (ticks(kernel) + ticks(user)) / 1e7;
}

// The line scripts/bench reads: "seconds=S peak=BYTES cpu=S".
inline void print_result(double seconds, unsigned long long peak, double cpu) {
  std::printf("seconds=%.6f peak=%llu cpu=%.6f\n", seconds, peak, cpu);
  std::fflush(stdout);
}

}  // namespace bench

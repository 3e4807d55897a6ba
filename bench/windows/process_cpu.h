// CPU time of another process for the benchmarks. Wine 8 answers GetProcessTimes for another
// process with the caller's own times, so the figure comes from the system's process list.
#pragma once

#include <windows.h>
#include <winternl.h>

#include <cstddef>
#include <vector>

// The process entry of SystemProcessInformation up to the process id (64-bit layout).
struct SystemProcessEntry {
  ULONG NextEntryOffset;
  ULONG NumberOfThreads;
  LARGE_INTEGER Reserved[3];
  LARGE_INTEGER CreateTime;
  LARGE_INTEGER UserTime;
  LARGE_INTEGER KernelTime;
  UNICODE_STRING ImageName;
  LONG BasePriority;
  HANDLE ProcessId;
};

inline double FileTimeSeconds(const FILETIME& t) {
  return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) / 1e7;
}

// User plus kernel seconds of process pid; -1 when the list cannot be read or has no such process.
inline double ProcessCpuSeconds(DWORD pid) {
  std::vector<unsigned char> buffer(1 << 20);
  ULONG length = 0;
  if (NtQuerySystemInformation(SystemProcessInformation, buffer.data(), static_cast<ULONG>(buffer.size()), &length) <
      0) {
    return -1.0;
  }
  for (std::size_t at = 0;;) {
    const auto* entry = reinterpret_cast<const SystemProcessEntry*>(buffer.data() + at);
    if (static_cast<DWORD>(reinterpret_cast<ULONG_PTR>(entry->ProcessId)) == pid) {
      return static_cast<double>(entry->UserTime.QuadPart + entry->KernelTime.QuadPart) / 1e7;
    }
    if (!entry->NextEntryOffset) return -1.0;
    at += entry->NextEntryOffset;
  }
}

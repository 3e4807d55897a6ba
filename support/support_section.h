// The running utility's support section: a small shared memory block, one per session, that the
// utility keeps current and the support report (OstinelSettings.exe /diagnose) reads. It holds no
// pointers, only words, so any process can read it; only the utility writes it.
//
// One writer (the utility's device thread, or start-up before that thread runs) and any number of
// readers in other processes. Every change is bracketed by a sequence counter: odd while a change
// is being written, even after. A reader copies the words and keeps the copy only when the counter
// was even and the same before and after, so it never sees half a change, and the writer never
// waits for a reader.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>

#include "device/device_loop.h"

// Name of the section in a session's namespace: "Local\" for the reader's own session,
// "Session\N\" for session N (which needs an administrator or SYSTEM).
constexpr wchar_t SUPPORT_SECTION_NAME[] = L"OstinelSupport";

constexpr std::uint32_t SUPPORT_SECTION_MAGIC = 0x314E534Fu;  // "OSN1": this layout
constexpr std::size_t SUPPORT_PATH_CAPACITY = 512;           // UTF-16 units of the device path

static_assert(std::atomic<std::uint32_t>::is_always_lock_free, "shared words must be lock-free");
static_assert(std::atomic<std::uint16_t>::is_always_lock_free, "shared words must be lock-free");

struct SupportSection {
  std::atomic<std::uint32_t> Magic;     // written last at creation: the rest is set up
  std::atomic<std::uint32_t> Size;      // sizeof(SupportSection) of the writer
  std::atomic<std::uint32_t> Sequence;  // odd while a change is being written
  std::atomic<std::uint32_t> ProcessId;
  std::atomic<std::uint32_t> SessionId;
  std::atomic<std::uint32_t> StartedLow;   // the utility's start, FILETIME (UTC)
  std::atomic<std::uint32_t> StartedHigh;
  std::array<std::atomic<std::uint16_t>, 4> Version;  // major, minor, patch, build
  std::atomic<std::uint32_t> Connected;
  std::atomic<std::uint32_t> HoldsConsole;  // this session has the console (the utility's own view)
  std::atomic<std::uint32_t> LastError;     // the last failure's error code (0: none yet)
  std::atomic<std::uint32_t> Connects;
  std::atomic<std::uint32_t> Losses;
  std::atomic<std::uint32_t> FailedAttempts;
  std::atomic<std::uint32_t> PathLength;
  std::array<std::atomic<std::uint16_t>, SUPPORT_PATH_CAPACITY> Path;  // UTF-16, no terminator
};

// A reader's copy, consistent as of one moment.
struct SupportSnapshot {
  std::uint32_t ProcessId = 0;
  std::uint32_t SessionId = 0;
  std::uint64_t Started = 0;  // FILETIME
  std::array<std::uint16_t, 4> Version{};
  bool Connected = false;
  bool HoldsConsole = false;
  std::uint32_t LastError = 0;
  std::uint32_t Connects = 0;
  std::uint32_t Losses = 0;
  std::uint32_t FailedAttempts = 0;
  std::uint32_t PathLength = 0;
  std::array<char16_t, SUPPORT_PATH_CAPACITY> Path{};
};

// Writer. Sets up a zero-filled section (as a new mapping is) and marks it ready.
void InitSupportSection(SupportSection& section, std::uint32_t processId, std::uint32_t sessionId,
                        std::uint64_t started, const std::array<std::uint16_t, 4>& version, bool holdsConsole);

// Writer: one report of the device loop. Never waits.
void NoteSupportNotice(SupportSection& section, DeviceNotice notice, std::uint32_t error, const wchar_t* path);

enum class SupportRead { Done, Busy, NotReady };

// Reader: one attempt. Busy: a change was being written (try again shortly); NotReady: the section
// is not (or not yet) a set-up section of this layout.
SupportRead ReadSupportSection(const SupportSection& section, SupportSnapshot& out);

constexpr int SUPPORT_READ_TRIES = 200;          // a change takes microseconds; 1 ms apart
constexpr int SUPPORT_NOT_READY_GIVE_UP = 10;     // a section never set up is given up sooner

// Reader: tries until a consistent copy is taken, calling pause between attempts; gives up after
// `tries` attempts (a writer that died mid-change, or a section that is never still), or after
// SUPPORT_NOT_READY_GIVE_UP once the section is still not set up. Whatever the section's bytes.
SupportRead ReadSupportSectionSettled(const SupportSection& section, SupportSnapshot& out, int tries,
                                      void (*pause)());

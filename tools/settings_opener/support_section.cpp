#include "tools/settings_opener/support_section.h"

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

void BeginChange(SupportSection& section) {
  section.Sequence.store(section.Sequence.load(kRelaxed) + 1, kRelaxed);
  std::atomic_thread_fence(std::memory_order_release);
}

void EndChange(SupportSection& section) {
  section.Sequence.store(section.Sequence.load(kRelaxed) + 1, std::memory_order_release);
}

void StorePath(SupportSection& section, const wchar_t* path) {
  std::size_t length = 0;
  if (path) {
    for (; path[length] != L'\0' && length < SUPPORT_PATH_CAPACITY; ++length) {
      section.Path[length].store(static_cast<std::uint16_t>(path[length]), kRelaxed);
    }
  }
  section.PathLength.store(static_cast<std::uint32_t>(length), kRelaxed);
}

void Increment(std::atomic<std::uint32_t>& counter) { counter.store(counter.load(kRelaxed) + 1, kRelaxed); }

}  // namespace

void InitSupportSection(SupportSection& section, std::uint32_t processId, std::uint32_t sessionId,
                        std::uint64_t started, const std::array<std::uint16_t, 4>& version, bool holdsConsole) {
  BeginChange(section);
  section.Size.store(static_cast<std::uint32_t>(sizeof(SupportSection)), kRelaxed);
  section.ProcessId.store(processId, kRelaxed);
  section.SessionId.store(sessionId, kRelaxed);
  section.StartedLow.store(static_cast<std::uint32_t>(started), kRelaxed);
  section.StartedHigh.store(static_cast<std::uint32_t>(started >> 32), kRelaxed);
  for (std::size_t i = 0; i < version.size(); ++i) section.Version[i].store(version[i], kRelaxed);
  section.HoldsConsole.store(holdsConsole ? 1u : 0u, kRelaxed);
  EndChange(section);
  section.Magic.store(SUPPORT_SECTION_MAGIC, std::memory_order_release);
}

void NoteSupportNotice(SupportSection& section, DeviceNotice notice, std::uint32_t error, const wchar_t* path) {
  BeginChange(section);
  switch (notice) {
    case DeviceNotice::Connected:
      section.Connected.store(1, kRelaxed);
      Increment(section.Connects);
      StorePath(section, path);
      break;
    case DeviceNotice::AttemptFailed:
      Increment(section.FailedAttempts);
      // A discovery that found nothing has no code of its own; the last real one stays.
      if (error != 0) section.LastError.store(error, kRelaxed);
      break;
    case DeviceNotice::Lost:
      section.Connected.store(0, kRelaxed);
      Increment(section.Losses);
      if (error != 0) section.LastError.store(error, kRelaxed);
      StorePath(section, nullptr);
      break;
    case DeviceNotice::LeftToOtherSession:
      // The handle was closed for the other session's copy: no loss of the controller.
      section.Connected.store(0, kRelaxed);
      section.HoldsConsole.store(0, kRelaxed);
      StorePath(section, nullptr);
      break;
    case DeviceNotice::TakenBack:
      section.HoldsConsole.store(1, kRelaxed);
      break;
  }
  EndChange(section);
}

SupportRead ReadSupportSection(const SupportSection& section, SupportSnapshot& out) {
  if (section.Magic.load(std::memory_order_acquire) != SUPPORT_SECTION_MAGIC ||
      section.Size.load(kRelaxed) != sizeof(SupportSection)) {
    return SupportRead::NotReady;
  }
  const std::uint32_t before = section.Sequence.load(std::memory_order_acquire);
  if (before & 1u) return SupportRead::Busy;
  SupportSnapshot copy;
  copy.ProcessId = section.ProcessId.load(kRelaxed);
  copy.SessionId = section.SessionId.load(kRelaxed);
  copy.Started = (static_cast<std::uint64_t>(section.StartedHigh.load(kRelaxed)) << 32) |
                 section.StartedLow.load(kRelaxed);
  for (std::size_t i = 0; i < copy.Version.size(); ++i) copy.Version[i] = section.Version[i].load(kRelaxed);
  copy.Connected = section.Connected.load(kRelaxed) != 0;
  copy.HoldsConsole = section.HoldsConsole.load(kRelaxed) != 0;
  copy.LastError = section.LastError.load(kRelaxed);
  copy.Connects = section.Connects.load(kRelaxed);
  copy.Losses = section.Losses.load(kRelaxed);
  copy.FailedAttempts = section.FailedAttempts.load(kRelaxed);
  const std::uint32_t length = section.PathLength.load(kRelaxed);
  copy.PathLength = length < SUPPORT_PATH_CAPACITY ? length : static_cast<std::uint32_t>(SUPPORT_PATH_CAPACITY);
  for (std::uint32_t i = 0; i < copy.PathLength; ++i) copy.Path[i] = static_cast<char16_t>(section.Path[i].load(kRelaxed));
  std::atomic_thread_fence(std::memory_order_acquire);
  if (section.Sequence.load(kRelaxed) != before) return SupportRead::Busy;
  out = copy;
  return SupportRead::Done;
}

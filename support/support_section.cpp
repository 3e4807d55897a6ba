#include "support/support_section.h"

namespace {

// Every word of a change is stored with release order and loaded with acquire order: a reader that
// took any word of a change also sees the odd counter stored before it, so its second look at the
// counter finds the change. (No fences, which the thread sanitizer cannot follow.)
constexpr auto kStore = std::memory_order_release;
constexpr auto kLoad = std::memory_order_acquire;
constexpr auto kRelaxed = std::memory_order_relaxed;

void BeginChange(SupportSection& section) {
  section.Sequence.store(section.Sequence.load(kRelaxed) + 1, kRelaxed);
}

void EndChange(SupportSection& section) { section.Sequence.store(section.Sequence.load(kRelaxed) + 1, kStore); }

void StorePath(SupportSection& section, const wchar_t* path) {
  std::size_t length = 0;
  if (path) {
    for (; path[length] != L'\0' && length < SUPPORT_PATH_CAPACITY; ++length) {
      section.Path[length].store(static_cast<std::uint16_t>(path[length]), kStore);
    }
  }
  section.PathLength.store(static_cast<std::uint32_t>(length), kStore);
}

void Increment(std::atomic<std::uint32_t>& counter) { counter.store(counter.load(kRelaxed) + 1, kStore); }

}  // namespace

void InitSupportSection(SupportSection& section, std::uint32_t processId, std::uint32_t sessionId,
                        std::uint64_t started, const std::array<std::uint16_t, 4>& version, bool holdsConsole) {
  BeginChange(section);
  section.Size.store(static_cast<std::uint32_t>(sizeof(SupportSection)), kStore);
  section.ProcessId.store(processId, kStore);
  section.SessionId.store(sessionId, kStore);
  section.StartedLow.store(static_cast<std::uint32_t>(started), kStore);
  section.StartedHigh.store(static_cast<std::uint32_t>(started >> 32), kStore);
  for (std::size_t i = 0; i < version.size(); ++i) section.Version[i].store(version[i], kStore);
  section.HoldsConsole.store(holdsConsole ? 1u : 0u, kStore);
  EndChange(section);
  section.Magic.store(SUPPORT_SECTION_MAGIC, std::memory_order_release);
}

void NoteSupportNotice(SupportSection& section, DeviceNotice notice, std::uint32_t error, const wchar_t* path) {
  BeginChange(section);
  switch (notice) {
    case DeviceNotice::Connected:
      section.Connected.store(1, kStore);
      Increment(section.Connects);
      StorePath(section, path);
      break;
    case DeviceNotice::AttemptFailed:
      Increment(section.FailedAttempts);
      // A discovery that found nothing has no code of its own; the last real one stays.
      if (error != 0) section.LastError.store(error, kStore);
      break;
    case DeviceNotice::Lost:
      section.Connected.store(0, kStore);
      Increment(section.Losses);
      if (error != 0) section.LastError.store(error, kStore);
      StorePath(section, nullptr);
      break;
    case DeviceNotice::LeftToOtherSession:
      // The handle was closed for the other session's copy: no loss of the controller.
      section.Connected.store(0, kStore);
      section.HoldsConsole.store(0, kStore);
      StorePath(section, nullptr);
      break;
    case DeviceNotice::TakenBack:
      section.HoldsConsole.store(1, kStore);
      break;
  }
  EndChange(section);
}

SupportRead ReadSupportSection(const SupportSection& section, SupportSnapshot& out) {
  if (section.Magic.load(std::memory_order_acquire) != SUPPORT_SECTION_MAGIC ||
      section.Size.load(kLoad) != sizeof(SupportSection)) {
    return SupportRead::NotReady;
  }
  const std::uint32_t before = section.Sequence.load(std::memory_order_acquire);
  if (before & 1u) return SupportRead::Busy;
  SupportSnapshot copy;
  copy.ProcessId = section.ProcessId.load(kLoad);
  copy.SessionId = section.SessionId.load(kLoad);
  copy.Started = (static_cast<std::uint64_t>(section.StartedHigh.load(kLoad)) << 32) |
                 section.StartedLow.load(kLoad);
  for (std::size_t i = 0; i < copy.Version.size(); ++i) copy.Version[i] = section.Version[i].load(kLoad);
  copy.Connected = section.Connected.load(kLoad) != 0;
  copy.HoldsConsole = section.HoldsConsole.load(kLoad) != 0;
  copy.LastError = section.LastError.load(kLoad);
  copy.Connects = section.Connects.load(kLoad);
  copy.Losses = section.Losses.load(kLoad);
  copy.FailedAttempts = section.FailedAttempts.load(kLoad);
  const std::uint32_t length = section.PathLength.load(kLoad);
  copy.PathLength = length < SUPPORT_PATH_CAPACITY ? length : static_cast<std::uint32_t>(SUPPORT_PATH_CAPACITY);
  for (std::uint32_t i = 0; i < copy.PathLength; ++i) copy.Path[i] = static_cast<char16_t>(section.Path[i].load(kLoad));
  if (section.Sequence.load(kRelaxed) != before) return SupportRead::Busy;
  out = copy;
  return SupportRead::Done;
}

SupportRead ReadSupportSectionSettled(const SupportSection& section, SupportSnapshot& out, int tries,
                                      void (*pause)()) {
  SupportRead read = SupportRead::NotReady;
  for (int attempt = 0; attempt < tries; ++attempt) {
    if (attempt > 0) pause();
    read = ReadSupportSection(section, out);
    if (read == SupportRead::Done) break;
    if (read == SupportRead::NotReady && attempt >= SUPPORT_NOT_READY_GIVE_UP) break;
  }
  return read;
}

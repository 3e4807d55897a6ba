#include "support/support_section.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
namespace {

std::unique_ptr<SupportSection> NewSection() {
  auto section = std::make_unique<SupportSection>();  // zero-filled, as a new mapping is
  InitSupportSection(*section, 4242, 3, 134411850050000000ull, {1, 1, 0, 7}, true);
  return section;
}

std::wstring PathOf(const SupportSnapshot& state) {
  return std::wstring(state.Path.begin(), state.Path.begin() + state.PathLength);
}

TEST(SupportSection, CountsTheLinksStoryAndKeepsTheLastRealError) {
  SupportSection blank{};
  SupportSnapshot state;
  EXPECT_EQ(ReadSupportSection(blank, state), SupportRead::NotReady);  // created, not yet set up

  auto section = NewSection();
  ASSERT_EQ(ReadSupportSection(*section, state), SupportRead::Done);
  EXPECT_EQ(state.ProcessId, 4242u);
  EXPECT_EQ(state.SessionId, 3u);
  EXPECT_TRUE(state.HoldsConsole);
  EXPECT_FALSE(state.Connected);

  NoteSupportNotice(*section, DeviceNotice::AttemptFailed, 0, nullptr);    // nothing found
  NoteSupportNotice(*section, DeviceNotice::AttemptFailed, 32, L"\\\\?\\a");  // in use
  NoteSupportNotice(*section, DeviceNotice::AttemptFailed, 0, nullptr);
  NoteSupportNotice(*section, DeviceNotice::Connected, 0, L"\\\\?\\root#dev#0000");
  ASSERT_EQ(ReadSupportSection(*section, state), SupportRead::Done);
  EXPECT_TRUE(state.Connected);
  EXPECT_EQ(PathOf(state), L"\\\\?\\root#dev#0000");
  EXPECT_EQ(state.LastError, 32u);
  EXPECT_EQ(state.FailedAttempts, 3u);
  EXPECT_EQ(state.Connects, 1u);

  NoteSupportNotice(*section, DeviceNotice::Lost, 109, L"\\\\?\\root#dev#0000");
  NoteSupportNotice(*section, DeviceNotice::Connected, 0, L"\\\\?\\b");
  NoteSupportNotice(*section, DeviceNotice::LeftToOtherSession, 0, nullptr);
  ASSERT_EQ(ReadSupportSection(*section, state), SupportRead::Done);
  EXPECT_FALSE(state.Connected);
  EXPECT_FALSE(state.HoldsConsole);
  EXPECT_EQ(state.PathLength, 0u);
  EXPECT_EQ(state.Connects, 2u);
  EXPECT_EQ(state.Losses, 1u);  // leaving the controller to another session is no loss
  EXPECT_EQ(state.LastError, 109u);
  NoteSupportNotice(*section, DeviceNotice::TakenBack, 0, nullptr);
  ASSERT_EQ(ReadSupportSection(*section, state), SupportRead::Done);
  EXPECT_TRUE(state.HoldsConsole);

  // A writer that died in the middle of a change leaves the section busy for good.
  section->Sequence.fetch_add(1);
  EXPECT_EQ(ReadSupportSection(*section, state), SupportRead::Busy);
}

TEST(SupportSection, AReaderNeverKeepsHalfAChange) {
  auto section = NewSection();
  std::atomic<bool> stop{false}, writerDone{false};
  // The device thread connects and loses the controller over and over, each time at another path
  // whose length and text follow the connection count.
  std::thread writer([&] {
    for (std::uint32_t round = 1; !stop && round <= 2000000; ++round) {
      const std::wstring path = L"\\\\?\\dev#" + std::wstring(round % 450, L'x') + std::to_wstring(round);
      NoteSupportNotice(*section, DeviceNotice::Connected, 0, path.c_str());
      NoteSupportNotice(*section, DeviceNotice::Lost, round, path.c_str());
    }
    writerDone = true;
  });
  int changes = 0;
  std::uint32_t lastConnects = 0;
  // Until the reader has seen many changes land between its reads.
  while (changes < 3000 && !writerDone) {
    SupportSnapshot state;
    if (ReadSupportSection(*section, state) != SupportRead::Done) continue;
    if (state.Connects != lastConnects) ++changes;
    lastConnects = state.Connects;
    const bool whole =
        state.Connected
            ? state.Connects == state.Losses + 1 &&
                  PathOf(state) == L"\\\\?\\dev#" + std::wstring(state.Connects % 450, L'x') +
                                       std::to_wstring(state.Connects)
            : state.Connects == state.Losses && state.PathLength == 0 && state.LastError == state.Losses;
    if (!whole) {
      ADD_FAILURE() << "half a change: connected " << state.Connected << ", connects " << state.Connects
                    << ", losses " << state.Losses << ", path length " << state.PathLength;
      break;
    }
  }
  stop = true;
  writer.join();
  EXPECT_GT(changes, 0);
}

}  // namespace

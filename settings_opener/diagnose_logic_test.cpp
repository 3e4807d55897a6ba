#include "settings_opener/diagnose_logic.h"

#include <gtest/gtest.h>

#include <atomic>
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

TEST(DiagnoseJson, EscapesAndEncodesAsUtf8) {
  EXPECT_EQ(JsonString(L"a\"b\\c/d"), "\"a\\\"b\\\\c/d\"");
  EXPECT_EQ(JsonString(std::wstring(L"\r\n\t\x01\x1f", 5)), "\"\\r\\n\\t\\u0001\\u001f\"");
  EXPECT_EQ(JsonString(std::wstring(1, L'\0')), "\"\\u0000\"");
  EXPECT_EQ(JsonString(L"\u8A2D\u5B9A \u00E9"), "\"\xE8\xA8\xAD\xE5\xAE\x9A \xC3\xA9\"");
  // A pair of surrogates is one character of four bytes; a lone one is replaced.
  const std::wstring pair{static_cast<wchar_t>(0xD83D), static_cast<wchar_t>(0xDE00)};
  EXPECT_EQ(JsonString(pair), "\"\xF0\x9F\x98\x80\"");
  EXPECT_EQ(JsonString(std::wstring{static_cast<wchar_t>(0xDE00), L'a', static_cast<wchar_t>(0xD83D)}),
            "\"\xEF\xBF\xBD" "a\xEF\xBF\xBD\"");
}

TEST(DiagnoseJson, FileTimesAsUtc) {
  EXPECT_EQ(FileTimeIso(0), L"1601-01-01T00:00:00Z");
  EXPECT_EQ(FileTimeIso(133537247990000000ull), L"2024-02-29T23:59:59Z");
  EXPECT_EQ(FileTimeIso(125963424000000000ull), L"2000-03-01T00:00:00Z");
  EXPECT_EQ(FileTimeIso(134411850050000000ull), L"2026-12-08T06:30:05Z");
}

DiagnoseCopy AnsweringCopy(std::uint32_t pid, std::uint32_t session, bool connected) {
  DiagnoseCopy copy;
  copy.ProcessId = pid;
  copy.Session = session;
  copy.Answer = CopyAnswer::Answered;
  copy.State.ProcessId = pid;
  copy.State.Connected = connected;
  return copy;
}

// An answered copy and the system written whole: its start to the second (the first seconds of an
// hour included), the system's release, and a comma only between items.
TEST(DiagnoseJson, AnAnsweredCopyAndTheSystemAreWrittenWhole) {
  DiagnoseReport report;
  report.Copies.push_back(AnsweringCopy(8, 1, true));
  report.Copies[0].State.Started = 134411832030000000ull;
  report.OsRelease = L"22H2";
  const std::string json = DiagnoseReportJson(report);
  EXPECT_NE(json.find("\"started\": \"2026-12-08T06:00:03Z\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"release\": \"22H2\""), std::string::npos) << json;
  EXPECT_EQ(json.rfind("{\n  \"", 0), 0u) << json;
  for (const char* misplaced : {"{,", "[,", ",\n}", ",\n  }", ",\n  ]"}) {
    EXPECT_EQ(json.find(misplaced), std::string::npos) << misplaced << "\n" << json;
  }
}

TEST(DiagnoseCopies, EachProcessWithItsSessionsAnswer) {
  SessionSection one{1, {}};
  one.Snapshot.ProcessId = 100;
  one.Snapshot.Connected = true;
  SessionSection unlisted{4, {}};
  unlisted.Snapshot.ProcessId = 400;
  const std::vector<DiagnoseCopy> copies =
      MergeCopies({{300, 2}, {101, 1}, {100, 1}, {900, std::nullopt}}, {one, unlisted}, 2u);
  ASSERT_EQ(copies.size(), 5u);
  // Ordered by session, then process; a copy of unknown session last.
  EXPECT_EQ(copies[0].ProcessId, 100u);
  EXPECT_EQ(copies[0].Answer, CopyAnswer::Answered);
  EXPECT_TRUE(copies[0].State.Connected);
  EXPECT_EQ(copies[1].ProcessId, 101u);
  EXPECT_EQ(copies[1].Answer, CopyAnswer::SecondCopy);  // its session's section is copy 100's
  EXPECT_EQ(copies[2].ProcessId, 300u);
  EXPECT_EQ(copies[2].Answer, CopyAnswer::NoAnswer);  // session 2 gave no section
  EXPECT_TRUE(copies[2].Console);
  EXPECT_FALSE(copies[0].Console);
  EXPECT_EQ(copies[3].ProcessId, 400u);  // known only from its section
  EXPECT_EQ(copies[3].Answer, CopyAnswer::Answered);
  EXPECT_EQ(copies[3].Session, std::optional<std::uint32_t>(4));
  EXPECT_EQ(copies[4].ProcessId, 900u);
  EXPECT_EQ(copies[4].Answer, CopyAnswer::NoAnswer);
  EXPECT_FALSE(copies[4].Console);
}

TEST(DiagnoseCopies, TheControllerIsReportedByItsHolderAndDecidesTheExitValue) {
  DiagnoseReport report;
  EXPECT_EQ(ControllerCopyIndex(report.Copies), -1);
  EXPECT_EQ(DiagnoseExitCode(report), DIAGNOSE_EXIT_NOT_CONNECTED);

  DiagnoseCopy silent = AnsweringCopy(5, 1, true);
  silent.Answer = CopyAnswer::NoAnswer;  // what it may hold is not known
  DiagnoseCopy away = AnsweringCopy(6, 2, false);
  DiagnoseCopy console = AnsweringCopy(7, 3, false);
  console.Console = true;
  report.Copies = {silent, away, console};
  EXPECT_EQ(ControllerCopyIndex(report.Copies), 2);
  EXPECT_EQ(DiagnoseExitCode(report), DIAGNOSE_EXIT_NOT_CONNECTED);

  DiagnoseCopy holder = AnsweringCopy(8, 4, true);
  holder.State.Connects = 3;
  holder.State.PathLength = 2;
  holder.State.Path[0] = u'p';
  holder.State.Path[1] = u'1';
  report.Copies.push_back(holder);
  EXPECT_EQ(ControllerCopyIndex(report.Copies), 3);
  EXPECT_EQ(DiagnoseExitCode(report), DIAGNOSE_EXIT_CONNECTED);
  const std::string json = DiagnoseReportJson(report);
  EXPECT_NE(json.find("\"path\": \"p1\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"connects\": 3,\n    \"losses\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"reportedBy\": 8"), std::string::npos) << json;
}

TEST(DiagnoseJson, WhatIsNotKnownIsNull) {
  DiagnoseReport report;
  report.SettingsKeyPresent = true;
  report.WaitTime = 150;
  const std::string json = DiagnoseReportJson(report);
  EXPECT_NE(json.find("\"ButtonSetup\": null,\n    \"WaitTime\": 150,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"usersMayChange\": null"), std::string::npos) << json;
  for (const char* key : {"\"path\": null", "\"lastError\": null", "\"connects\": null", "\"losses\": null",
                          "\"runValue\": null", "\"task\": null", "\"copies\": []", "\"displays\": []"}) {
    EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
  }
  EXPECT_NE(json.find("\"connected\": false"), std::string::npos) << json;
  EXPECT_EQ(json.back(), '\n');
}

TEST(DiagnoseSystem, ArchitectureScaleAndSignatureInWords) {
  DiagnoseReport report;
  report.NativeMachine = 0xAA64;
  report.ProgramMachine = 0x8664;
  report.SignatureStatus = 0x800B0109u;
  DisplayInfo display;
  display.Dpi = 144;
  display.Right = 2560;
  report.Displays = {display};
  std::string json = DiagnoseReportJson(report);
  EXPECT_NE(json.find("\"architecture\": \"arm64\",\n    \"program\": \"x64\",\n    \"emulated\": true"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"dpi\": 144,\n      \"scale\": 150"), std::string::npos) << json;
  EXPECT_NE(json.find("\"verified\": false,\n    \"status\": \"0x800B0109\",\n    \"meaning\": \"untrusted root\""),
            std::string::npos)
      << json;
  report.NativeMachine = 0x8664;
  report.SignatureStatus = 0;
  json = DiagnoseReportJson(report);
  EXPECT_NE(json.find("\"emulated\": false"), std::string::npos) << json;
  EXPECT_NE(json.find("\"verified\": true"), std::string::npos) << json;
}

TEST(DiagnoseSettingsAccess, OrdinaryUsersMayChangeOnlyWhenTheFirstEntryThatSpeaksOfWritingAllows) {
  constexpr std::uint32_t kRead = 0x20019, kReadWrite = 0x2001B, kFull = 0xF003F;
  AccessEntry system{false, false, false, kFull};
  AccessEntry usersRead{false, true, false, kRead};
  AccessEntry usersWrite{false, true, false, kReadWrite};
  // What the installers set, and a machine key's usual list.
  EXPECT_TRUE(UsersMayChangeSettings(true, {system, usersWrite}));
  EXPECT_FALSE(UsersMayChangeSettings(true, {system, usersRead}));
  EXPECT_FALSE(UsersMayChangeSettings(true, {}));
  EXPECT_TRUE(UsersMayChangeSettings(false, {}));  // no list: no limits
  EXPECT_FALSE(UsersMayChangeSettings(true, {usersRead, AccessEntry{true, true, false, 0x2}, usersWrite}));
  EXPECT_TRUE(UsersMayChangeSettings(true, {usersRead, usersWrite, AccessEntry{true, true, false, 0x2}}));
  EXPECT_FALSE(UsersMayChangeSettings(true, {AccessEntry{false, true, true, kReadWrite}}));  // subkeys only
  EXPECT_TRUE(UsersMayChangeSettings(true, {AccessEntry{false, true, false, 0x40000000}}));   // generic write
  EXPECT_FALSE(UsersMayChangeSettings(true, {AccessEntry{false, false, false, kReadWrite}}));  // someone else
}

}  // namespace

#include "support/diagnose_logic.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>
#include <string>

#include "support/json_check.h"

namespace {

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
  SessionSection one{1, {}, true};
  one.Snapshot.ProcessId = 100;
  one.Snapshot.Connected = true;
  SessionSection unlisted{4, {}, true};
  unlisted.Snapshot.ProcessId = 400;
  const std::vector<DiagnoseCopy> copies =
      MergeCopies({{300, 2, true}, {101, 1, true}, {100, 1, true}, {900, std::nullopt, std::nullopt}}, {one, unlisted}, 2u);
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

// Anyone may create the section's name first and write any words into it: only a section whose
// process is the installed utility, in the section's session, and whose owner is that process's
// user is believed.
TEST(DiagnoseTrust, OnlyTheInstalledUtilityOfTheSectionsOwnerInItsSessionIsBelieved) {
  const std::wstring installed = L"C:\\Program Files\\Ostinel\\Ostinel.exe";
  for (const wchar_t* same : {L"C:\\Program Files\\Ostinel\\Ostinel.exe", L"c:\\PROGRAM FILES\\ostinel\\OSTINEL.EXE",
                              L"\\\\?\\C:\\Program Files\\Ostinel\\Ostinel.exe",
                              L"\\??\\C:\\Program Files\\Ostinel\\Ostinel.exe",
                              L"C:/Program Files//Ostinel/./bin/../Ostinel.exe"}) {
    EXPECT_TRUE(IsInstalledImage(same, installed)) << same;
  }
  for (const wchar_t* other : {L"C:\\Program Files\\Ostinel\\bin\\Ostinel.exe", L"C:\\Users\\kim\\Ostinel.exe",
                               L"D:\\Program Files\\Ostinel\\Ostinel.exe", L"C:\\Program Files\\Ostinel\\Ostinel.ex",
                               L"C:\\Program Files\\Ostinel\\Ostinel.exe\\x", L""}) {
    EXPECT_FALSE(IsInstalledImage(other, installed)) << other;
  }
  EXPECT_FALSE(IsInstalledImage(L"", L""));  // neither known
  // Climbing above the root names nothing; the root itself stays.
  EXPECT_EQ(ImagePathKey(L"C:\\..\\Ostinel.exe"), L"");
  EXPECT_EQ(ImagePathKey(L"\\\\srv\\share\\..\\x.exe"), L"");
  EXPECT_EQ(ImagePathKey(L"\\\\?\\UNC\\srv\\share\\Tools\\..\\Ostinel.exe"), L"\\\\SRV\\SHARE\\OSTINEL.EXE");
  EXPECT_TRUE(IsInstalledImage(L"\\\\?\\UNC\\srv\\share\\Ostinel.exe", L"\\\\srv\\share\\ostinel.exe"));

  SupportSnapshot snapshot;
  snapshot.SessionId = 2;
  SectionOrigin origin;
  origin.ProcessImage = L"\\\\?\\C:\\Program Files\\Ostinel\\Ostinel.exe";
  origin.ProcessSession = 2;
  origin.ProcessUser = {1, 5, 0, 0, 0, 0, 0, 5, 21, 0, 0, 0, 7};
  origin.Owner = origin.ProcessUser;
  EXPECT_TRUE(SectionTrusted(2, snapshot, origin, installed));

  SectionOrigin stranger = origin;
  stranger.Owner.back() = 8;  // another user made the section
  EXPECT_FALSE(SectionTrusted(2, snapshot, stranger, installed));
  stranger = origin;
  stranger.Owner.pop_back();
  EXPECT_FALSE(SectionTrusted(2, snapshot, stranger, installed));
  stranger = origin;
  stranger.Owner.clear();  // the owner could not be read
  stranger.ProcessUser.clear();
  EXPECT_FALSE(SectionTrusted(2, snapshot, stranger, installed));
  stranger = origin;
  stranger.ProcessUser.clear();  // the process's user could not be read
  EXPECT_FALSE(SectionTrusted(2, snapshot, stranger, installed));
  stranger = origin;
  stranger.ProcessImage = L"C:\\Users\\kim\\Downloads\\Ostinel.exe";
  EXPECT_FALSE(SectionTrusted(2, snapshot, stranger, installed));
  stranger = origin;
  stranger.ProcessImage.clear();  // the process is gone or may not be asked
  EXPECT_FALSE(SectionTrusted(2, snapshot, stranger, installed));
  stranger = origin;
  stranger.ProcessSession = 1;  // the utility of another session, named from this session's section
  EXPECT_FALSE(SectionTrusted(2, snapshot, stranger, installed));
  stranger.ProcessSession.reset();
  EXPECT_FALSE(SectionTrusted(2, snapshot, stranger, installed));
  EXPECT_FALSE(SectionTrusted(3, snapshot, origin, installed));  // read from another session's namespace
  EXPECT_FALSE(SectionTrusted(2, snapshot, origin, L""));          // the installed utility not known

  // An elevated administrator opens another user's copy (SeDebugPrivilege) but never its token:
  // the user comes from the process list, which also names the session.
  const ProcessFacts opened{origin.ProcessImage, std::nullopt, {}};
  const std::vector<ListedProcess> list = {{41, 2, {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0}},
                                           {42, 2, origin.ProcessUser}};
  ProcessFacts facts = CombineProcessFacts(42, opened, list);
  SectionOrigin seen{facts.Image, facts.Session, facts.User, origin.Owner};
  EXPECT_TRUE(SectionTrusted(2, snapshot, seen, installed));
  // The list is believed over the token; where it names no user, or not the process, what opening told stays.
  facts = CombineProcessFacts(42, ProcessFacts{origin.ProcessImage, 1u, {9}}, list);
  EXPECT_EQ(facts.User, origin.ProcessUser);
  EXPECT_EQ(facts.Session, 2u);
  facts = CombineProcessFacts(42, ProcessFacts{origin.ProcessImage, 2u, origin.ProcessUser}, {{42, 3, {}}});
  EXPECT_EQ(facts.User, origin.ProcessUser);
  EXPECT_EQ(facts.Session, 3u);
  facts = CombineProcessFacts(43, opened, list);
  EXPECT_TRUE(facts.User.empty());
  EXPECT_FALSE(facts.Session.has_value());
}

TEST(DiagnoseTrust, AStrangersSectionIsListedAsNotTrustedAndNeverMakesTheExitValueZero) {
  DiagnoseReport report;
  SessionSection fake{1, {}, false};  // made before the utility, naming it
  fake.Snapshot.ProcessId = 100;
  fake.Snapshot.SessionId = 1;
  fake.Snapshot.Connected = true;
  fake.Snapshot.PathLength = 1;
  fake.Snapshot.Path[0] = u'x';
  SessionSection elsewhere{2, {}, false};  // naming some other program
  elsewhere.Snapshot.ProcessId = 777;
  elsewhere.Snapshot.Connected = true;
  SessionSection real{3, {}, true};
  real.Snapshot.ProcessId = 300;
  // The same process named by a stranger's section in another session first: its own section counts.
  SessionSection claim{4, {}, false};
  claim.Snapshot.ProcessId = 300;
  claim.Snapshot.Connected = true;
  report.Copies = MergeCopies({{100, 1, true}, {300, 3, true}, {500, 5, false}, {600, 2, std::nullopt}},
                              {claim, fake, elsewhere, real}, 1u);
  ASSERT_EQ(report.Copies.size(), 5u);
  EXPECT_EQ(report.Copies[0].ProcessId, 100u);
  EXPECT_EQ(report.Copies[0].Answer, CopyAnswer::NotTrusted);
  EXPECT_FALSE(report.Copies[0].State.Connected);  // nothing of the stranger's words is kept
  EXPECT_EQ(report.Copies[1].ProcessId, 600u);      // its session's section is a stranger's: no second copy
  EXPECT_EQ(report.Copies[1].Answer, CopyAnswer::NoAnswer);
  EXPECT_EQ(report.Copies[2].ProcessId, 777u);
  EXPECT_EQ(report.Copies[2].Answer, CopyAnswer::NotTrusted);
  EXPECT_EQ(report.Copies[3].ProcessId, 300u);
  EXPECT_EQ(report.Copies[3].Answer, CopyAnswer::Answered);
  EXPECT_EQ(report.Copies[4].ProcessId, 500u);  // named like the utility, but another program
  EXPECT_EQ(report.Copies[4].Answer, CopyAnswer::NotTrusted);
  EXPECT_EQ(ControllerCopyIndex(report.Copies), 3);
  EXPECT_EQ(DiagnoseExitCode(report), DIAGNOSE_EXIT_NOT_CONNECTED);
  const std::string json = DiagnoseReportJson(report);
  EXPECT_EQ(json_check::Check(json), "") << json;
  EXPECT_NE(json.find("\"pid\": 777,\n      \"session\": 2,\n      \"console\": false,\n      \"answer\": \"not trusted\",\n"
                      "      \"responding\": null\n    }"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"connected\": false,\n    \"path\": null"), std::string::npos) << json;
  EXPECT_NE(json.find("\"reportedBy\": 300"), std::string::npos) << json;

  // With the stranger alone: nothing answers.
  report.Copies = MergeCopies({{100, 1, true}}, {fake}, 1u);
  EXPECT_EQ(ControllerCopyIndex(report.Copies), -1);
  EXPECT_EQ(DiagnoseExitCode(report), DIAGNOSE_EXIT_NOT_CONNECTED);
  EXPECT_NE(DiagnoseReportJson(report).find("\"reportedBy\": null"), std::string::npos);
}

// Any bytes in a section: the reader and the report's JSON never fail, never read past the
// section, and a section not believed never makes the exit value 0. 12,000 hostile sections from
// a fixed seed: random bytes, set-up sections with wild lengths, counters and paths full of lone
// surrogates and control characters, and real sections with bytes flipped.
TEST(DiagnoseHostileSections, AnyBytesGiveValidJsonAndNoTrustedExitValue) {
  // The checker itself tells bad JSON.
  EXPECT_EQ(json_check::Check("{\"a\": [1, -0.5e3, \"\\u00e9\\ud83d\\ude00\", true, null]}\n"), "");
  for (const char* bad : {"{\"a\": \"\xED\xA0\x80\"}", "{\"a\": \"\x01\"}", "{\"a\": \"\\ud800\"}",
                          "{\"a\": \"\\udc00x\"}", "{\"a\": 01}", "{\"a\": \"\xC0\xAF\"}", "{\"a\": 1,}", "{\"a\"}",
                          "[\"\xF4\x90\x80\x80\"]", "\"abc", "{} x"}) {
    EXPECT_NE(json_check::Check(bad), "") << bad;
  }

  std::mt19937 random(20261208u);
  auto word = [&] { return static_cast<std::uint32_t>(random()); };
  auto unit = [&]() -> std::uint16_t {
    switch (word() % 6) {
      case 0: return static_cast<std::uint16_t>(0xD800 + word() % 0x800);  // surrogates, paired or not
      case 1: return static_cast<std::uint16_t>(word() % 0x20);            // control characters
      case 2: return static_cast<std::uint16_t>(u"\"\\/"[word() % 3]);
      case 3: return static_cast<std::uint16_t>(0xFFFE + word() % 2);
      default: return static_cast<std::uint16_t>(word());
    }
  };
  auto section = std::make_unique<SupportSection>();
  auto* bytes = reinterpret_cast<unsigned char*>(static_cast<void*>(section.get()));
  int done = 0, busy = 0, notReady = 0, trustedZero = 0;
  for (int round = 0; round < 12000; ++round) {
    const int kind = round % 4;
    if (kind == 0) {
      for (std::size_t i = 0; i < sizeof(SupportSection); ++i) bytes[i] = static_cast<unsigned char>(word());
    } else {
      std::memset(bytes, 0, sizeof(SupportSection));
      InitSupportSection(*section, word() % 5000, word() % 4, (static_cast<std::uint64_t>(word()) << 32) | word(),
                         {static_cast<std::uint16_t>(word()), 0, 0, static_cast<std::uint16_t>(word())}, word() & 1);
      for (int i = static_cast<int>(word() % 12); i > 0; --i) {
        NoteSupportNotice(*section, static_cast<DeviceNotice>(word() % 5), word(), L"\\\\?\\root#x");
      }
      constexpr auto kCapacity = static_cast<std::uint32_t>(SUPPORT_PATH_CAPACITY);
      const std::uint32_t lengths[] = {word(), kCapacity, kCapacity + 1, 0xFFFFFFFFu, word() % kCapacity};
      section->PathLength.store(lengths[word() % 5]);
      for (auto& pathUnit : section->Path) pathUnit.store(unit());
      section->Connected.store(word() % 3 == 0 ? word() : 1u);
      if (kind == 2) section->Sequence.store(word() | 1u);  // a writer that died mid-change
      if (kind == 3) {
        for (int flips = 1 + static_cast<int>(word() % 8); flips > 0; --flips) {
          bytes[word() % sizeof(SupportSection)] ^= static_cast<unsigned char>(1u << (word() % 8));
        }
      }
    }
    static int pauses;
    pauses = 0;
    SupportSnapshot snapshot;
    // The report's own number of tries for the first rounds; fewer after, which keep the sanitizer runs short.
    const int tries = round < 200 ? SUPPORT_READ_TRIES : SUPPORT_NOT_READY_GIVE_UP + 2;
    const SupportRead read = ReadSupportSectionSettled(*section, snapshot, tries, [] { ++pauses; });
    if (read == SupportRead::Busy) {
      ++busy;
      ASSERT_EQ(pauses, tries - 1) << "round " << round;  // a counter that never settles: all tries
      continue;
    }
    if (read == SupportRead::NotReady) {
      ++notReady;
      ASSERT_EQ(pauses, SUPPORT_NOT_READY_GIVE_UP) << "round " << round;  // never set up: given up sooner
      continue;
    }
    ++done;
    ASSERT_EQ(pauses, 0) << "round " << round;  // a section at rest is read at once
    if (round < 8) {
      SupportSnapshot once;
      ASSERT_EQ(ReadSupportSectionSettled(*section, once, 1, [] { ++pauses; }), SupportRead::Done);
    }
    ASSERT_LE(snapshot.PathLength, SUPPORT_PATH_CAPACITY);
    const bool trusted = word() % 3 == 0;
    const std::uint32_t pid = snapshot.ProcessId;
    DiagnoseReport report;
    report.ControllerPresent = (word() & 1) != 0;
    report.InterfacePath.assign(snapshot.Path.begin(), snapshot.Path.begin() + snapshot.PathLength);
    std::vector<RunningCopy> processes;
    if (word() & 1) processes.push_back({pid, snapshot.SessionId, trusted});
    if (word() & 1) processes.push_back({pid + 1, word() % 4, std::nullopt});
    report.Copies = MergeCopies(processes, {{snapshot.SessionId, snapshot, trusted}}, word() % 4);
    const std::string json = DiagnoseReportJson(report);
    const std::string fault = json_check::Check(json);
    ASSERT_EQ(fault, "") << "round " << round << "\n" << json;
    if (!trusted) {
      ASSERT_EQ(DiagnoseExitCode(report), DIAGNOSE_EXIT_NOT_CONNECTED) << "round " << round;
    } else if (DiagnoseExitCode(report) == DIAGNOSE_EXIT_CONNECTED) {
      ++trustedZero;
    }
  }
  // Every kind of outcome was reached.
  EXPECT_GT(done, 3000);
  EXPECT_GT(busy, 2000);
  EXPECT_GT(notReady, 2000);
  EXPECT_GT(trustedZero, 100);
}

TEST(DiagnoseJson, WhatIsNotKnownIsNull) {
  DiagnoseReport report;
  report.SettingsKeyPresent = true;
  report.Stored[StoredSetting::WaitTime] = 150;
  const std::string json = DiagnoseReportJson(report);
  EXPECT_NE(json.find("\"ButtonSetup\": null,\n    \"WaitTime\": 150,"), std::string::npos) << json;
  EXPECT_NE(json.find("\"usersMayChange\": null"), std::string::npos) << json;
  for (const char* key : {"\"path\": null", "\"lastError\": null", "\"connects\": null", "\"losses\": null",
                          "\"runValue\": null", "\"task\": null", "\"copies\": []", "\"displays\": []"}) {
    EXPECT_NE(json.find(key), std::string::npos) << key << "\n" << json;
  }
  EXPECT_NE(json.find("\"connected\": false"), std::string::npos) << json;
  EXPECT_EQ(json.back(), '\n');
  // No policy: each value null, the stored settings (the default word for the missing one) in force.
  EXPECT_NE(json.find("\"policy\": {\n      \"RightClickMethod\": null,\n      \"HoldTime\": null,"), std::string::npos)
      << json;
  EXPECT_NE(json.find("\"AllowSettingsChanges\": null\n    },\n    \"inForce\": {\n      \"ButtonSetup\": 15,\n"
                      "      \"WaitTime\": 150\n    }\n  },"),
            std::string::npos)
      << json;

  // No settings key: no value, no access list, the defaults in force.
  const std::string noKey = DiagnoseReportJson(DiagnoseReport{});
  EXPECT_NE(noKey.find("\"settings\": {\n    \"ButtonSetup\": null,\n    \"WaitTime\": null,\n    \"keyPresent\": false,\n"
                       "    \"usersMayChange\": null,\n    \"access\": null,"),
            std::string::npos)
      << noKey;
  EXPECT_NE(noKey.find("\"inForce\": {\n      \"ButtonSetup\": 15,\n      \"WaitTime\": 100\n    }"), std::string::npos)
      << noKey;
}

TEST(DiagnoseJson, PoliciesAreShownWithTheSettingsTheyPutInForce) {
  DiagnoseReport report;
  report.SettingsKeyPresent = true;
  report.Stored[StoredSetting::ButtonSetup] = 0x0F;
  report.Stored[StoredSetting::WaitTime] = 100;
  report.Policies[static_cast<std::size_t>(PolicyValue::RightClickMethod)] = RawPolicyValue{true, REGISTRY_TYPE_DWORD, 4, 2};
  report.Policies[static_cast<std::size_t>(PolicyValue::HoldTime)] = RawPolicyValue{true, REGISTRY_TYPE_DWORD, 4, 20};
  report.Policies[static_cast<std::size_t>(PolicyValue::LeftClickSound)] = RawPolicyValue{true, REGISTRY_TYPE_DWORD, 4, 0};
  report.Policies[static_cast<std::size_t>(PolicyValue::ButtonOnceOnly)] = RawPolicyValue{true, 1, 6, 0};
  const std::string json = DiagnoseReportJson(report);
  EXPECT_NE(json.find("\"RightClickMethod\": 2,\n      \"HoldTime\": \"ignored: 20\",\n      \"LeftClickSound\": 0,\n"
                      "      \"RightClickSound\": null,\n      \"RightClickIndicator\": null,\n"
                      "      \"ButtonOnceOnly\": \"ignored: registry type 1, 6 bytes\",\n      \"AllowSettingsChanges\": null"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"inForce\": {\n      \"ButtonSetup\": 26,\n      \"WaitTime\": 100\n    }"), std::string::npos)
      << json;

  // A stored hold time with every bit set: stored as read, in force as the signed number the
  // program holds.
  DiagnoseReport odd;
  odd.SettingsKeyPresent = true;
  odd.Stored[StoredSetting::WaitTime] = 0xFFFFFFFFu;
  const std::string oddJson = DiagnoseReportJson(odd);
  EXPECT_NE(oddJson.find("\"WaitTime\": 4294967295,"), std::string::npos) << oddJson;
  EXPECT_NE(oddJson.find("\"inForce\": {\n      \"ButtonSetup\": 15,\n      \"WaitTime\": -1\n    }"),
            std::string::npos)
      << oddJson;
}

TEST(DiagnoseSystem, ArchitectureScaleAndSignatureInWords) {
  DiagnoseReport report;
  report.NativeMachine = 0xAA64;
  report.ProgramMachine = 0x8664;
  report.SignatureStatus = 0x800B0109u;
  DisplayInfo display;
  display.Dpi = 144;
  display.Right = 2560;
  display.Session = 0;  // run as SYSTEM: session 0's virtual display, not the console's
  report.ConsoleSession = 1;
  report.Displays = {display};
  std::string json = DiagnoseReportJson(report);
  EXPECT_NE(json.find("\"architecture\": \"arm64\",\n    \"program\": \"x64\",\n    \"emulated\": true"),
            std::string::npos)
      << json;
  EXPECT_NE(json.find("\"dpi\": 144,\n      \"scale\": 150,\n      \"session\": 0,\n      \"console\": false"),
            std::string::npos)
      << json;
  report.Displays[0].Session = 1;
  EXPECT_NE(DiagnoseReportJson(report).find("\"session\": 1,\n      \"console\": true"), std::string::npos);
  report.ConsoleSession.reset();
  EXPECT_NE(DiagnoseReportJson(report).find("\"session\": 1,\n      \"console\": false"), std::string::npos);
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

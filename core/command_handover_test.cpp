#include "core/command_handover.h"
#include "core/settings_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "device/device_protocol.h"

TEST(CommandHandover, ToggleWritesStateBeforeRaisingTheFlag) {
  AppStateRecord s;
  EXPECT_TRUE(ToggleButtonActive(s));
  EXPECT_EQ(s.ButtonActive.load(), 1u);
  EXPECT_TRUE(TakePending(s.ButtonCommandPending));
  EXPECT_FALSE(TakePending(s.ButtonCommandPending));  // taken once
  EXPECT_FALSE(ToggleButtonActive(s));
  EXPECT_EQ(s.ButtonActive.load(), 0u);
  EXPECT_TRUE(IsPending(s.ButtonCommandPending));
}

TEST(CommandHandover, OnceOnlyDisarmActsOnlyOnAnArmedButton) {
  AppStateRecord s;
  EXPECT_FALSE(DisarmButtonOnce(s));
  EXPECT_FALSE(IsPending(s.ButtonCommandPending));  // nothing to tell the controller
  ToggleButtonActive(s);
  TakePending(s.ButtonCommandPending);
  EXPECT_TRUE(DisarmButtonOnce(s));
  EXPECT_EQ(s.ButtonActive.load(), 0u);
  EXPECT_TRUE(TakePending(s.ButtonCommandPending));
  EXPECT_FALSE(DisarmButtonOnce(s));  // a further right click sends nothing
  EXPECT_FALSE(IsPending(s.ButtonCommandPending));
}

TEST(CommandHandover, EndOfMoveClearsWithoutCommand) {
  AppStateRecord s;
  ToggleButtonActive(s);
  TakePending(s.ButtonCommandPending);
  ClearButtonActiveAfterMove(s);
  EXPECT_EQ(s.ButtonActive.load(), 0u);
  EXPECT_FALSE(IsPending(s.ButtonCommandPending));
}

TEST(CommandHandover, FailedWriteKeepsTheCommandPending) {
  AppStateRecord s;
  RequestSetup(s, SetupAndWait(SETUP_FUNCTION_BUTTON, 250));
  ASSERT_TRUE(TakePending(s.SetupPending));
  KeepPending(s.SetupPending);  // short write
  ASSERT_TRUE(TakePending(s.SetupPending));
  EXPECT_EQ(BuildSetupCommand(s.ButtonSetup.load(), s.WaitTime.load()), (SetupCommand{0, 0, 250, 0}));
}

// Two real threads: the UI side toggles the button (and the device side disarms it on simulated
// right clicks) while the device side sends commands, some of which fail. After every round the
// device side drains what is pending and the controller must have been told the button's actual
// state: a change that lands while a command is being written must never be lost.
TEST(CommandHandover, NoChangeOfTheButtonIsEverLostBetweenThreads) {
  AppStateRecord s;
  std::atomic<bool> stop{false};
  std::atomic<int> phase{0};            // 0 run, 1 drain requested, 2 drained
  std::atomic<int> controllerState{0};  // what the controller was last told
  std::atomic<int> rightClicks{0};      // requests for a once-only disarm

  std::thread device([&] {
    unsigned pass = 0;
    while (!stop.load()) {
      if (rightClicks.exchange(0) != 0) DisarmButtonOnce(s);
      if (TakePending(s.ButtonCommandPending)) {
        const ButtonCommand cmd = BuildButtonCommand(s.ButtonActive.load() != 0);
        for (int spin = 0; spin < 50; ++spin) std::this_thread::yield();  // the write takes time
        if (++pass % 7 == 0) {
          KeepPending(s.ButtonCommandPending);  // a failed write, retried next pass
        } else {
          controllerState.store(cmd[1]);
        }
      }
      // Acknowledge a drain only after a whole pass that left nothing pending.
      if (phase.load() == 1 && !IsPending(s.ButtonCommandPending) && rightClicks.load() == 0) {
        phase.store(2);
        while (phase.load() == 2 && !stop.load()) std::this_thread::yield();
      }
    }
  });

  constexpr int kRounds = 3000;
  int mismatches = 0;
  for (int round = 0; round < kRounds; ++round) {
    ToggleButtonActive(s);
    if (round % 5 == 0) rightClicks.store(1);
    for (int spin = 0; spin < round % 40; ++spin) std::this_thread::yield();
    if (round % 3 == 0) ToggleButtonActive(s);  // a second change while the first is being sent
    phase.store(1);
    while (phase.load() != 2) std::this_thread::yield();
    if (controllerState.load() != static_cast<int>(s.ButtonActive.load())) ++mismatches;
    phase.store(0);
  }
  stop.store(true);
  device.join();
  EXPECT_EQ(mismatches, 0);
}

// The device thread of the test below, as the wake reaches it: the requester's wake returns only
// once the flag it raised has been taken (or after a bounded wait), as a woken thread would act.
AppStateRecord* WokenState = nullptr;
void WakeAndLetTheDeviceSideTake() {
  for (int spin = 0; spin < 2000 && IsPending(WokenState->SetupPending); ++spin) std::this_thread::yield();
}

// Two real threads: the UI side puts one hold time after another in force while the device side
// takes the flag and builds setup commands as fast as it can. After every request, once the device
// side has drained the flag, the last hold time it sent must be the one in force: the flag may be
// raised only after the data it covers is stored.
TEST(CommandHandover, TheLastSetupSentAlwaysCarriesTheHoldTimeInForce) {
  AppStateRecord s;
  WokenState = &s;
  s.WakeDeviceThread = WakeAndLetTheDeviceSideTake;
  std::atomic<bool> stop{false};
  std::atomic<int> phase{0};  // 0 run, 1 drain requested, 2 drained
  std::atomic<int> lastSent{-1};

  std::thread device([&] {
    while (!stop.load()) {
      if (TakePending(s.SetupPending)) {
        const SetupCommand cmd = BuildSetupCommand(s.ButtonSetup.load(), s.WaitTime.load());
        lastSent.store(cmd[2] | (cmd[3] << 8));
      }
      if (phase.load() == 1 && !IsPending(s.SetupPending)) {
        phase.store(2);
        while (phase.load() == 2 && !stop.load()) std::this_thread::yield();
      }
    }
  });

  constexpr int kRounds = 2000;
  int mismatches = 0;
  for (int round = 0; round < kRounds; ++round) {
    const std::int32_t waitTime = WAIT_TIME_MIN + round % (WAIT_TIME_MAX - WAIT_TIME_MIN);
    RequestSetup(s, SetupAndWait(DEFAULT_BUTTON_SETUP, waitTime));
    phase.store(1);
    while (phase.load() != 2) std::this_thread::yield();
    if (lastSent.load() != waitTime) ++mismatches;
    phase.store(0);
  }
  stop.store(true);
  device.join();
  EXPECT_EQ(mismatches, 0);
}

// What the device thread would find at the moment each wake reaches it.
struct WakeSeen {
  int Count = 0;
  std::uint32_t Setup = 0, Button = 0, ButtonActive = 0, Allowed = 0, Stop = 0, Attempt = 0, ButtonSetup = 0;
  std::int32_t WaitTime = 0;
  NativeHandle Release = nullptr;
};
AppStateRecord* Watched = nullptr;
WakeSeen Seen;
void CountingWake() {
  ++Seen.Count;
  Seen.Setup = Watched->SetupPending.load();
  Seen.Button = Watched->ButtonCommandPending.load();
  Seen.ButtonActive = Watched->ButtonActive.load();
  Seen.ButtonSetup = Watched->ButtonSetup.load();
  Seen.WaitTime = Watched->WaitTime.load();
  Seen.Allowed = Watched->DeviceAllowed.load();
  Seen.Stop = Watched->DeviceStopPending.load();
  Seen.Attempt = Watched->DeviceAttemptPending.load();
  Seen.Release = Watched->DeviceToRelease.load();
}

// Every kind of request wakes the device thread exactly once, after the request (and the data it
// covers) is visible: a wake before the flag, or none, leaves the thread waiting in a held read.
// A session notice that changes nothing wakes nobody.
TEST(CommandHandover, EveryRequestWakesTheDeviceThreadOnceWithTheRequestVisible) {
  AppStateRecord s;
  Watched = &s;
  s.WakeDeviceThread = CountingWake;
  static int handle = 0;
  struct Case {
    const char* Request;
    void (*Make)(AppStateRecord&);
    int Wakes;
    bool (*Visible)(const WakeSeen&);
  };
  const Case cases[] = {
      {"arm the button", [](AppStateRecord& r) { ToggleButtonActive(r); }, 1,
       [](const WakeSeen& w) { return w.Button == 1 && w.ButtonActive == 1; }},
      {"disarm the button", [](AppStateRecord& r) { ToggleButtonActive(r); }, 1,
       [](const WakeSeen& w) { return w.Button == 1 && w.ButtonActive == 0; }},
      {"new settings", [](AppStateRecord& r) { RequestSetup(r, SetupAndWait(27, 150)); }, 1,
       [](const WakeSeen& w) { return w.Setup == 1 && w.ButtonSetup == 27 && w.WaitTime == 150; }},
      {"removal", [](AppStateRecord& r) { RequestDeviceRelease(r, &handle); }, 1,
       [](const WakeSeen& w) { return w.Release == &handle; }},
      {"connect now", [](AppStateRecord& r) { RequestDeviceAttempt(r); }, 1,
       [](const WakeSeen& w) { return w.Attempt == 1; }},
      {"console still here", [](AppStateRecord& r) { SetDeviceAllowed(r, true); }, 0, nullptr},
      {"console away", [](AppStateRecord& r) { SetDeviceAllowed(r, false); }, 1,
       [](const WakeSeen& w) { return w.Allowed == 0; }},
      {"console still away", [](AppStateRecord& r) { SetDeviceAllowed(r, false); }, 0, nullptr},
      {"console back", [](AppStateRecord& r) { SetDeviceAllowed(r, true); }, 1,
       [](const WakeSeen& w) { return w.Allowed == 1; }},
      {"stop", [](AppStateRecord& r) { RequestDeviceStop(r); }, 1, [](const WakeSeen& w) { return w.Stop == 1; }},
  };
  for (const Case& c : cases) {
    Seen = WakeSeen{};
    c.Make(s);
    EXPECT_EQ(Seen.Count, c.Wakes) << c.Request;
    if (c.Visible) {
      EXPECT_TRUE(c.Visible(Seen)) << c.Request << ": woken before the request was visible";
    }
    // The device thread takes what it was woken for.
    TakePending(s.SetupPending);
    TakePending(s.ButtonCommandPending);
    TakePending(s.DeviceAttemptPending);
    s.DeviceToRelease.store(nullptr);
  }
  Watched = nullptr;
}

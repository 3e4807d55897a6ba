#include "settings_ui/settings_logic.h"

#include <gtest/gtest.h>

#include <array>
#include <cwchar>
#include <string>

#include "core/command_handover.h"
#include "core/settings_test_support.h"

namespace {

SettingsControls Controls(bool left, bool right, bool flash, bool once, int method) {
  SettingsControls c;
  c[IDC_LEFT_SOUND] = left;
  c[IDC_RIGHT_SOUND] = right;
  c[IDC_RIGHT_FLASH] = flash;
  c[IDC_ONCE_ONLY] = once;
  c[IDC_METHOD_NONE] = method == 0;
  c[IDC_METHOD_BUTTON] = method == 1;
  c[IDC_METHOD_HOLD] = method == 2;
  return c;
}

SettingValues Shown(const SettingsControls& controls, std::int32_t sliderWaitTime) {
  return SetupAndWait(SetupWordFromControls(controls), sliderWaitTime);
}

// What the last OK of the run stored of the hold time (-1: none yet).
SettingValues Saved(std::int32_t savedWaitTime) {
  return SettingValues::Filled(NOT_SAVED_YET).With(StoredSetting::WaitTime, static_cast<std::uint32_t>(savedWaitTime));
}

std::wstring Label(std::int32_t waitTime, const wchar_t* unit) {
  std::array<wchar_t, WAIT_LABEL_CAPACITY> buffer{};
  buffer.fill(L'#');
  FormatWaitTimeLabel(buffer, waitTime, unit);
  return buffer.data();
}

TEST(SettingsLogic, EachBoxAndRadioButtonGivesItsOwnBit) {
  EXPECT_EQ(SetupWordFromControls(Controls(false, false, false, false, 0)), 0u);
  EXPECT_EQ(SetupWordFromControls(Controls(true, false, false, false, 0)), SETUP_LEFT_SOUND);
  EXPECT_EQ(SetupWordFromControls(Controls(false, true, false, false, 0)), SETUP_RIGHT_SOUND);
  EXPECT_EQ(SetupWordFromControls(Controls(false, false, true, false, 0)), SETUP_RIGHT_FLASH);
  EXPECT_EQ(SetupWordFromControls(Controls(false, false, false, true, 0)), SETUP_ONCE_ONLY);
  EXPECT_EQ(SetupWordFromControls(Controls(false, false, false, false, 1)), SETUP_FUNCTION_BUTTON);
  EXPECT_EQ(SetupWordFromControls(Controls(false, false, false, false, 2)), SETUP_HOLD_STILL);
  EXPECT_EQ(SetupWordFromControls(Controls(true, true, true, true, 2)), 0x2Fu);
  EXPECT_EQ(SetupWordFromControls(Controls(true, true, true, false, 2)), 15u);
}

TEST(SettingsLogic, StoredWordLoadsIntoTheControlsAndBackWithoutForeignBits) {
  for (std::uint32_t word = 0; word < 0x100; ++word) {
    const SettingsControls c = ControlsForSetupWord(word);
    EXPECT_EQ(int(c[IDC_METHOD_NONE]) + int(c[IDC_METHOD_BUTTON]) + int(c[IDC_METHOD_HOLD]), 1) << word;
    std::uint32_t expected = word & SETUP_DIALOG_BITS;
    if ((word & SETUP_FUNCTION_BUTTON) != 0) expected &= ~SETUP_HOLD_STILL;  // the button wins
    EXPECT_EQ(SetupWordFromControls(c), expected) << word;
  }
  const SettingsControls both = ControlsForSetupWord(SETUP_HOLD_STILL | SETUP_FUNCTION_BUTTON);
  EXPECT_TRUE(both[IDC_METHOD_BUTTON]);
  EXPECT_FALSE(both[IDC_METHOD_HOLD]);
  EXPECT_TRUE(ControlsForSetupWord(15)[IDC_METHOD_HOLD]);
  EXPECT_TRUE(ControlsForSetupWord(0x0B)[IDC_METHOD_NONE]);
}

// Whether an OK that stores no hold time sends the setup command: the method of the old word and
// of the radio buttons differ, bit by bit.
bool MethodChanged(std::uint32_t oldButtonSetup, const SettingsControls& controls) {
  return DecideCommit(SetupAndWait(oldButtonSetup, 100), Shown(controls, 100), Saved(100)).QueueSetup;
}

TEST(SettingsLogic, MethodChangeComparesBothMethodBitsWithTheRadioButtons) {
  EXPECT_FALSE(MethodChanged(15, Controls(true, true, true, false, 2)));
  EXPECT_FALSE(MethodChanged(15, Controls(false, false, false, true, 2)));  // boxes are not the method
  EXPECT_TRUE(MethodChanged(15, Controls(true, true, true, false, 0)));
  EXPECT_TRUE(MethodChanged(15, Controls(true, true, true, false, 1)));
  EXPECT_TRUE(MethodChanged(0x0B, Controls(true, true, true, false, 1)));   // none -> button
  EXPECT_FALSE(MethodChanged(0x1B, Controls(true, true, true, false, 1)));
  EXPECT_FALSE(MethodChanged(0xC0, Controls(false, false, false, false, 0)));
  // Both bits stored: the loaded dialog shows the button, and OK drops the hold bit.
  EXPECT_TRUE(MethodChanged(0x14, ControlsForSetupWord(0x14)));
}

TEST(SettingsLogic, FirstOkStoresAndSendsEvenWithoutChanges) {
  const SettingsCommit c = DecideCommit(SetupAndWait(15, 100), Shown(ControlsForSetupWord(15), 100), Saved(-1));
  EXPECT_EQ(c.InForce[StoredSetting::ButtonSetup], 15u);
  EXPECT_EQ(c.InForce[StoredSetting::WaitTime], 100u);
  EXPECT_TRUE(c.Store[StoredSetting::WaitTime]);
  EXPECT_TRUE(c.QueueSetup);
}

TEST(SettingsLogic, LaterOkSendsOnlyForHoldTimeOrMethodChanges) {
  // Nothing changed: the word is stored, no hold time, no command.
  SettingsCommit c = DecideCommit(SetupAndWait(15, 100), Shown(ControlsForSetupWord(15), 100), Saved(100));
  EXPECT_FALSE(c.Store[StoredSetting::WaitTime]);
  EXPECT_FALSE(c.QueueSetup);

  // Sound, indicator or once-only alone: stored, in force, no command.
  c = DecideCommit(SetupAndWait(15, 100), Shown(Controls(false, true, false, true, 2), 100), Saved(100));
  EXPECT_EQ(c.InForce[StoredSetting::ButtonSetup], 0x26u);
  EXPECT_FALSE(c.Store[StoredSetting::WaitTime]);
  EXPECT_FALSE(c.QueueSetup);

  // Hold time only.
  c = DecideCommit(SetupAndWait(15, 100), Shown(ControlsForSetupWord(15), 250), Saved(100));
  EXPECT_TRUE(c.Store[StoredSetting::WaitTime]);
  EXPECT_EQ(c.InForce[StoredSetting::WaitTime], 250u);
  EXPECT_TRUE(c.QueueSetup);

  // Method only: a command, but the unchanged hold time is not stored again.
  c = DecideCommit(SetupAndWait(0x0B, 100), Shown(Controls(true, true, true, false, 1), 100), Saved(100));
  EXPECT_EQ(c.InForce[StoredSetting::ButtonSetup], 0x1Bu);
  EXPECT_FALSE(c.Store[StoredSetting::WaitTime]);
  EXPECT_TRUE(c.QueueSetup);

  // Bits the dialog does not show (0xC0 today) are dropped, and that alone sends nothing.
  c = DecideCommit(SetupAndWait(0xCF, 100), Shown(ControlsForSetupWord(0xCF), 100), Saved(100));
  EXPECT_EQ(c.InForce[StoredSetting::ButtonSetup], 0xCFu & SETUP_DIALOG_BITS);
  EXPECT_FALSE(c.QueueSetup);
}

TEST(SettingsLogic, CommitPutsValuesInForceBeforeRaisingTheFlagAndNeverOtherwise) {
  AppStateRecord s;
  PutCommitInForce(s, DecideCommit(SetupAndWait(15, 100), Shown(Controls(true, false, false, false, 1), 300),
                                   Saved(-1)));
  EXPECT_EQ(s.ButtonSetup.load(), 0x11u);
  EXPECT_EQ(s.WaitTime.load(), 300);
  EXPECT_EQ(s.SavedWaitTime, 300);
  EXPECT_TRUE(TakePending(s.SetupPending));

  // A sound-only change takes effect at once without a command.
  PutCommitInForce(s, DecideCommit(SettingsInForceOf(s), Shown(Controls(false, true, false, false, 1), 300),
                                   SavedSettingsOf(s)));
  EXPECT_EQ(s.ButtonSetup.load(), 0x12u);
  EXPECT_EQ(s.SavedWaitTime, 300);
  EXPECT_FALSE(IsPending(s.SetupPending));

  // A pending command that the device thread has not sent yet stays pending.
  RaisePending(s.SetupPending);
  PutCommitInForce(s, DecideCommit(SettingsInForceOf(s), Shown(Controls(true, true, false, false, 1), 300),
                                   SavedSettingsOf(s)));
  EXPECT_TRUE(IsPending(s.SetupPending));
  EXPECT_EQ(s.ButtonSetup.load(), 0x13u);
}

Policies Managed(std::initializer_list<std::pair<PolicyValue, std::uint32_t>> values) {
  RawPolicies raw{};
  for (const auto& [v, value] : values) raw[static_cast<std::size_t>(v)] = RawPolicyValue{true, REGISTRY_TYPE_DWORD, 4, value};
  return DecidePolicies(raw);
}

TEST(SettingsLogic, WithoutPoliciesTheManagedOkIsTheOkOfBefore) {
  for (std::uint32_t old : {0x00u, 0x0Bu, 0x0Fu, 0x1Bu, 0xCFu}) {
    for (int method = 0; method < 3; ++method) {
      for (std::int32_t saved : {-1, 100, 250}) {
        const SettingsControls controls = Controls(method != 1, true, false, method == 2, method);
        const SettingsCommit before = DecideCommit(SetupAndWait(old, 120), Shown(controls, 250), Saved(saved));
        const SettingValues stored = SetupAndWait(old ^ SETUP_DIALOG_BITS, 120);  // whatever it was
        const SettingsCommit now =
            DecideManagedCommit(SetupAndWait(old, 120), stored, Shown(controls, 250), Saved(saved), Policies{});
        EXPECT_TRUE(now.Store[StoredSetting::ButtonSetup]);
        EXPECT_EQ(now.Stored[StoredSetting::ButtonSetup], before.InForce[StoredSetting::ButtonSetup]);
        EXPECT_EQ(now.InForce[StoredSetting::ButtonSetup], before.InForce[StoredSetting::ButtonSetup]);
        EXPECT_EQ(now.InForce[StoredSetting::WaitTime], before.InForce[StoredSetting::WaitTime]);
        EXPECT_EQ(now.Store[StoredSetting::WaitTime], before.Store[StoredSetting::WaitTime]);
        EXPECT_EQ(now.QueueSetup, before.QueueSetup) << old << " " << method << " " << saved;
      }
    }
  }
}

TEST(SettingsLogic, OkStoresOnlyWhatTheUserMayChangeAndPutsThePoliciesOverIt) {
  // The method is the administrator's (the function button); the user turns the left sound off.
  // Stored: the user's boxes, the method the user had chosen (hold still); in force: the button.
  const Policies method = Managed({{PolicyValue::RightClickMethod, 2}});
  SettingsCommit m = DecideManagedCommit(SetupAndWait(0x1B, 100), SetupAndWait(0x0F, 100),
                                         Shown(Controls(false, true, true, false, 1), 100), Saved(100), method);
  EXPECT_TRUE(m.Store[StoredSetting::ButtonSetup]);
  EXPECT_EQ(m.Stored[StoredSetting::ButtonSetup], 0x0Eu);
  EXPECT_EQ(m.InForce[StoredSetting::ButtonSetup], 0x1Au);
  EXPECT_FALSE(m.QueueSetup);
  EXPECT_FALSE(m.Store[StoredSetting::WaitTime]);

  // The hold time is the administrator's: never stored, the policy's value in force whatever the
  // slider says, and the first OK of a run sends no command for it.
  const Policies hold = Managed({{PolicyValue::HoldTime, 300}});
  m = DecideManagedCommit(SetupAndWait(0x0F, 100), SetupAndWait(0x0F, 100),
                          Shown(ControlsForSetupWord(0x0F), 120), Saved(-1), hold);
  EXPECT_FALSE(m.Store[StoredSetting::WaitTime]);
  EXPECT_EQ(m.InForce[StoredSetting::WaitTime], 300u);
  EXPECT_FALSE(m.QueueSetup);
  // ... while the method the user may still change sends one.
  m = DecideManagedCommit(SetupAndWait(0x0F, 100), SetupAndWait(0x0F, 100),
                          Shown(ControlsForSetupWord(0x1B), 120), Saved(-1), hold);
  EXPECT_EQ(m.Stored[StoredSetting::ButtonSetup], 0x1Bu);
  EXPECT_TRUE(m.QueueSetup);

  // A switch the policy decides keeps its stored bit, whatever the box shows.
  m = DecideManagedCommit(SetupAndWait(0x0E, 100), SetupAndWait(0x0F, 100),
                          Shown(Controls(false, false, false, true, 2), 100), Saved(100),
                          Managed({{PolicyValue::LeftClickSound, 0}}));
  EXPECT_EQ(m.Stored[StoredSetting::ButtonSetup], 0x25u);
  EXPECT_EQ(m.InForce[StoredSetting::ButtonSetup], 0x24u);

  // Every shown bit decided (each switch as the stored word has it, the method hold still): nothing
  // is stored.
  RawPolicies everyBit{};
  for (const PolicyRow& row : POLICY_ROWS) {
    const bool decidesABit = row.Kind == PolicyKind::Switch || row.Kind == PolicyKind::Method;
    const std::uint32_t value = row.Kind == PolicyKind::Method ? 1u : (0x0Fu & row.Bits) != 0 ? 1u : 0u;
    if (decidesABit) everyBit[static_cast<std::size_t>(row.Policy)] = RawPolicyValue{true, REGISTRY_TYPE_DWORD, 4, value};
  }
  m = DecideManagedCommit(SetupAndWait(0x0F, 100), SetupAndWait(0x0F, 100),
                          Shown(ControlsForSetupWord(0x0F), 100), Saved(-1), DecidePolicies(everyBit));
  EXPECT_FALSE(m.Store[StoredSetting::ButtonSetup]);
  EXPECT_TRUE(m.Store[StoredSetting::WaitTime]);  // the hold time is still the user's

  // AllowSettingsChanges 0: nothing stored, nothing sent, the stored settings in force whatever
  // the greyed controls say.
  m = DecideManagedCommit(SetupAndWait(0x0F, 100), SetupAndWait(0x0F, 100),
                          Shown(Controls(false, false, false, false, 1), 250), Saved(-1),
                          Managed({{PolicyValue::AllowSettingsChanges, 0}}));
  EXPECT_FALSE(m.Store[StoredSetting::ButtonSetup]);
  EXPECT_FALSE(m.Store[StoredSetting::WaitTime]);
  EXPECT_FALSE(m.QueueSetup);
  EXPECT_EQ(m.InForce[StoredSetting::ButtonSetup], 0x0Fu);
  EXPECT_EQ(m.InForce[StoredSetting::WaitTime], 100u);
  // AllowSettingsChanges 1 locks nothing.
  m = DecideManagedCommit(SetupAndWait(0x0F, 100), SetupAndWait(0x0F, 100),
                          Shown(Controls(false, false, false, false, 1), 250), Saved(-1),
                          Managed({{PolicyValue::AllowSettingsChanges, 1}}));
  EXPECT_TRUE(m.Store[StoredSetting::ButtonSetup]);
  EXPECT_EQ(m.Stored[StoredSetting::ButtonSetup], 0x10u);
  EXPECT_TRUE(m.Store[StoredSetting::WaitTime]);

  // Every row of the policy table, whatever setting it decides: the user's value stands where the
  // row decides (a decided number is not stored, the policy's value goes in force), the shown one
  // everywhere else, and each value not wholly decided is stored.
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    const PolicyRow& row = POLICY_ROWS[i];
    if (row.Kind == PolicyKind::Lock) continue;
    SCOPED_TRACE(testing::Message() << "row " << i);
    const SettingValues user = SettingValues::Filled(0);
    SettingValues shown = SettingValues::Filled(0);
    for (StoredSetting s : STORED_SETTINGS) shown[s] = HoldsBits(s) ? EditablePart(s) : StoredValueOf(s).Highest;
    const std::uint32_t value = POLICY_VALUES[i].Highest;
    m = DecideManagedCommit(user, user, shown, SettingValues::Filled(NOT_SAVED_YET), Managed({{row.Policy, value}}));
    for (StoredSetting s : STORED_SETTINGS) {
      if (s != row.Setting) {
        EXPECT_EQ(m.Stored[s], shown[s]);
        EXPECT_TRUE(m.Store[s]);
      } else if (row.Kind == PolicyKind::Number) {
        EXPECT_EQ(m.Stored[s], user[s]);
        EXPECT_FALSE(m.Store[s]);
        EXPECT_EQ(m.InForce[s], value);
      } else {
        EXPECT_EQ(m.Stored[s], (shown[s] & ~row.Bits) | (user[s] & row.Bits));
        EXPECT_TRUE(m.Store[s]);
      }
    }
  }
}

TEST(SettingsLogic, WaitTimeLabelShowsSecondsWithOneDecimalAndTheUnit) {
  EXPECT_EQ(Label(100, L"sec"), L"1.0 sec");
  EXPECT_EQ(Label(100, L"\u79D2"), L"1.0 \u79D2");
  EXPECT_EQ(Label(50, L"sec"), L"0.5 sec");
  EXPECT_EQ(Label(500, L"sec"), L"5.0 sec");
  EXPECT_EQ(Label(137, L"sec"), L"1.4 sec");
  EXPECT_EQ(Label(0, L"sec"), L"0.0 sec");
  EXPECT_EQ(Label(-1, L"sec"), L"-0.0 sec");
  EXPECT_EQ(Label(-250, L"sec"), L"-2.5 sec");
  // Every 32-bit value fits the 20-character buffer.
  EXPECT_EQ(Label(2147483647, L"sec"), L"21474836.5 sec");
  const std::wstring lowest = Label(-2147483647 - 1, L"sec");
  EXPECT_EQ(lowest, L"-21474836.5 sec");
  EXPECT_LT(lowest.size(), WAIT_LABEL_CAPACITY);

  std::array<wchar_t, 6> small{};
  FormatWaitTimeLabel(small, 100, L"sec");
  EXPECT_EQ(std::wstring(small.data()), L"1.0 s");
}

}  // namespace

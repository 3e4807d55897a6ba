#include "core/policy_merge.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "core/app_state.h"
#include "core/settings_test_support.h"

namespace {

RawPolicyValue Dword(std::uint32_t value) { return RawPolicyValue{true, REGISTRY_TYPE_DWORD, 4, value}; }

RawPolicies With(PolicyValue v, RawPolicyValue raw) {
  RawPolicies all{};
  all[static_cast<std::size_t>(v)] = raw;
  return all;
}

Policies Only(PolicyValue v, std::uint32_t value) { return DecidePolicies(With(v, Dword(value))); }

std::wstring InForceText(const Policies& p, std::size_t capacity = 300) {
  std::wstring buffer(capacity, L'#');
  FormatPoliciesInForce(std::span<wchar_t>(buffer.data(), capacity), p);
  return buffer.c_str();
}

TEST(PolicyMerge, EachValueIsTakenAtBothEndsOfItsRangeAndIgnoredJustOutsideOrOfAnotherType) {
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    const auto v = static_cast<PolicyValue>(i);
    const PolicyValueName& name = POLICY_VALUES[i];
    SCOPED_TRACE(testing::Message() << "value " << i);
    for (std::uint32_t good : {name.Lowest, name.Highest}) {
      const Policies p = Only(v, good);
      EXPECT_TRUE(p.Has(v));
      EXPECT_EQ(p.Of(v), good);
      EXPECT_TRUE(p.Any());
    }
    if (name.Lowest > 0) {
      EXPECT_FALSE(Only(v, name.Lowest - 1).Any());
    }
    EXPECT_FALSE(Only(v, name.Highest + 1).Any());
    EXPECT_FALSE(Only(v, 0xFFFFFFFFu).Any());
    // REG_SZ, REG_BINARY and REG_DWORD_BIG_ENDIAN of four bytes, REG_QWORD, a short REG_DWORD.
    for (const RawPolicyValue& bad : {RawPolicyValue{true, 1, 4, name.Lowest}, RawPolicyValue{true, 3, 4, name.Lowest},
                                      RawPolicyValue{true, 5, 4, name.Lowest}, RawPolicyValue{true, 11, 8, name.Lowest},
                                      RawPolicyValue{true, REGISTRY_TYPE_DWORD, 2, name.Lowest}}) {
      EXPECT_FALSE(DecidePolicies(With(v, bad)).Any()) << bad.Type;
    }
    // Absent: nothing, whatever the other fields say.
    EXPECT_FALSE(DecidePolicies(With(v, RawPolicyValue{false, REGISTRY_TYPE_DWORD, 4, name.Lowest})).Any());
  }
  EXPECT_FALSE(DecidePolicies(RawPolicies{}).Any());
}

TEST(PolicyMerge, EachPolicyReplacesOnlyWhatItDecides) {
  // No policy: the stored settings as they are, bits the dialog does not show included.
  EXPECT_EQ(MergePolicies(SetupAndWait(0xC5, 321), Policies{}), SetupAndWait(0xC5, 321));

  // The method: both method bits replaced, whatever was stored (both, one or none).
  for (std::uint32_t stored : {0x00u, 0x0Fu, 0x1Bu, 0x3Fu, 0xD4u}) {
    SCOPED_TRACE(stored);
    const std::uint32_t others = stored & ~(SETUP_HOLD_STILL | SETUP_FUNCTION_BUTTON);
    const auto method = [&](std::uint32_t value) {
      return MergePolicies(SetupAndWait(stored, 100), Only(PolicyValue::RightClickMethod, value));
    };
    EXPECT_EQ(method(0)[StoredSetting::ButtonSetup], others);
    EXPECT_EQ(method(1)[StoredSetting::ButtonSetup], others | SETUP_HOLD_STILL);
    EXPECT_EQ(method(2)[StoredSetting::ButtonSetup], others | SETUP_FUNCTION_BUTTON);
    EXPECT_EQ(method(2)[StoredSetting::WaitTime], 100u);
  }
  EXPECT_EQ(MergePolicies(SetupAndWait(15, 100), Only(PolicyValue::HoldTime, 50)), SetupAndWait(15, 50));
  EXPECT_EQ(MergePolicies(SetupAndWait(15, 999), Only(PolicyValue::HoldTime, 500)), SetupAndWait(15, 500));

  const std::array<std::pair<PolicyValue, std::uint32_t>, 4> switches = {{{PolicyValue::LeftClickSound, SETUP_LEFT_SOUND},
                                                                        {PolicyValue::RightClickSound, SETUP_RIGHT_SOUND},
                                                                        {PolicyValue::RightClickIndicator, SETUP_RIGHT_FLASH},
                                                                        {PolicyValue::ButtonOnceOnly, SETUP_ONCE_ONLY}}};
  for (const auto& [v, bit] : switches) {
    SCOPED_TRACE(bit);
    EXPECT_EQ(MergePolicies(SetupAndWait(0xFF, 100), Only(v, 0)), SetupAndWait(0xFF & ~bit, 100));
    EXPECT_EQ(MergePolicies(SetupAndWait(0x00, 100), Only(v, 1)), SetupAndWait(bit, 100));
    EXPECT_EQ(MergePolicies(SetupAndWait(bit, 100), Only(v, 1))[StoredSetting::ButtonSetup], bit);
  }
  // AllowSettingsChanges decides nothing in force.
  EXPECT_EQ(MergePolicies(SetupAndWait(0x2B, 250), Only(PolicyValue::AllowSettingsChanges, 0)),
            SetupAndWait(0x2B, 250));

  // All at once.
  RawPolicies all{};
  for (const auto& [v, value] : {std::pair{PolicyValue::RightClickMethod, 2u}, std::pair{PolicyValue::HoldTime, 150u},
                                 std::pair{PolicyValue::LeftClickSound, 0u}, std::pair{PolicyValue::RightClickSound, 1u},
                                 std::pair{PolicyValue::RightClickIndicator, 0u}, std::pair{PolicyValue::ButtonOnceOnly, 1u},
                                 std::pair{PolicyValue::AllowSettingsChanges, 1u}}) {
    all[static_cast<std::size_t>(v)] = Dword(value);
  }
  EXPECT_EQ(MergePolicies(SetupAndWait(0x0D, 100), DecidePolicies(all)),
            SetupAndWait(SETUP_FUNCTION_BUTTON | SETUP_RIGHT_SOUND | SETUP_ONCE_ONLY, 150));
}

// Every row of the policy table is followed as its kind says, whichever setting it decides: a switch
// sets or clears its bit, the method puts its own bits whatever was stored, a number replaces the
// whole value, the lock decides no value; nothing else of the record changes, and the dialog locks
// exactly what the row decides. A new row that the merge does not follow fails here.
TEST(PolicyMerge, EveryRowIsFollowedAsItsKindSays) {
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) {
    const PolicyRow& row = POLICY_ROWS[i];
    const PolicyValueName& accepted = POLICY_VALUES[i];
    SCOPED_TRACE(testing::Message() << "row " << i);
    // The stored words all clear or all set; a number just outside what the policy accepts, so
    // that no policy value is already there.
    for (const std::uint32_t word : {0u, 0xFFFFFFFFu}) {
      SettingValues stored = SettingValues::Filled(word);
      for (StoredSetting s : STORED_SETTINGS) {
        if (!HoldsBits(s)) stored[s] = accepted.Highest + 1;
      }
      for (const std::uint32_t value : {accepted.Lowest, accepted.Highest}) {
        const Policies policies = Only(row.Policy, value);
        const SettingValues merged = MergePolicies(stored, policies);
        for (StoredSetting s : STORED_SETTINGS) {
          if (s != row.Setting || row.Kind == PolicyKind::Lock) {
            EXPECT_EQ(merged[s], stored[s]);
          }
          const bool decides = (s == row.Setting && row.Kind != PolicyKind::Lock) ||
                               (row.Kind == PolicyKind::Lock && value == 0);
          const std::uint32_t part = row.Kind == PolicyKind::Number || row.Kind == PolicyKind::Lock ? EditablePart(s)
                                                                                                    : row.Bits;
          EXPECT_EQ(DecidedPart(policies, s), decides ? part : 0u);
        }
        const std::uint32_t before = stored[row.Setting];
        const std::uint32_t after = merged[row.Setting];
        switch (row.Kind) {
          case PolicyKind::Switch: EXPECT_EQ(after, value != 0 ? before | row.Bits : before & ~row.Bits); break;
          case PolicyKind::Method:
            // None at the lowest value, otherwise one of the method bits, whatever was stored.
            EXPECT_EQ(after & ~row.Bits, before & ~row.Bits);
            if (value == accepted.Lowest) {
              EXPECT_EQ(after & row.Bits, 0u);
            } else {
              EXPECT_NE(after & row.Bits, 0u);
              EXPECT_NE(after & row.Bits, row.Bits);
            }
            break;
          case PolicyKind::Number: EXPECT_EQ(after, value); break;
          case PolicyKind::Lock: break;
        }
      }
    }
  }
}

TEST(PolicyMerge, TheDialogLocksWhatAPolicyDecidesAndEverythingWithoutSettingsChanges) {
  EXPECT_EQ(DecidedPart(Policies{}, StoredSetting::ButtonSetup), 0u);
  EXPECT_EQ(DecidedPart(Policies{}, StoredSetting::WaitTime), 0u);
  EXPECT_EQ(DecidedPart(Only(PolicyValue::RightClickMethod, 0), StoredSetting::ButtonSetup),
            SETUP_HOLD_STILL | SETUP_FUNCTION_BUTTON);
  EXPECT_EQ(DecidedPart(Only(PolicyValue::RightClickMethod, 0), StoredSetting::WaitTime), 0u);
  EXPECT_EQ(DecidedPart(Only(PolicyValue::HoldTime, 100), StoredSetting::ButtonSetup), 0u);
  EXPECT_EQ(DecidedPart(Only(PolicyValue::HoldTime, 100), StoredSetting::WaitTime), 0xFFFFFFFFu);
  EXPECT_EQ(DecidedPart(Only(PolicyValue::LeftClickSound, 0), StoredSetting::ButtonSetup), SETUP_LEFT_SOUND);
  EXPECT_EQ(DecidedPart(Only(PolicyValue::RightClickSound, 1), StoredSetting::ButtonSetup), SETUP_RIGHT_SOUND);
  EXPECT_EQ(DecidedPart(Only(PolicyValue::RightClickIndicator, 0), StoredSetting::ButtonSetup), SETUP_RIGHT_FLASH);
  EXPECT_EQ(DecidedPart(Only(PolicyValue::ButtonOnceOnly, 1), StoredSetting::ButtonSetup), SETUP_ONCE_ONLY);

  EXPECT_FALSE(SettingsLocked(Only(PolicyValue::AllowSettingsChanges, 1)));
  EXPECT_EQ(DecidedPart(Only(PolicyValue::AllowSettingsChanges, 1), StoredSetting::ButtonSetup), 0u);
  EXPECT_EQ(DecidedPart(Only(PolicyValue::AllowSettingsChanges, 1), StoredSetting::WaitTime), 0u);
  EXPECT_TRUE(SettingsLocked(Only(PolicyValue::AllowSettingsChanges, 0)));
  EXPECT_EQ(DecidedPart(Only(PolicyValue::AllowSettingsChanges, 0), StoredSetting::ButtonSetup), SETUP_DIALOG_BITS);
  EXPECT_EQ(DecidedPart(Only(PolicyValue::AllowSettingsChanges, 0), StoredSetting::WaitTime), 0xFFFFFFFFu);
  // An ignored AllowSettingsChanges locks nothing.
  EXPECT_FALSE(SettingsLocked(DecidePolicies(With(PolicyValue::AllowSettingsChanges, RawPolicyValue{true, 1, 4, 0}))));
}

TEST(PolicyMerge, TheControllerIsToldOnlyWhenTheMethodOrTheHoldTimeInForceChanges) {
  EXPECT_FALSE(SetupCommandNeeded(SetupAndWait(15, 100), SetupAndWait(15, 100)));
  EXPECT_FALSE(SetupCommandNeeded(SetupAndWait(15, 100), SetupAndWait(0x0C, 100)));  // sounds only
  EXPECT_FALSE(SetupCommandNeeded(SetupAndWait(15, 100), SetupAndWait(0x2F | 0x40, 100)));
  EXPECT_TRUE(SetupCommandNeeded(SetupAndWait(15, 100), SetupAndWait(0x0B, 100)));
  EXPECT_TRUE(SetupCommandNeeded(SetupAndWait(0x0B, 100), SetupAndWait(0x1B, 100)));
  EXPECT_TRUE(SetupCommandNeeded(SetupAndWait(0x1B, 100), SetupAndWait(0x0F, 100)));
  EXPECT_TRUE(SetupCommandNeeded(SetupAndWait(15, 100), SetupAndWait(15, 101)));
}

TEST(PolicyMerge, AnIgnoredValueIsReportedOncePerDistinctBadValue) {
  IgnoredPolicyMemory memory;
  std::array<bool, POLICY_COUNT> fresh{};
  const std::size_t hold = static_cast<std::size_t>(PolicyValue::HoldTime);
  const std::size_t sound = static_cast<std::size_t>(PolicyValue::LeftClickSound);

  EXPECT_EQ(TakeNewlyIgnored(memory, RawPolicies{}, fresh), 0u);
  RawPolicies raw{};
  raw[hold] = Dword(20);
  raw[sound] = Dword(1);
  raw[0] = Dword(3);  // the first name counts as the others do
  EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 2u);
  EXPECT_TRUE(fresh[hold]);
  EXPECT_TRUE(fresh[0]);
  EXPECT_FALSE(fresh[sound]);
  raw[0] = RawPolicyValue{};
  // Read again (any change under the policies' key): nothing new.
  EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 0u);
  EXPECT_FALSE(fresh[hold]);
  // Another bad value, then another type: each is new.
  raw[hold] = Dword(501);
  EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 1u);
  raw[hold] = RawPolicyValue{true, 1, 4, 501};
  EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 1u);
  raw[sound] = RawPolicyValue{true, 11, 8, 1};
  EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 1u);
  EXPECT_TRUE(fresh[sound]);
  EXPECT_FALSE(fresh[hold]);
  // Fixed, or removed, for a while (a refresh rewriting the values), then the same bad values
  // again: nothing new, for the whole run.
  raw[hold] = Dword(100);
  raw[sound] = RawPolicyValue{};
  EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 0u);
  raw[hold] = RawPolicyValue{true, 1, 4, 501};
  raw[sound] = RawPolicyValue{true, 11, 8, 1};
  EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 0u);
  raw[hold] = Dword(20);
  EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 0u);
  // Each name keeps its last eight distinct bad values; a ninth forgets the oldest.
  for (std::uint32_t bad = 600; bad < 605; ++bad) {
    raw[hold] = Dword(bad);
    EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 1u) << bad;
  }
  for (std::uint32_t bad : {20u, 501u, 600u, 604u}) {
    raw[hold] = Dword(bad);
    EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 0u) << bad;
  }
  raw[hold] = Dword(605);
  EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 1u);
  raw[hold] = Dword(20);
  EXPECT_EQ(TakeNewlyIgnored(memory, raw, fresh), 1u);
  EXPECT_TRUE(fresh[hold]);
}

// A refresh's deletions and writes come some milliseconds apart: the read waits for quiet, but
// never longer than the cap after the first change.
TEST(PolicyMerge, ThePolicyWatchReadsOnceQuietOrAtTheCap) {
  EXPECT_EQ(PolicyReadDelay(0, 0), POLICY_QUIET_MS);
  EXPECT_EQ(PolicyReadDelay(300, 100), POLICY_QUIET_MS - 100);
  EXPECT_EQ(PolicyReadDelay(900, POLICY_QUIET_MS - 1), 1u);
  EXPECT_EQ(PolicyReadDelay(900, POLICY_QUIET_MS), 0u);
  EXPECT_EQ(PolicyReadDelay(900, POLICY_QUIET_MS + 200), 0u);
  EXPECT_EQ(PolicyReadDelay(POLICY_QUIET_CAP_MS + 100, 0), 0u);
  EXPECT_EQ(PolicyReadDelay(POLICY_QUIET_CAP_MS - 200, 0), 200u);
  EXPECT_EQ(PolicyReadDelay(POLICY_QUIET_CAP_MS, 0), 0u);
}

TEST(PolicyMerge, PoliciesInForceAreNamedWithTheirValuesInOneString) {
  EXPECT_EQ(InForceText(Policies{}), L"none");
  EXPECT_EQ(InForceText(Only(PolicyValue::HoldTime, 150)), L"HoldTime=150");
  RawPolicies all{};
  for (std::size_t i = 0; i < POLICY_COUNT; ++i) all[i] = Dword(POLICY_VALUES[i].Highest);
  all[static_cast<std::size_t>(PolicyValue::LeftClickSound)] = Dword(7);  // ignored: not named
  const std::wstring text = InForceText(DecidePolicies(all));
  EXPECT_EQ(text,
            L"RightClickMethod=2, HoldTime=500, RightClickSound=1, RightClickIndicator=1, ButtonOnceOnly=1, "
            L"AllowSettingsChanges=1");
  // Every value at its widest fits an event's insertion string (300 characters).
  all[static_cast<std::size_t>(PolicyValue::LeftClickSound)] = Dword(1);
  EXPECT_LT(InForceText(DecidePolicies(all)).size(), 299u);
  // A small buffer cuts and stays terminated.
  EXPECT_EQ(InForceText(DecidePolicies(all), 12), L"RightClickM");
}

TEST(PolicyMerge, AnIgnoredValueIsDescribedByWhatWasFoundAndWhatIsAccepted) {
  std::array<wchar_t, 200> line{};
  FormatIgnoredPolicy(line, PolicyValue::HoldTime, Dword(20));
  EXPECT_EQ(std::wstring(line.data()), L"Policy HoldTime=20 ignored: accepted 50-500\r\n");
  FormatIgnoredPolicy(line, PolicyValue::LeftClickSound, RawPolicyValue{true, 1, 10, 0});
  EXPECT_EQ(std::wstring(line.data()),
            L"Policy LeftClickSound ignored: registry type 1, 10 bytes; a REG_DWORD is expected\r\n");
}

}  // namespace

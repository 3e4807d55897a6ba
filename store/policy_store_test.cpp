// The policy store against the real registry of the test prefix.
#include "store/policy_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <vector>

namespace {

std::vector<BYTE> DwordBytes(std::uint32_t v) {
  return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 24)};
}

// Policies are read as they are: the type and size of what is not a REG_DWORD, nothing for a
// missing key or value, and never a key made. (SOFTWARE\Policies is one key in both views.)
TEST(PolicyStore, ReadsThe64BitViewAsTheRegistryHoldsIt) {
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, POLICY_KEY, view, 0);
  for (const RawPolicyValue& raw : ReadPolicies()) EXPECT_FALSE(raw.Present);
  HKEY probe = nullptr;
  EXPECT_NE(RegOpenKeyExW(HKEY_LOCAL_MACHINE, POLICY_KEY, 0, KEY_READ | KEY_WOW64_64KEY, &probe), ERROR_SUCCESS);

  auto set = [](REGSAM view, const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, POLICY_KEY, 0, nullptr, 0, KEY_SET_VALUE | view, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
    RegCloseKey(key);
  };
  set(KEY_WOW64_64KEY, L"RightClickMethod", REG_DWORD, DwordBytes(2));
  set(KEY_WOW64_64KEY, L"LeftClickSound", REG_SZ, {'1', 0, 0, 0, 0, 0});
  set(KEY_WOW64_64KEY, L"RightClickSound", REG_QWORD, {1, 0, 0, 0, 0, 0, 0, 0});
  set(KEY_WOW64_64KEY, L"ButtonOnceOnly", REG_BINARY, {1, 0});

  const RawPolicies raw = ReadPolicies();
  EXPECT_EQ(raw[static_cast<std::size_t>(PolicyValue::RightClickMethod)], (RawPolicyValue{true, REG_DWORD, 4, 2}));
  EXPECT_FALSE(raw[static_cast<std::size_t>(PolicyValue::HoldTime)].Present);
  EXPECT_EQ(raw[static_cast<std::size_t>(PolicyValue::LeftClickSound)], (RawPolicyValue{true, REG_SZ, 6, 0}));
  EXPECT_EQ(raw[static_cast<std::size_t>(PolicyValue::RightClickSound)], (RawPolicyValue{true, REG_QWORD, 8, 0}));
  EXPECT_EQ(raw[static_cast<std::size_t>(PolicyValue::ButtonOnceOnly)], (RawPolicyValue{true, REG_BINARY, 2, 1}));
  EXPECT_FALSE(raw[static_cast<std::size_t>(PolicyValue::AllowSettingsChanges)].Present);
  const Policies decided = DecidePolicies(raw);
  EXPECT_TRUE(decided.Has(PolicyValue::RightClickMethod));
  EXPECT_FALSE(decided.Has(PolicyValue::LeftClickSound));

  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, POLICY_KEY, view, 0);
}

}  // namespace

// The settings store against the real registry of the test prefix.
#include "store/settings_store.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <vector>

namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Vemto\\Brenlo";

void DeleteKeyInBothViews() {
  for (REGSAM view : {KEY_WOW64_32KEY, KEY_WOW64_64KEY}) RegDeleteKeyExW(HKEY_LOCAL_MACHINE, kKey, view, 0);
}

bool KeyExists(REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

struct RawValue {
  LSTATUS status = ERROR_FILE_NOT_FOUND;
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
};

RawValue QueryRaw(const wchar_t* name) {
  RawValue v;
  HKEY key = nullptr;
  v.status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_READ | KEY_WOW64_32KEY, &key);
  if (v.status != ERROR_SUCCESS) return v;
  v.data.resize(64);
  DWORD size = static_cast<DWORD>(v.data.size());
  v.status = RegQueryValueExW(key, name, nullptr, &v.type, v.data.data(), &size);
  v.data.resize(v.status == ERROR_SUCCESS ? size : 0);
  RegCloseKey(key);
  return v;
}

void SetRaw(const wchar_t* name, DWORD type, const std::vector<BYTE>& data) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key,
                            nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExW(key, name, 0, type, data.data(), static_cast<DWORD>(data.size())), ERROR_SUCCESS);
  RegCloseKey(key);
}

std::vector<BYTE> DwordBytes(std::uint32_t v) {
  return {static_cast<BYTE>(v), static_cast<BYTE>(v >> 8), static_cast<BYTE>(v >> 16), static_cast<BYTE>(v >> 24)};
}

class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { DeleteKeyInBothViews(); }
  void TearDown() override { DeleteKeyInBothViews(); }
};

TEST_F(SettingsStore, FirstReadCreatesTheKeyInThe32BitViewAndStoresOnlyThatDefault) {
  ASSERT_FALSE(KeyExists(KEY_WOW64_32KEY));
  EXPECT_EQ(ReadSetting(L"ButtonSetup", 15), 15u);
  EXPECT_TRUE(KeyExists(KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(KEY_WOW64_64KEY));
  RawValue setup = QueryRaw(L"ButtonSetup");
  ASSERT_EQ(setup.status, ERROR_SUCCESS);
  EXPECT_EQ(setup.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(setup.data, DwordBytes(15));

  // The key exists now: a missing value gives the default and nothing is stored.
  EXPECT_EQ(ReadSetting(L"WaitTime", 100), 100u);
  EXPECT_EQ(QueryRaw(L"WaitTime").status, ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(ReadSetting(L"WaitTime", 230), 230u);  // the caller's default, whatever it is
  EXPECT_EQ(QueryRaw(L"WaitTime").status, ERROR_FILE_NOT_FOUND);
}

TEST_F(SettingsStore, WriteCreatesTheKeyAndReadReturnsStoredNumbersUnchecked) {
  WriteSetting(L"WaitTime", 1234);  // outside the slider's range: the store does not care
  ASSERT_TRUE(KeyExists(KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(KEY_WOW64_64KEY));
  RawValue wait = QueryRaw(L"WaitTime");
  EXPECT_EQ(wait.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(wait.data, DwordBytes(1234));
  EXPECT_EQ(ReadSetting(L"WaitTime", 100), 1234u);
  EXPECT_EQ(QueryRaw(L"ButtonSetup").status, ERROR_FILE_NOT_FOUND);  // the key was there: no default stored

  WriteSetting(L"ButtonSetup", 0x7F);  // bits above 0x20 are stored as given
  EXPECT_EQ(ReadSetting(L"ButtonSetup", 15), 0x7Fu);
}

TEST_F(SettingsStore, ValuesThatDoNotFitInFourBytesGiveTheDefault) {
  SetRaw(L"ButtonSetup", REG_SZ, {'1', 0, '5', 0, 0, 0});
  SetRaw(L"WaitTime", REG_BINARY, {1, 2, 3, 4, 5, 6, 7, 8});
  EXPECT_EQ(ReadSetting(L"ButtonSetup", 15), 15u);
  EXPECT_EQ(ReadSetting(L"WaitTime", 100), 100u);
  // Reading stores nothing over them.
  EXPECT_EQ(QueryRaw(L"ButtonSetup").type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(QueryRaw(L"WaitTime").data.size(), 8u);

  // A write replaces them with a REG_DWORD.
  WriteSetting(L"WaitTime", 300);
  RawValue wait = QueryRaw(L"WaitTime");
  EXPECT_EQ(wait.type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(wait.data, DwordBytes(300));
  EXPECT_EQ(ReadSetting(L"WaitTime", 100), 300u);
}

TEST_F(SettingsStore, FourBytesOfAnyTypeReadAsANumberAndShortDataIsZeroFilled) {
  SetRaw(L"ButtonSetup", REG_BINARY, {0x12, 0x34, 0x56, 0x78});
  EXPECT_EQ(ReadSetting(L"ButtonSetup", 15), 0x78563412u);
  SetRaw(L"ButtonSetup", REG_SZ, {'A', 0, 0, 0});  // a one-letter string is four bytes too
  EXPECT_EQ(ReadSetting(L"ButtonSetup", 15), 0x00000041u);

  SetRaw(L"WaitTime", REG_BINARY, {0xC8, 0x01});
  EXPECT_EQ(ReadSetting(L"WaitTime", 0xFFFFFF00u), 0x000001C8u);
  SetRaw(L"WaitTime", REG_BINARY, {0xAB});
  EXPECT_EQ(ReadSetting(L"WaitTime", 100), 0x000000ABu);
  SetRaw(L"WaitTime", REG_BINARY, {});
  EXPECT_EQ(ReadSetting(L"WaitTime", 100), 0u);
}

TEST_F(SettingsStore, AllBitsSetReadsAsTheFailureMarker) {
  SetRaw(L"ButtonSetup", REG_DWORD, DwordBytes(0xFFFFFFFFu));
  EXPECT_EQ(ReadSetting(L"ButtonSetup", 15), SETTING_UNAVAILABLE);
  EXPECT_EQ(static_cast<std::int32_t>(ReadSetting(L"ButtonSetup", 15)), -1);
}

// Handles open in this process, found by asking the system about each small handle value.
int CountOpenHandles() {
  int count = 0;
  for (UINT_PTR value = 4; value < 0x10000; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

TEST_F(SettingsStore, RepeatedCallsKeepNoKeyOpen) {
  const int before = CountOpenHandles();
  for (int i = 0; i < 100; ++i) {
    WriteSetting(L"WaitTime", static_cast<std::uint32_t>(i));
    ReadSetting(L"WaitTime", 100);
    ReadSetting(L"Missing", 1);
  }
  for (int i = 0; i < 20; ++i) {
    DeleteKeyInBothViews();
    ReadSetting(L"ButtonSetup", 15);  // creates the key
    DeleteKeyInBothViews();
    WriteSetting(L"WaitTime", 100);  // creates the key
  }
  EXPECT_LE(CountOpenHandles(), before + 2);
}

// HKEY_LOCAL_MACHINE redirected to a volatile key: the settings key does not exist below it, and
// a lasting key cannot be created below a volatile one, so the key can be neither opened nor
// created.
class SettingsStoreWithoutKey : public SettingsStore {
 protected:
  static constexpr wchar_t kSandbox[] = L"Software\\OstinelStoreTest";

  void SetUp() override {
    SettingsStore::SetUp();
    RegDeleteTreeW(HKEY_CURRENT_USER, kSandbox);
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSandbox, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &sandbox_, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, sandbox_), ERROR_SUCCESS);
    overridden_ = true;
  }

  void TearDown() override {
    if (overridden_) RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
    if (sandbox_) RegCloseKey(sandbox_);
    RegDeleteTreeW(HKEY_CURRENT_USER, kSandbox);
    SettingsStore::TearDown();
  }

  DWORD SandboxSubkeys() {
    DWORD subkeys = 0;
    RegQueryInfoKeyW(sandbox_, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr, nullptr,
                     nullptr, nullptr);
    return subkeys;
  }

  HKEY sandbox_ = nullptr;
  bool overridden_ = false;
};

TEST_F(SettingsStoreWithoutKey, ReadGivesMinusOneAndWriteWritesNothing) {
  // The redirection is real: a lasting key cannot be made where the store would make it.
  HKEY probe = nullptr;
  EXPECT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE", 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr,
                            &probe, nullptr),
            ERROR_CHILD_MUST_BE_VOLATILE);

  EXPECT_EQ(ReadSetting(L"ButtonSetup", 15), SETTING_UNAVAILABLE);
  EXPECT_EQ(ReadSetting(L"WaitTime", 100), SETTING_UNAVAILABLE);
  WriteSetting(L"ButtonSetup", 3);
  WriteSetting(L"WaitTime", 200);
  EXPECT_EQ(SandboxSubkeys(), 0u);

  RegOverridePredefKey(HKEY_LOCAL_MACHINE, nullptr);
  overridden_ = false;
  EXPECT_FALSE(KeyExists(KEY_WOW64_32KEY));
  EXPECT_FALSE(KeyExists(KEY_WOW64_64KEY));
}

// A key that the user may read but not change: reads work, writes are dropped.
TEST_F(SettingsStore, ReadOnlyKeyStillReadsAndDropsWrites) {
  SetRaw(L"ButtonSetup", REG_DWORD, DwordBytes(0x13));
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, WRITE_DAC | KEY_WOW64_32KEY, &key), ERROR_SUCCESS);
  // Everyone may read; nobody may change values or create subkeys.
  SECURITY_DESCRIPTOR sd;
  InitializeSecurityDescriptor(&sd, SECURITY_DESCRIPTOR_REVISION);
  alignas(DWORD) BYTE aclBuffer[256];
  ACL* acl = reinterpret_cast<ACL*>(aclBuffer);
  InitializeAcl(acl, sizeof(aclBuffer), ACL_REVISION);
  SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
  PSID everyone = nullptr;
  AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
  AddAccessAllowedAce(acl, ACL_REVISION, KEY_READ, everyone);
  SetSecurityDescriptorDacl(&sd, TRUE, acl, FALSE);
  ASSERT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd), ERROR_SUCCESS);
  RegCloseKey(key);
  FreeSid(everyone);

  HKEY probe = nullptr;
  const LSTATUS writable = RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &probe);
  if (probe) RegCloseKey(probe);
  EXPECT_EQ(writable, ERROR_ACCESS_DENIED);

  EXPECT_EQ(ReadSetting(L"ButtonSetup", 15), 0x13u);
  EXPECT_EQ(ReadSetting(L"WaitTime", 100), 100u);
  WriteSetting(L"ButtonSetup", 0x21);
  EXPECT_EQ(ReadSetting(L"ButtonSetup", 15), 0x13u);

  // Give the key back to everyone so that it can be removed.
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, WRITE_DAC | KEY_WOW64_32KEY, &key), ERROR_SUCCESS);
  SetSecurityDescriptorDacl(&sd, TRUE, nullptr, FALSE);
  RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, &sd);
  RegCloseKey(key);
}

}  // namespace

#include "win/win_handles.h"

#include <gtest/gtest.h>

namespace {
bool IsOpenHandle(HANDLE h) {
  DWORD flags = 0;
  return GetHandleInformation(h, &flags) != 0;
}
}  // namespace

TEST(WinHandles, OwnerClosesOnScopeExitResetAndMove) {
  HANDLE raw = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_TRUE(IsOpenHandle(raw));
  {
    UniqueHandle owner(raw);
    UniqueHandle moved(std::move(owner));
    EXPECT_FALSE(owner);
    EXPECT_TRUE(moved);
    EXPECT_TRUE(IsOpenHandle(raw));
  }
  EXPECT_FALSE(IsOpenHandle(raw));

  HANDLE kept = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  {
    UniqueHandle owner(kept);
    EXPECT_EQ(owner.release(), kept);
  }
  EXPECT_TRUE(IsOpenHandle(kept));
  UniqueHandle again(kept);
  again.reset();
  EXPECT_FALSE(IsOpenHandle(kept));
}

TEST(WinHandles, SelectGuardPutsThePreviousObjectBack) {
  UniqueMemoryDc dc(CreateCompatibleDC(nullptr));
  ASSERT_TRUE(dc);
  UniqueGdiObject bitmap(CreateCompatibleBitmap(dc.get(), 4, 4));
  const HGDIOBJ before = GetCurrentObject(dc.get(), OBJ_BITMAP);
  {
    ScopedSelect select(dc.get(), bitmap.get());
    EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BITMAP), bitmap.get());
  }
  EXPECT_EQ(GetCurrentObject(dc.get(), OBJ_BITMAP), before);
}

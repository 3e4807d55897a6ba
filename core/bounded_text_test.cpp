#include "core/bounded_text.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

#include "core/app_state.h"

TEST(BoundedText, NeverWritesPastItsBuffer) {
  std::array<wchar_t, 8> buf;
  buf.fill(L'#');
  std::array<wchar_t, 6> inner{};
  // Format into the first 6 of 8: the last two must stay untouched.
  FormatBounded(std::span<wchar_t>(buf.data(), 6), L"%ls-%d", L"abcdefgh", 42);
  EXPECT_EQ(std::wstring(buf.data()), L"abcde");
  EXPECT_EQ(buf[6], L'#');
  EXPECT_EQ(buf[7], L'#');
  // Append to an unterminated buffer repairs it and adds nothing.
  inner.fill(L'z');
  EXPECT_EQ(AppendBounded(inner, L"q"), 0u);
  EXPECT_EQ(inner[5], L'\0');
  // Exact fit: "Exit" fills a five-character field.
  std::array<wchar_t, 5> caption{};
  EXPECT_EQ(AppendBounded(caption, L"Exit"), 4u);
  EXPECT_EQ(std::wstring(caption.data()), L"Exit");
  // An empty field takes nothing, not even a terminator in front of it.
  buf.fill(L'#');
  const std::span<wchar_t> none(buf.data() + 1, 0);
  FormatBounded(none, L"%d", 7);
  EXPECT_EQ(AppendBounded(none, L"q"), 0u);
  EXPECT_EQ(buf[0], L'#');
  EXPECT_EQ(buf[1], L'#');
}

TEST(BoundedText, FormatsDecimalsAndOneDecimalSeconds) {
  std::array<wchar_t, 20> label{};
  FormatBounded(label, L"%.1f %ls", WaitTimeSeconds(100), L"sec");
  EXPECT_EQ(std::wstring(label.data()), L"1.0 sec");
  FormatBounded(label, L"%.1f %ls", WaitTimeSeconds(455), L"\u79D2");
  EXPECT_EQ(std::wstring(label.data()), L"4.5 \u79D2");  // 4.55 rounds to even in binary
  // Every 32-bit value fits (cut) in 20 characters.
  FormatBounded(label, L"%.1f %ls", WaitTimeSeconds(-2147483647 - 1), L"sec");
  EXPECT_EQ(std::wstring(label.data()), L"-21474836.5 sec");
}

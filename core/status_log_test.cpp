#include "core/status_log.h"

#include <gtest/gtest.h>

#include <string>

namespace {
std::wstring Log(const AppStateRecord& s) { return s.LogText.data(); }
}  // namespace

TEST(StatusLog, LinesAppendInOrderWithTheirArguments) {
  AppStateRecord s;
  LogLine(s, L"Vemto Kavrix Screen sound out program\r\n");
  LogLine(s, L"Cannot open error %d\r\n", 2);
  LogLine(s, L"Error: %ls", L"The system cannot find the file specified.\r\n");
  EXPECT_EQ(Log(s),
            L"Vemto Kavrix Screen sound out program\r\nCannot open error 2\r\n"
            L"Error: The system cannot find the file specified.\r\n");
  EXPECT_EQ(std::wstring(s.LineScratch.data()), L"Error: The system cannot find the file specified.\r\n");
  ClearLogText(s);
  EXPECT_EQ(Log(s), L"");
  LogLine(s, L"Read failed %d\r\n", -5);
  EXPECT_EQ(Log(s), L"Read failed -5\r\n");
}

TEST(StatusLog, OverlongLineIsCutAtTheScratchCapacity) {
  AppStateRecord s;
  // Sentinel right after the scratch buffer in the record would be caught by the sanitizers; here we
  // check the cut itself: 511 characters and a terminator.
  const std::wstring longText(2000, L'x');
  LogLine(s, L"Error: %ls", longText.c_str());
  const std::wstring line = s.LineScratch.data();
  EXPECT_EQ(line.size(), LINE_SCRATCH_CAPACITY - 1);
  EXPECT_EQ(line.substr(0, 7), L"Error: ");
  EXPECT_EQ(Log(s), line);
}

TEST(StatusLog, FullLogIsCutAndStaysTerminated) {
  AppStateRecord s;
  const std::wstring chunk(500, L'a');
  for (int i = 0; i < 30; ++i) LogLine(s, L"%ls", chunk.c_str());  // 15000 characters offered
  EXPECT_EQ(Log(s).size(), LOG_TEXT_CAPACITY - 1);
  EXPECT_EQ(s.LogText[LOG_TEXT_CAPACITY - 1], L'\0');
  LogLine(s, L"Connect OK!\r\n");  // a full log takes nothing more
  EXPECT_EQ(Log(s).size(), LOG_TEXT_CAPACITY - 1);
  EXPECT_EQ(Log(s).find(L"Connect"), std::wstring::npos);
  ClearLogText(s);
  LogLine(s, L"Connect OK!\r\n");
  EXPECT_EQ(Log(s), L"Connect OK!\r\n");
}

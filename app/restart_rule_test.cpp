#include "app/restart_rule.h"

#include <gtest/gtest.h>

namespace {

TEST(RestartRule, OnlyTheRegistrationsArgumentMarksARestart) {
  // As Windows Error Reporting starts the program again (path quoted or not), blanks around.
  EXPECT_TRUE(IsRestartCommandLine(L"\"C:\\Program Files\\Ostinel\\Ostinel.exe\" /restarted"));
  EXPECT_TRUE(IsRestartCommandLine(L"C:\\Ostinel\\Ostinel.exe /restarted"));
  EXPECT_TRUE(IsRestartCommandLine(L"Ostinel.exe\t /restarted \t"));
  EXPECT_TRUE(IsRestartCommandLine(L"\"Ostinel.exe\"/restarted"));

  // The logon starts pass nothing; anything else is not a restart.
  EXPECT_FALSE(IsRestartCommandLine(nullptr));
  EXPECT_FALSE(IsRestartCommandLine(L""));
  EXPECT_FALSE(IsRestartCommandLine(L"\"C:\\Program Files\\Ostinel\\Ostinel.exe\""));
  EXPECT_FALSE(IsRestartCommandLine(L"\"C:\\Program Files\\Ostinel\\Ostinel.exe\" "));
  EXPECT_FALSE(IsRestartCommandLine(L"C:\\Ostinel\\Ostinel.exe"));
  EXPECT_FALSE(IsRestartCommandLine(L"/restarted"));  // the path alone, named like the argument
  EXPECT_FALSE(IsRestartCommandLine(L"\"C:\\a /restarted\\Ostinel.exe\""));
  EXPECT_FALSE(IsRestartCommandLine(L"\"C:\\a b\\Ostinel.exe\" /restarted x"));
  EXPECT_FALSE(IsRestartCommandLine(L"Ostinel.exe /restarted2"));
  EXPECT_FALSE(IsRestartCommandLine(L"Ostinel.exe /restart"));
  EXPECT_FALSE(IsRestartCommandLine(L"Ostinel.exe /RESTARTED"));
  EXPECT_FALSE(IsRestartCommandLine(L"Ostinel.exe x /restarted"));
  EXPECT_FALSE(IsRestartCommandLine(L"\"Ostinel.exe"));  // a quote never closed holds everything
}

TEST(RestartRule, RegisteredWhileRunningWithdrawnWhileTheSessionEndsNeverForAFailedStart) {
  EXPECT_EQ(DecideRestartCall(RestartMoment::StartUpDone, false), RestartCall::Register);
  EXPECT_EQ(DecideRestartCall(RestartMoment::SessionEnding, false), RestartCall::Withdraw);
  EXPECT_EQ(DecideRestartCall(RestartMoment::SessionEndCalledOff, false), RestartCall::Register);
  for (RestartMoment moment :
       {RestartMoment::StartUpDone, RestartMoment::SessionEnding, RestartMoment::SessionEndCalledOff}) {
    EXPECT_EQ(DecideRestartCall(moment, true), RestartCall::None);
  }
}

}  // namespace

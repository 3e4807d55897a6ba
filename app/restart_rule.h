// When Windows Error Reporting may start the program again after a crash or a hang, decided
// without Windows: the registration is made once start-up has succeeded, withdrawn while the
// session ends (the Run value or the logon task starts the program at the next logon, and a second
// start would find the first copy), and made again when the end of the session is called off. A
// start that failed is never registered. The registration passes one argument, which tells a
// restart from any other start.
#pragma once

#include <cstdint>

// The argument the registration passes; no other start passes it.
constexpr wchar_t RESTART_ARGUMENT[] = L"/restarted";

// Whether a command line (the program's path first, quoted or not, then the arguments) is a
// restart's: its only argument is RESTART_ARGUMENT. Blanks around it do not count.
bool IsRestartCommandLine(const wchar_t* commandLine);

enum class RestartMoment : std::uint8_t {
  StartUpDone,          // start-up ran to its end (StartFailed tells how)
  SessionEnding,        // WM_QUERYENDSESSION, or WM_ENDSESSION for an ending session
  SessionEndCalledOff,  // WM_ENDSESSION for a session that goes on
};

enum class RestartCall : std::uint8_t { None, Register, Withdraw };

RestartCall DecideRestartCall(RestartMoment moment, bool startFailed);

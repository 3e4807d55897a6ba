// The settings opener's portable decisions: what its command line asks for, its exit codes, the
// texts it shows when the utility is not running or cannot be reached, and the logon task's
// definition it writes for the installers.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "res/resource_ids.h"

// Class of the utility's hidden main window (its string resource IDS_CLASS_NAME).
constexpr const wchar_t* UTILITY_WINDOW_CLASS = MAIN_WINDOW_CLASS;

// Posted to the main window to open the settings dialog.
constexpr unsigned OPEN_SETTINGS_MESSAGE = WM_OPEN_SETTINGS;

enum OpenerAction : int {
  OPENER_OPEN_SETTINGS,           // no argument: ask the running utility to show its settings
  OPENER_GRANT_SETTINGS_ACCESS,   // /grant-settings-access: installer, let every user change settings
  OPENER_STOP_UTILITY,            // /stop-utility: installer and uninstaller, end running copies
  OPENER_DIAGNOSE,                // /diagnose [FILE]: the support report, to FILE or standard output
  OPENER_CREATE_LOGON_TASK,       // /create-logon-task: installers, the logon task for Ostinel.exe beside it
  OPENER_CHECK_INSTALL_FOLDER,    // /check-install-folder FOLDER: the setup, whether it may install there
  OPENER_LOCK_INSTALL_FOLDER,     // /lock-install-folder FOLDER: the setup, check, then create or lock it
  OPENER_INVALID_ARGUMENTS,
};

// Exit codes.
constexpr int OPENER_EXIT_OK = 0;
constexpr int OPENER_EXIT_NOT_RUNNING = 1;  // no utility to open the settings of (message shown)
constexpr int OPENER_EXIT_USAGE = 2;        // unknown argument; nothing done
constexpr int OPENER_EXIT_FAILED = 3;       // the action was refused by the system, or the utility did not answer
constexpr int OPENER_EXIT_UNTRUSTED = 4;    // an installer command refused: someone other than an
                                            // administrator could change its program or folder
constexpr int OPENER_EXIT_FOLDER_REFUSED = 5;  // the install folder is not one Ostinel may use (the
                                               // reason on standard output); nothing changed

// The action for the arguments that follow the program name. One switch at most, led by '/' or
// '-', letters in any case; surrounding quotes and blanks are ignored.
OpenerAction OpenerActionFromArguments(const wchar_t* arguments);

// The action with its operand: /diagnose may be followed by one file name, in quotes when it has
// blanks. No file name means standard output; a second switch or word is refused. The install
// folder commands need their folder, written the same way.
struct OpenerCommand {
  OpenerAction Action = OPENER_INVALID_ARGUMENTS;
  std::wstring ReportFile;
  std::wstring InstallFolder;
};
OpenerCommand OpenerCommandFromArguments(const wchar_t* arguments);

struct OpenerMessage {
  const wchar_t* Caption;
  const wchar_t* Text;
};

// "The utility is not running" in the interface language of the mode (a row of the language table;
// any other mode gives the language of every other locale, English).
OpenerMessage NotRunningMessage(std::int32_t languageMode);

// "The utility is running but could not be reached" (the request could not be delivered, or the
// utility did not answer), in the same languages.
OpenerMessage NotReachedMessage(std::int32_t languageMode);

// text with the characters XML reserves (& < > " ') written as entities.
std::wstring XmlEscaped(std::wstring_view text);

// The logon task's definition (installer/ostinel_task.xml) with programPath as its command.
std::wstring LogonTaskDefinition(std::wstring_view programPath);

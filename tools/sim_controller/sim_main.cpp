// SimController.exe: a simulated touch controller driven over stdin, for trying the program by hand
// and for scripts. Run it under the same Wine prefix as Ostinel.exe.
//
//   SimController.exe [--device NAME] [--pipe NAME] [--unplugged] [--idle MS]
//
// Commands on stdin, one a line: plug, unplug, disconnect, event <hex byte>, idle on [MS], idle off,
// hold on (commands held until the next event), hold off, quit. Every command received from the program is printed as "<unix time> recv 00 01 64 00";
// connections as "<unix time> connected" / "<unix time> disconnected".
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>

#include "tools/sim_controller/sim_controller.h"

namespace {

std::mutex OutputLock;

void Print(std::uint64_t micros, const std::string& text) {
  std::lock_guard<std::mutex> guard(OutputLock);
  std::printf("%llu.%06llu %s\n", static_cast<unsigned long long>(micros / 1000000),
              static_cast<unsigned long long>(micros % 1000000), text.c_str());
  std::fflush(stdout);
}

void OnCommand(void*, const SimCommand& command) { Print(command.UnixMicros, "recv " + SimHex(command.Bytes)); }

void OnConnection(void*, bool connected) { Print(SimNowMicros(), connected ? "connected" : "disconnected"); }

std::string Trim(const char* line) {
  std::string text(line);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  SimOptions options;
  options.OnCommand = OnCommand;
  options.OnConnection = OnConnection;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--device" && i + 1 < argc) {
      options.DeviceName = argv[++i];
    } else if (arg == L"--pipe" && i + 1 < argc) {
      options.PipeName = argv[++i];
    } else if (arg == L"--unplugged") {
      options.Plugged = false;
    } else if (arg == L"--idle" && i + 1 < argc) {
      options.IdleReads = true;
      options.IdleIntervalMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10));
    } else {
      std::fprintf(stderr, "usage: SimController [--device NAME] [--pipe NAME] [--unplugged] [--idle MS]\n");
      return 2;
    }
  }

  std::uint32_t error = 0;
  UniqueSim sim = StartSim(options, &error);
  if (!sim) {
    std::fprintf(stderr, "could not start the simulated controller: 0x%08X\n", error);
    return 1;
  }
  Print(SimNowMicros(), options.Plugged ? "plugged" : "unplugged");

  char line[256];
  while (std::fgets(line, sizeof line, stdin)) {
    const std::string command = Trim(line);
    if (command == "plug") {
      Print(SimNowMicros(), SimPlug(*sim) ? "plugged" : "plug failed");
    } else if (command == "unplug") {
      SimUnplug(*sim);
      Print(SimNowMicros(), "unplugged");
    } else if (command == "disconnect") {
      SimDisconnect(*sim);
      Print(SimNowMicros(), "dropped the connection");
    } else if (command.rfind("event ", 0) == 0) {
      const unsigned long value = std::strtoul(command.c_str() + 6, nullptr, 16);
      std::uint64_t sent = 0;
      const bool ok = SimSendEvent(*sim, static_cast<std::uint8_t>(value & 0xFF), &sent);
      char text[64];
      std::snprintf(text, sizeof text, ok ? "sent %02lX" : "not connected: %02lX not sent", value & 0xFF);
      Print(sent, text);
    } else if (command == "idle off") {
      SimSetIdle(*sim, false, 0);
      Print(SimNowMicros(), "idle reads held");
    } else if (command.rfind("idle on", 0) == 0) {
      const unsigned long ms = command.size() > 7 ? std::strtoul(command.c_str() + 7, nullptr, 10) : 50;
      SimSetIdle(*sim, true, static_cast<DWORD>(ms ? ms : 50));
      Print(SimNowMicros(), "idle reads completed");
    } else if (command == "hold on" || command == "hold off") {
      SimSetHoldCommands(*sim, command == "hold on");
      Print(SimNowMicros(), command == "hold on" ? "commands held until the next event" : "commands taken at once");
    } else if (command == "quit") {
      break;
    } else if (!command.empty()) {
      Print(SimNowMicros(), "unknown command: " + command);
    }
  }
  return 0;
}

// A simulated touch controller for running the real program under Wine.
//
// It registers a device interface of the controller's class (so the program's Setup API discovery
// finds it), links the discovered path \\?\root#<dev>#0000#{guid} to a named pipe through an
// object-namespace symbolic link, and serves that pipe on a thread of its own: everything the
// program writes is recorded (split into commands), and event bytes are written on request.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// One command as received: a setup (4 bytes from 00), a button command (2 bytes from 01), or a
// single byte that starts neither.
struct SimCommand {
  std::uint64_t UnixMicros = 0;  // when the bytes that completed it were read
  std::vector<std::uint8_t> Bytes;
};

struct SimOptions {
  std::wstring DeviceName = L"OSTSIM";     // ROOT\<DeviceName>\0000
  std::wstring PipeName = L"ostinel-sim";  // \\.\pipe\<PipeName>
  bool Plugged = true;                     // registered and listening from the start
  bool IdleReads = false;                  // complete idle reads with a 0 byte...
  DWORD IdleIntervalMs = 50;               // ...this often, while a program is connected
  // Commands held until the next touch: the controller takes what the program writes only after
  // it sends an event (one read per event), so the program's write stays pending meanwhile.
  bool HoldCommands = false;
  // Called on the pipe thread for every complete command received.
  void (*OnCommand)(void* context, const SimCommand& command) = nullptr;
  // Called on the pipe thread when a program connects (true) or its connection ends (false).
  void (*OnConnection)(void* context, bool connected) = nullptr;
  void* Context = nullptr;
};

struct SimController;
struct SimControllerDeleter {
  void operator()(SimController* sim) const;
};
using UniqueSim = std::unique_ptr<SimController, SimControllerDeleter>;

// Registers the interface, creates the link and starts the pipe thread. Empty on failure, with
// the reason in *error (a Win32 or NT status code) when given.
UniqueSim StartSim(const SimOptions& options, std::uint32_t* error = nullptr);

// The controller appears: the interface is linked again and the pipe listens.
bool SimPlug(SimController& sim);
// The controller disappears: the interface is unlinked and the pipe closed (the program's read fails).
void SimUnplug(SimController& sim);
// The driver drops the program's connection; the pipe listens again at once.
void SimDisconnect(SimController& sim);
// Writes one event byte to the connected program. False when no program is connected. *sentMicros
// receives the time just before the write.
bool SimSendEvent(SimController& sim, std::uint8_t eventByte, std::uint64_t* sentMicros = nullptr);
// Waits until the program has read every event byte written so far (the pipe's flush); False
// when no program is connected. *drainedMicros receives the time it returned.
bool SimWaitDrained(SimController& sim, std::uint64_t* drainedMicros = nullptr);
// Idle reads: completed with a 0 byte every intervalMs (on), or held until the next event (off).
void SimSetIdle(SimController& sim, bool on, DWORD intervalMs);
// Commands held until the next touch (on), or taken at once (off).
void SimSetHoldCommands(SimController& sim, bool on);

// What has arrived so far.
std::vector<std::uint8_t> SimReceivedBytes(SimController& sim);
std::vector<SimCommand> SimCommands(SimController& sim);
void SimClearReceived(SimController& sim);
int SimConnectionCount(SimController& sim);  // connections accepted so far
bool SimIsConnected(SimController& sim);

// The path the program's discovery returns for this controller.
std::wstring SimDevicePath(const SimController& sim);

// Now, in microseconds since 1970 (the same clock as Linux CLOCK_REALTIME under Wine).
std::uint64_t SimNowMicros();

// "00 01 64 00".
std::string SimHex(const std::vector<std::uint8_t>& bytes);

// Splits a byte stream into commands; bytes of an incomplete command stay in *partial.
void SimSplitCommands(std::vector<std::uint8_t>& partial, std::uint64_t unixMicros, std::vector<SimCommand>& out);

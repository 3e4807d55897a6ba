#include "tools/sim_controller/sim_controller.h"

#include <winternl.h>

#include <condition_variable>
#include <cstdio>
#include <cwctype>
#include <deque>
#include <mutex>
#include <thread>

extern "C" NTSTATUS NTAPI NtCreateSymbolicLinkObject(PHANDLE link, ACCESS_MASK access, POBJECT_ATTRIBUTES attributes,
                                                     PUNICODE_STRING target);

namespace {

constexpr wchar_t kGuid[] = L"{b1b46d01-f5fe-428a-b21b-2d91557ddf75}";
constexpr wchar_t kClassesKey[] =
    L"System\\CurrentControlSet\\Control\\DeviceClasses\\{b1b46d01-f5fe-428a-b21b-2d91557ddf75}";
constexpr wchar_t kEnumRootKey[] = L"System\\CurrentControlSet\\Enum\\ROOT\\";
// Any device setup class will do; the program asks only for the interface class.
constexpr wchar_t kDeviceSetupClass[] = L"{4d36e96f-e325-11ce-bfc1-08002be10318}";
constexpr ACCESS_MASK kLinkAllAccess = STANDARD_RIGHTS_REQUIRED | 0x1;
constexpr DWORD kPipeBuffer = 4096;
// No inbound buffer: a program's write completes only when the controller reads it, as a driver
// takes a command. While commands are held, a client that goes away is noticed by a poll this often.
constexpr DWORD kInboundBuffer = 0;
constexpr DWORD kHeldPollMs = 5;

std::wstring Upper(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}
std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(std::towlower(c));
  return text;
}

std::wstring InterfaceKey(const std::wstring& device) {
  return std::wstring(kClassesKey) + L"\\##?#ROOT#" + Upper(device) + L"#0000#" + kGuid;
}
std::wstring EnumKey(const std::wstring& device) { return kEnumRootKey + Upper(device); }

LONG SetValue(const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD size) {
  HKEY handle = nullptr;
  LONG status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE | KEY_WOW64_64KEY,
                                nullptr, &handle, nullptr);
  if (status != ERROR_SUCCESS) return status;
  status = RegSetValueExW(handle, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(handle);
  return status;
}
LONG SetText(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
  return SetValue(key, name, REG_SZ, value.c_str(), static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
}
LONG SetLinked(const std::wstring& device, DWORD linked) {
  return SetValue(InterfaceKey(device) + L"\\#\\Control", L"Linked", REG_DWORD, &linked, sizeof linked);
}

LONG RegisterInterface(const std::wstring& device) {
  const std::wstring instance = L"ROOT\\" + Upper(device) + L"\\0000";
  LONG status = SetText(EnumKey(device) + L"\\0000", L"ClassGUID", kDeviceSetupClass);
  if (status == ERROR_SUCCESS)
    status = SetText(EnumKey(device) + L"\\0000", L"DeviceDesc", L"Simulated touch controller");
  if (status == ERROR_SUCCESS) status = SetText(InterfaceKey(device), L"DeviceInstance", instance);
  if (status == ERROR_SUCCESS) {
    status =
        SetText(InterfaceKey(device) + L"\\#", L"SymbolicLink", L"\\\\?\\ROOT#" + Upper(device) + L"#0000#" + kGuid);
  }
  return status;
}

void UnregisterInterface(const std::wstring& device) {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, InterfaceKey(device).c_str());
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, InterfaceKey(device).c_str(), KEY_WOW64_64KEY, 0);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, EnumKey(device).c_str());
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, EnumKey(device).c_str(), KEY_WOW64_64KEY, 0);
}

enum class RequestKind { Plug, Unplug, Disconnect, Event, Idle, Hold, Drain, Stop };
struct Request {
  RequestKind Kind;
  std::uint8_t Byte = 0;
  DWORD IdleMs = 0;
  bool IdleOn = false;
  bool HoldOn = false;
  bool Result = false;
  std::uint64_t SentMicros = 0;
  bool Done = false;
};

enum class PipePhase { Closed, Listening, Reading };

}  // namespace

struct SimController {
  SimOptions Options;
  HANDLE Link = nullptr;
  HANDLE Pipe = INVALID_HANDLE_VALUE;
  PipePhase Phase = PipePhase::Closed;
  OVERLAPPED ConnectIo{};
  OVERLAPPED ReadIo{};
  OVERLAPPED WriteIo{};
  std::uint8_t ReadBuffer[256]{};
  HANDLE Wake = nullptr;
  std::thread Thread;

  // A read of the program's commands is outstanding (only while Reading). While commands are held
  // none is, except the one read that an event allows.
  bool ReadPending = false;
  bool HoldCommands = false;
  bool ReadOnce = false;

  // Idle reads (pipe thread only after start).
  bool IdleOn = false;
  DWORD IdleMs = 50;
  ULONGLONG NextIdleTick = 0;

  // Shared with the callers, under Lock.
  std::mutex Lock;
  std::condition_variable Changed;
  std::deque<Request*> Requests;
  std::vector<std::uint8_t> Received;
  std::vector<std::uint8_t> Partial;
  std::vector<SimCommand> Commands;
  int Connections = 0;
  bool ClientConnected = false;
};

namespace {

void SetClientConnected(SimController& sim, bool connected) {
  {
    std::lock_guard<std::mutex> guard(sim.Lock);
    if (sim.ClientConnected == connected) return;
    sim.ClientConnected = connected;
    if (connected) ++sim.Connections;
  }
  sim.Changed.notify_all();
  if (sim.Options.OnConnection) sim.Options.OnConnection(sim.Options.Context, connected);
}

// Waits for an operation that was cancelled or is about to end, so its OVERLAPPED can be reused.
void FinishIo(SimController& sim, OVERLAPPED& io) {
  DWORD ignored = 0;
  CancelIoEx(sim.Pipe, &io);
  GetOverlappedResult(sim.Pipe, &io, &ignored, TRUE);
}

void StartReading(SimController& sim);

void StartListening(SimController& sim) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    ResetEvent(sim.ConnectIo.hEvent);
    if (!ConnectNamedPipe(sim.Pipe, &sim.ConnectIo)) {
      const DWORD error = GetLastError();
      if (error == ERROR_IO_PENDING) {
        sim.Phase = PipePhase::Listening;
        return;
      }
      if (error == ERROR_NO_DATA) {  // a client came and went unseen: reset the instance, listen again
        DisconnectNamedPipe(sim.Pipe);
        continue;
      }
      if (error != ERROR_PIPE_CONNECTED) break;
    }
    SetClientConnected(sim, true);
    StartReading(sim);
    return;
  }
  sim.Phase = PipePhase::Closed;
}

void ClientGone(SimController& sim) {
  SetClientConnected(sim, false);
  DisconnectNamedPipe(sim.Pipe);
  StartListening(sim);
}

void StartReading(SimController& sim) {
  sim.Phase = PipePhase::Reading;
  sim.ReadPending = false;
  if (sim.IdleOn) sim.NextIdleTick = GetTickCount64() + sim.IdleMs;
  if (sim.HoldCommands && !sim.ReadOnce) return;
  sim.ReadOnce = false;
  ResetEvent(sim.ReadIo.hEvent);
  if (ReadFile(sim.Pipe, sim.ReadBuffer, sizeof sim.ReadBuffer, nullptr, &sim.ReadIo) ||
      GetLastError() == ERROR_IO_PENDING) {
    sim.ReadPending = true;
    return;
  }
  ClientGone(sim);
}

void RecordBytes(SimController& sim, DWORD count) {
  const std::uint64_t now = SimNowMicros();
  std::vector<SimCommand> complete;
  {
    std::lock_guard<std::mutex> guard(sim.Lock);
    sim.Received.insert(sim.Received.end(), sim.ReadBuffer, sim.ReadBuffer + count);
    sim.Partial.insert(sim.Partial.end(), sim.ReadBuffer, sim.ReadBuffer + count);
    SimSplitCommands(sim.Partial, now, complete);
    sim.Commands.insert(sim.Commands.end(), complete.begin(), complete.end());
  }
  sim.Changed.notify_all();
  if (sim.Options.OnCommand) {
    for (const SimCommand& command : complete) sim.Options.OnCommand(sim.Options.Context, command);
  }
}

void TakeRead(SimController& sim) {
  sim.ReadPending = false;
  DWORD count = 0;
  if (!GetOverlappedResult(sim.Pipe, &sim.ReadIo, &count, FALSE)) {
    if (GetLastError() == ERROR_MORE_DATA) {
      // Byte mode never reports this; treat it as data all the same.
    } else {
      ClientGone(sim);
      return;
    }
  }
  RecordBytes(sim, count);
  StartReading(sim);
}

// Stops reading the program's commands; what the cancelled read had already taken is kept.
void HoldReads(SimController& sim) {
  if (!sim.ReadPending) return;
  FinishIo(sim, sim.ReadIo);
  sim.ReadPending = false;
  DWORD count = 0;
  if (GetOverlappedResult(sim.Pipe, &sim.ReadIo, &count, FALSE) && count > 0) RecordBytes(sim, count);
}

bool WriteByte(SimController& sim, std::uint8_t byte) {
  if (sim.Phase != PipePhase::Reading) return false;
  ResetEvent(sim.WriteIo.hEvent);
  DWORD written = 0;
  if (!WriteFile(sim.Pipe, &byte, 1, nullptr, &sim.WriteIo) && GetLastError() != ERROR_IO_PENDING) return false;
  if (WaitForSingleObject(sim.WriteIo.hEvent, 2000) != WAIT_OBJECT_0) {
    FinishIo(sim, sim.WriteIo);
    return false;
  }
  return GetOverlappedResult(sim.Pipe, &sim.WriteIo, &written, FALSE) && written == 1;
}

void ClosePipe(SimController& sim) {
  if (sim.Pipe == INVALID_HANDLE_VALUE) return;
  if (sim.Phase == PipePhase::Listening) FinishIo(sim, sim.ConnectIo);
  if (sim.Phase == PipePhase::Reading && sim.ReadPending) FinishIo(sim, sim.ReadIo);
  sim.ReadPending = false;
  CloseHandle(sim.Pipe);
  sim.Pipe = INVALID_HANDLE_VALUE;
  sim.Phase = PipePhase::Closed;
  SetClientConnected(sim, false);
}

bool OpenPipe(SimController& sim) {
  if (sim.Pipe != INVALID_HANDLE_VALUE) return true;
  const std::wstring name = L"\\\\.\\pipe\\" + sim.Options.PipeName;
  sim.Pipe = CreateNamedPipeW(name.c_str(), PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED,
                              PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES, kPipeBuffer,
                              kInboundBuffer, 0, nullptr);
  if (sim.Pipe == INVALID_HANDLE_VALUE) return false;
  StartListening(sim);
  return sim.Phase != PipePhase::Closed;
}

// Runs one request on the pipe thread. False when the thread is to end.
bool Serve(SimController& sim, Request& request) {
  switch (request.Kind) {
    case RequestKind::Plug:
      request.Result = OpenPipe(sim) && SetLinked(sim.Options.DeviceName, 1) == ERROR_SUCCESS;
      break;
    case RequestKind::Unplug:
      SetLinked(sim.Options.DeviceName, 0);
      ClosePipe(sim);
      request.Result = true;
      break;
    case RequestKind::Disconnect:
      if (sim.Phase == PipePhase::Reading) {
        if (sim.ReadPending) FinishIo(sim, sim.ReadIo);
        sim.ReadPending = false;
        ClientGone(sim);
        request.Result = true;
      }
      break;
    case RequestKind::Event:
      request.SentMicros = SimNowMicros();
      request.Result = WriteByte(sim, request.Byte);
      // A touch lets one held command through.
      if (request.Result && sim.HoldCommands && !sim.ReadPending) {
        sim.ReadOnce = true;
        StartReading(sim);
      }
      break;
    case RequestKind::Hold:
      sim.HoldCommands = request.HoldOn;
      if (sim.Phase == PipePhase::Reading && sim.HoldCommands) HoldReads(sim);
      if (sim.Phase == PipePhase::Reading && !sim.HoldCommands && !sim.ReadPending) StartReading(sim);
      request.Result = true;
      break;
    case RequestKind::Idle:
      sim.IdleOn = request.IdleOn;
      sim.IdleMs = request.IdleMs ? request.IdleMs : 1;
      sim.NextIdleTick = GetTickCount64() + sim.IdleMs;
      request.Result = true;
      break;
    case RequestKind::Drain:
      // Returns once the program has read every byte written to it so far.
      request.Result = sim.Phase == PipePhase::Reading && FlushFileBuffers(sim.Pipe);
      request.SentMicros = SimNowMicros();
      break;
    case RequestKind::Stop:
      ClosePipe(sim);
      request.Result = true;
      return false;
  }
  return true;
}

void PipeThread(SimController* simPointer) {
  SimController& sim = *simPointer;
  for (;;) {
    HANDLE waits[2] = {sim.Wake, nullptr};
    DWORD count = 1;
    if (sim.Phase == PipePhase::Listening) waits[count++] = sim.ConnectIo.hEvent;
    if (sim.Phase == PipePhase::Reading && sim.ReadPending) waits[count++] = sim.ReadIo.hEvent;
    DWORD timeout = INFINITE;
    const bool polling = sim.Phase == PipePhase::Reading && !sim.ReadPending;
    if (polling) timeout = kHeldPollMs;
    if (sim.IdleOn && sim.Phase == PipePhase::Reading) {
      const ULONGLONG now = GetTickCount64();
      const DWORD idle = sim.NextIdleTick > now ? static_cast<DWORD>(sim.NextIdleTick - now) : 0;
      if (idle < timeout) timeout = idle;
    }
    const DWORD result = WaitForMultipleObjects(count, waits, FALSE, timeout);
    if (result == WAIT_TIMEOUT) {
      // No read is outstanding while commands are held: a client gone is seen by a peek.
      if (polling && !PeekNamedPipe(sim.Pipe, nullptr, 0, nullptr, nullptr, nullptr)) {
        ClientGone(sim);
        continue;
      }
      if (sim.IdleOn && sim.Phase == PipePhase::Reading && GetTickCount64() >= sim.NextIdleTick) {
        WriteByte(sim, 0);
        sim.NextIdleTick = GetTickCount64() + sim.IdleMs;
      }
    } else if (result == WAIT_OBJECT_0) {
      for (;;) {
        Request* request = nullptr;
        {
          std::lock_guard<std::mutex> guard(sim.Lock);
          if (sim.Requests.empty()) break;
          request = sim.Requests.front();
          sim.Requests.pop_front();
        }
        const bool keepGoing = Serve(sim, *request);
        {
          std::lock_guard<std::mutex> guard(sim.Lock);
          request->Done = true;
        }
        sim.Changed.notify_all();
        if (!keepGoing) return;
      }
    } else if (result == WAIT_OBJECT_0 + 1 && sim.Phase == PipePhase::Listening) {
      DWORD ignored = 0;
      if (GetOverlappedResult(sim.Pipe, &sim.ConnectIo, &ignored, FALSE)) {
        SetClientConnected(sim, true);
        StartReading(sim);
      } else {
        DisconnectNamedPipe(sim.Pipe);
        StartListening(sim);
      }
    } else if (result == WAIT_OBJECT_0 + 1 && sim.Phase == PipePhase::Reading && sim.ReadPending) {
      TakeRead(sim);
    } else if (result == WAIT_FAILED) {
      Sleep(10);
    }
  }
}

// Hands a request to the pipe thread and waits until it has been served.
Request Submit(SimController& sim, Request request) {
  std::unique_lock<std::mutex> guard(sim.Lock);
  sim.Requests.push_back(&request);
  SetEvent(sim.Wake);
  sim.Changed.wait(guard, [&] { return request.Done; });
  return request;
}

}  // namespace

std::uint64_t SimNowMicros() {
  FILETIME now{};
  GetSystemTimePreciseAsFileTime(&now);
  const std::uint64_t ticks = (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  return (ticks - 116444736000000000ULL) / 10;
}

std::string SimHex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    char piece[4];
    std::snprintf(piece, sizeof piece, i ? " %02X" : "%02X", bytes[i]);
    text += piece;
  }
  return text;
}

void SimSplitCommands(std::vector<std::uint8_t>& partial, std::uint64_t unixMicros, std::vector<SimCommand>& out) {
  std::size_t at = 0;
  while (at < partial.size()) {
    const std::size_t need = partial[at] == 0x00 ? 4 : partial[at] == 0x01 ? 2 : 1;
    if (partial.size() - at < need) break;
    SimCommand command;
    command.UnixMicros = unixMicros;
    command.Bytes.assign(partial.begin() + static_cast<std::ptrdiff_t>(at),
                         partial.begin() + static_cast<std::ptrdiff_t>(at + need));
    out.push_back(std::move(command));
    at += need;
  }
  partial.erase(partial.begin(), partial.begin() + static_cast<std::ptrdiff_t>(at));
}

std::wstring SimDevicePath(const SimController& sim) {
  return L"\\\\?\\" + Lower(L"root#" + sim.Options.DeviceName + L"#0000#" + kGuid);
}

void SimControllerDeleter::operator()(SimController* sim) const {
  if (!sim) return;
  if (sim->Thread.joinable()) {
    Submit(*sim, Request{RequestKind::Stop});
    sim->Thread.join();
  }
  UnregisterInterface(sim->Options.DeviceName);
  if (sim->Link) CloseHandle(sim->Link);
  for (HANDLE event : {sim->ConnectIo.hEvent, sim->ReadIo.hEvent, sim->WriteIo.hEvent, sim->Wake}) {
    if (event) CloseHandle(event);
  }
  delete sim;
}

UniqueSim StartSim(const SimOptions& options, std::uint32_t* error) {
  UniqueSim sim(new SimController);
  sim->Options = options;
  sim->IdleOn = options.IdleReads;
  sim->IdleMs = options.IdleIntervalMs ? options.IdleIntervalMs : 1;
  sim->HoldCommands = options.HoldCommands;
  sim->ConnectIo.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  sim->ReadIo.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  sim->WriteIo.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  sim->Wake = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  auto fail = [&](std::uint32_t code) {
    if (error) *error = code;
    return UniqueSim();
  };
  if (!sim->ConnectIo.hEvent || !sim->ReadIo.hEvent || !sim->WriteIo.hEvent || !sim->Wake) return fail(GetLastError());

  // The discovered path, as an object-namespace name, leads to the pipe.
  const std::wstring linkName = L"\\??\\" + Lower(L"root#" + options.DeviceName + L"#0000#" + kGuid);
  const std::wstring target = L"\\Device\\NamedPipe\\" + options.PipeName;
  UNICODE_STRING name{};
  UNICODE_STRING targetName{};
  RtlInitUnicodeString(&name, linkName.c_str());
  RtlInitUnicodeString(&targetName, target.c_str());
  OBJECT_ATTRIBUTES attributes;
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, nullptr, nullptr);
  const NTSTATUS status = NtCreateSymbolicLinkObject(&sim->Link, kLinkAllAccess, &attributes, &targetName);
  if (status < 0) {
    sim->Link = nullptr;
    return fail(static_cast<std::uint32_t>(status));
  }

  if (const LONG registered = RegisterInterface(options.DeviceName); registered != ERROR_SUCCESS) {
    return fail(static_cast<std::uint32_t>(registered));
  }
  if (SetLinked(options.DeviceName, 0) != ERROR_SUCCESS) return fail(GetLastError());
  sim->Thread = std::thread(PipeThread, sim.get());
  if (options.Plugged && !SimPlug(*sim)) return fail(GetLastError());
  return sim;
}

bool SimPlug(SimController& sim) { return Submit(sim, Request{RequestKind::Plug}).Result; }

void SimUnplug(SimController& sim) { Submit(sim, Request{RequestKind::Unplug}); }

void SimDisconnect(SimController& sim) { Submit(sim, Request{RequestKind::Disconnect}); }

bool SimSendEvent(SimController& sim, std::uint8_t eventByte, std::uint64_t* sentMicros) {
  Request request{RequestKind::Event};
  request.Byte = eventByte;
  const Request done = Submit(sim, request);
  if (sentMicros) *sentMicros = done.SentMicros;
  return done.Result;
}

bool SimWaitDrained(SimController& sim, std::uint64_t* drainedMicros) {
  const Request done = Submit(sim, Request{RequestKind::Drain});
  if (drainedMicros) *drainedMicros = done.SentMicros;
  return done.Result;
}

void SimSetIdle(SimController& sim, bool on, DWORD intervalMs) {
  Request request{RequestKind::Idle};
  request.IdleOn = on;
  request.IdleMs = intervalMs;
  Submit(sim, request);
}

void SimSetHoldCommands(SimController& sim, bool on) {
  Request request{RequestKind::Hold};
  request.HoldOn = on;
  Submit(sim, request);
}

std::vector<std::uint8_t> SimReceivedBytes(SimController& sim) {
  std::lock_guard<std::mutex> guard(sim.Lock);
  return sim.Received;
}

std::vector<SimCommand> SimCommands(SimController& sim) {
  std::lock_guard<std::mutex> guard(sim.Lock);
  return sim.Commands;
}

void SimClearReceived(SimController& sim) {
  std::lock_guard<std::mutex> guard(sim.Lock);
  sim.Received.clear();
  sim.Commands.clear();
}

int SimConnectionCount(SimController& sim) {
  std::lock_guard<std::mutex> guard(sim.Lock);
  return sim.Connections;
}

bool SimIsConnected(SimController& sim) {
  std::lock_guard<std::mutex> guard(sim.Lock);
  return sim.ClientConnected;
}

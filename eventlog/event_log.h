// Ostinel's reports to the Windows event log (Application log, source "Ostinel"; the message
// table is compiled into Ostinel.exe, which the installers name as the source's message file).
//
// Writing an event is a call into the event log service that can stall, so no caller writes: each
// report is copied into a small bounded queue and returns at once; one writer thread of its own
// takes the reports in order, applies the controller rules (event_policy.h) and writes. The
// mouse hook never reports. Nothing here is shown to the user; a failed write is dropped.
#pragma once

#include <cstdint>

#include "core/policy_merge.h"
#include "device/device_loop.h"

// Starts the writer thread (once). Reports made before it are kept in the queue.
void StartEventLog();

// "Started", with the version and the settings in force; "started again" when Windows restarted
// the program after a crash or a hang.
void ReportStarted(const SettingValues& inForce, bool restarted);

// "Start failed": the step (as the README names it) and the system's error code, or 0.
void ReportStartFailed(const wchar_t* step, std::uint32_t error);

// The support section's name was already taken by another program (name: the object's full name).
void ReportSupportSectionTaken(const wchar_t* name);

// Started in session 0 (account: who started it); the program ends without starting.
void ReportServicesSession(const wchar_t* account);

// The settings dialog's OK: the settings in force before and after, whether every value written
// was stored, and the system's error when not.
void ReportSettingsOk(const SettingValues& before, const SettingValues& after, bool saved, std::uint32_t saveError);

// The policies in force and the settings under them: at start when any is configured, and on
// every change of them.
void ReportPoliciesInForce(const Policies& policies, const SettingValues& inForce);

// A policy value that is ignored (out of range or of another type); reported once per bad value.
void ReportPolicyIgnored(PolicyValue value, const RawPolicyValue& raw);

// A notice of the device loop; called on the device thread.
void ReportDeviceNotice(DeviceNotice notice, std::uint32_t error, const wchar_t* path);

// Asks the writer to write what is queued, a count still held back and "ended", and to stop;
// waits up to timeoutMs for it. Reports made afterwards are not written.
void EndEventLog(std::uint32_t timeoutMs);

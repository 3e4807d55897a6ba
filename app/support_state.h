// The running copy's side of the support report: the support section of this session, kept current
// from the device thread's field reports.
#pragma once

#include <cstdint>

#include "device/device_loop.h"

// Creates and sets up this session's support section (start-up, once this copy holds the
// single-instance mutex, before the device thread starts). Without it the copy runs as before and
// the support report says it did not answer.
void StartSupportState();

// One report of the device thread; returns at once.
void NoteSupportState(DeviceNotice notice, std::uint32_t error, const wchar_t* path);

// Finding the touch controller's device interface with the Setup API.
#pragma once

#include <memory>

#include "core/app_state.h"

// Path of the first present interface of ControllerInterfaceGuid, owned by the caller, or none.
// Each failure appends its lines to state's log; the window is not touched.
std::unique_ptr<wchar_t[]> FindDevicePath(AppStateRecord& state);

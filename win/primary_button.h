// Whether the primary mouse button is down now, read from the system rather than from messages.
#pragma once

#include <windows.h>

// As the user has set the mouse up (the asynchronous state is that of the physical buttons). A
// touch held on the screen counts as the primary button.
inline bool PrimaryButtonHeld() {
  const int key = GetSystemMetrics(SM_SWAPBUTTON) ? VK_RBUTTON : VK_LBUTTON;
  return (GetAsyncKeyState(key) & 0x8000) != 0;
}

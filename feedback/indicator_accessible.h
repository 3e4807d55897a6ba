// Keeps the spinning ring out of screen readers' way: it is a passing picture around the finger,
// with nothing to read or to act on.
#pragma once

#include <windows.h>

// Answers WM_GETOBJECT for the ring window: its client area is an accessible object that is
// invisible, has no name, no value, no children and no actions. Returns the message's result; 0
// (the system's own answer) for any other object identifier, which loads nothing, or when the
// accessibility library cannot be loaded or the hand-over fails.
LRESULT AnswerRingAccessibility(WPARAM flags, LPARAM objectId);

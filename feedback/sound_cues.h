// The four sound cues, played asynchronously from the program's WAVE resources.
#pragma once

#include "res/resource_ids.h"

enum SoundCue : int {
  CUE_START = IDW_START,
  CUE_START_FAILED = IDW_START_FAILED,
  CUE_LEFT_CLICK = IDW_LEFT_CLICK,
  CUE_RIGHT_CLICK = IDW_RIGHT_CLICK,
};

// Starts the cue and returns at once. The newest cue stops any cue still playing; a cue that
// cannot be found falls back to the system's default sound. Failures are not reported.
void PlayCue(SoundCue cue);

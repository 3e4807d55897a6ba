#include "feedback/sound_cues.h"

#include <windows.h>
#include <mmsystem.h>

#include <gtest/gtest.h>

#include "core/app_state.h"

namespace {

double Seconds(LARGE_INTEGER from, LARGE_INTEGER to) {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

double TimeOf(void (*play)(SoundCue), SoundCue cue) {
  LARGE_INTEGER start, end;
  QueryPerformanceCounter(&start);
  play(cue);
  QueryPerformanceCounter(&end);
  return Seconds(start, end);
}

void PlaySynchronously(SoundCue cue) {
  PlaySoundW(MAKEINTRESOURCEW(cue), GetModuleHandleW(nullptr), SND_RESOURCE | SND_SYNC | SND_NODEFAULT);
}

}  // namespace

// Each cue is a WAVE resource of the program's own module, and playing it does not wait for the
// sound: played through to its end, the 0.83 s start cue takes a measurable time even on the
// silent test device (it runs faster than real time there); starting a cue must take far less.
TEST(SoundCues, EachCueIsAResourceAndPlaysWithoutWaiting) {
  AppState.Instance = GetModuleHandleW(nullptr);
  for (SoundCue cue : {CUE_START, CUE_START_FAILED, CUE_LEFT_CLICK, CUE_RIGHT_CLICK}) {
    EXPECT_NE(FindResourceW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(cue), L"WAVE"), nullptr) << cue;
  }
  const double synchronous = TimeOf(PlaySynchronously, CUE_START);
  ASSERT_GT(synchronous, 0.05) << "playing through took no time; nothing to compare";
  for (SoundCue cue : {CUE_START, CUE_RIGHT_CLICK, CUE_LEFT_CLICK, CUE_START_FAILED}) {
    EXPECT_LT(TimeOf(PlayCue, cue), synchronous / 4) << cue;
  }
  PlaySoundW(nullptr, nullptr, 0);
}

#include "feedback/sound_cues.h"

#include <windows.h>
#include <mmsystem.h>

#include "win/win_handles.h"
#include "core/app_state.h"

void PlayCue(SoundCue cue) {
  PlaySoundW(MAKEINTRESOURCEW(cue), AsInstance(AppState.Instance), SND_RESOURCE | SND_ASYNC);
}

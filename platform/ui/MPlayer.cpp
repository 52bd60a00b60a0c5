// The media player over the sound service.
#include "platform/ui/MPlayer.h"

#include "platform/ui/ShellApi.h"

void TMediaPlayer::Open() {
  if (!IsWaveFile(FileName)) {
    FOpen = false;
    throw EMCIDeviceError("Cannot open " + FileName + ": not a wave audio file");
  }
  FOpen = true;
  FError = 0;
  FErrorMessage.clear();
}

void TMediaPlayer::Play() {
  if (!FOpen) throw EMCIDeviceError("No media is open");
  if (SoundService().PlayWave(FileName)) {
    FError = 0;
    FErrorMessage.clear();
  } else {
    FError = 1;
    FErrorMessage = SoundService().LastError();
  }
}

void TMediaPlayer::Stop() {
  if (FOpen) SoundService().Stop();
}

void TMediaPlayer::Close() {
  Stop();
  FOpen = false;
}

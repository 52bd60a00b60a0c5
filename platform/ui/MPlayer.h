// The media player component, for wave sounds: FileName, Open, Play, Stop, Close over the
// sound service (ShellApi.h). It is never shown; the program only plays a sound with it.
#pragma once

#include <string>

#include "platform/core/Classes.h"

ORV_DECLARE_EXCEPTION(EMCIDeviceError, Exception);

enum TMPDeviceTypes { dtAutoSelect, dtWaveAudio };

class TMediaPlayer : public TComponent {
 public:
  explicit TMediaPlayer(TComponent* AOwner) : TComponent(AOwner) {}
  std::string FileName;
  TMPDeviceTypes DeviceType = dtAutoSelect;
  bool Enabled = true;
  bool Visible = false;

  // Opening a file that is not a wave file raises EMCIDeviceError.
  void Open();
  // Plays the opened file; a player without output keeps its reason in ErrorMessage.
  void Play();
  void Stop();
  void Close();
  bool IsOpen() const { return FOpen; }
  int Error() const { return FError; }
  const std::string& ErrorMessage() const { return FErrorMessage; }

 private:
  bool FOpen = false;
  int FError = 0;
  std::string FErrorMessage;
};

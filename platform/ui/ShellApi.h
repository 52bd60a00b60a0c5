// Shell "open", the wave-sound player and help, each behind a service that tests replace.
//
// - Shell: ShellExecute with the "open" verb opens a web page, a mail address ("mailto:") or a
//   file with the desktop's handler (xdg-open). File names are program text and reach the
//   handler as the system names them (OsText.h); web and mail addresses go as Unicode.
// - Sound: PlaySound plays a wave file. This machine has no audio output module, so the
//   installed player checks the file (a RIFF "WAVE" with format and data chunks), plays
//   nothing and says so in LastError.
// - Help: WinHelp with a help file. No viewer for that help format exists here; the help
//   service says so in a message box (through the core's message-box service) and goes on.
//
// GUI thread only.
#pragma once

#include <cstdint>
#include <string>

class IShellService {
 public:
  virtual ~IShellService();
  // Opens Target with the desktop's handler; false when nothing could be started.
  virtual bool Open(const std::string& Target, intptr_t OwnerWindow) = 0;
};

class ISoundService {
 public:
  virtual ~ISoundService();
  // Plays the wave file (asynchronously); false when it cannot be played.
  virtual bool PlayWave(const std::string& FileName) = 0;
  virtual void Stop() = 0;
  virtual std::string LastError() const = 0;
};

class IHelpService {
 public:
  virtual ~IHelpService();
  virtual bool Help(const std::string& HelpFile, unsigned Command, const std::string& Data) = 0;
};

// Installers return the previous service; nullptr restores the built-in one.
IShellService* SetShellService(IShellService* Service);
ISoundService* SetSoundService(ISoundService* Service);
IHelpService* SetHelpService(IHelpService* Service);
IShellService& ShellService();
ISoundService& SoundService();
IHelpService& HelpService();

// The class library's entry points.
enum : int { SW_HIDE = 0, SW_SHOWNORMAL = 1, SW_SHOW = 5 };
// Returns a value above 32 on success, as the shell does; 2 (file not found) otherwise.
intptr_t ShellExecute(intptr_t Window, const std::string& Operation, const std::string& File,
                      const std::string& Parameters, const std::string& Directory, int ShowCmd);

enum : unsigned { HELP_CONTEXT = 0x0001, HELP_QUIT = 0x0002, HELP_CONTENTS = 0x0003,
                  HELP_KEY = 0x0101 };
bool WinHelp(intptr_t Window, const std::string& HelpFile, unsigned Command,
             const std::string& Data);

enum : unsigned { SND_SYNC = 0x0000, SND_ASYNC = 0x0001, SND_FILENAME = 0x00020000 };
bool PlaySound(const std::string& FileName, unsigned Flags);

// True when the file is a wave file the player understands (RIFF "WAVE", "fmt " and "data").
bool IsWaveFile(const std::string& FileName);

// The built-in services.
class TXdgShellService : public IShellService {
 public:
  bool Open(const std::string& Target, intptr_t OwnerWindow) override;
};

class TSilentWavePlayer : public ISoundService {
 public:
  bool PlayWave(const std::string& FileName) override;
  void Stop() override {}
  std::string LastError() const override { return FLastError; }

 private:
  std::string FLastError;
};

class TNoViewerHelpService : public IHelpService {
 public:
  bool Help(const std::string& HelpFile, unsigned Command, const std::string& Data) override;
};

// Starting another program: WinExec hands a command line to the process-start service, which
// starts the program and does not wait for it. The program's own work never depends on what
// the started program does; it only needs to know whether it could be started.
//
// The command line is the program name followed by its arguments, separated by blanks; an
// argument in double quotes may hold blanks. Its bytes go to the program as they are (file
// names of the data folder are code page 949 bytes on disk). The program starts in the
// current folder, with the environment of this process. The show command is passed on to the
// service; programs started here have no window of ours to hide or show.
//
// Tests install TRecordingProcessStart, which records every request and starts nothing.
// GUI thread only.
#pragma once

#include <string>
#include <vector>

class IProcessStartService {
 public:
  virtual ~IProcessStartService();
  // Starts the command line; false when the program could not be started.
  virtual bool Start(const std::string& CommandLine, int ShowCmd) = 0;
};

// Installs a service and returns the previous one; nullptr restores the built-in one.
IProcessStartService* SetProcessStartService(IProcessStartService* Service);
IProcessStartService& ProcessStartService();

// Values above 31 mean started, as the class library's WinExec answers; 2 means the program
// was not found or could not be started. An empty command line starts nothing (2).
unsigned WinExec(const std::string& CommandLine, int ShowCmd);

// The words of a command line: split at blanks, double quotes group (and are dropped).
std::vector<std::string> SplitCommandLine(const std::string& CommandLine);

// The built-in service: the program is looked up on the search path and started detached,
// so no child is left to be waited for.
class TSpawnProcessStart : public IProcessStartService {
 public:
  bool Start(const std::string& CommandLine, int ShowCmd) override;
};

// For tests: records each request with the folder it was made in; starts nothing. Installs
// itself on construction and puts the previous service back when destroyed.
class TRecordingProcessStart : public IProcessStartService {
 public:
  struct Call {
    std::string CommandLine;
    int ShowCmd = 0;
    std::string Folder;  // the current folder at the call
  };
  TRecordingProcessStart();
  ~TRecordingProcessStart() override;
  TRecordingProcessStart(const TRecordingProcessStart&) = delete;
  TRecordingProcessStart& operator=(const TRecordingProcessStart&) = delete;
  bool Start(const std::string& CommandLine, int ShowCmd) override;

  std::vector<Call> Calls;
  bool Answer = true;  // what Start answers

 private:
  IProcessStartService* FOld;
};

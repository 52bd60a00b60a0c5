// Command lines the tests read printed output back with: the PDF tools. qpdf's check is the
// strict reader: poppler's tools recover from a malformed file without a word, so a PDF the
// tests pass must also pass it.
#pragma once

#include <cstdio>
#include <string>

namespace testcmd {

// The standard output of a command line.
inline std::string CommandOutput(const std::string& Command) {
  std::string out;
  if (FILE* f = ::popen(Command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    ::pclose(f);
  }
  return out;
}

// What `qpdf --check` finds wrong with a PDF file: "" for a well-formed file, else its report
// (warnings included: qpdf warns where it had to recover).
inline std::string PdfSyntaxFaults(const std::string& File) {
  const std::string out = CommandOutput("qpdf --check '" + File + "' 2>&1; echo \"exit $?\"");
  const bool clean = out.find("\nexit 0\n") != std::string::npos &&
                     out.find("No syntax or stream encoding errors found") != std::string::npos &&
                     out.find("WARNING") == std::string::npos && out.find("arning:") == std::string::npos;
  return clean ? std::string() : out.substr(0, 1500);
}

}  // namespace testcmd

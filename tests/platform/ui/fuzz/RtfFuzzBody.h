// One fuzz input for the rich-text reader: read into a document, write that back and read
// it again, as opening and saving a rich body does. The reader promises never to throw on
// bad input, so any exception is a finding as much as a crash or a runaway. Shared by the
// libFuzzer harness and the corpus replay test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include <QTextDocument>

#include "platform/ui/RtfReader.h"
#include "platform/ui/RtfWriter.h"

namespace rtffuzz {

inline void RunRtf(const uint8_t* data, size_t size) {
  std::string_view source(reinterpret_cast<const char*>(data), size);
  (void)rtf::IsRtf(source);
  QTextDocument doc;
  rtf::ReadRtf(source, doc);
  std::string written = rtf::WriteRtf(doc);
  QTextDocument again;
  rtf::ReadRtf(written, again);
}

}  // namespace rtffuzz

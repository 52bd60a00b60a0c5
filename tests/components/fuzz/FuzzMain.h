// The shared start of the picture, archive and rich-text harnesses (`make fuzz`): a Qt
// application on the offscreen platform (bitmaps, the clipboard and text documents need
// one), and the memory limits every harness has.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "platform/ui/Forms.h"
#include "tests/support/FuzzLimits.h"

namespace fuzzmain {

inline void Start(int* argc, char*** argv) {
  fuzzlimits::Apply(argc, argv);
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static TApplication* app = new TApplication;
  (void)app;
}

}  // namespace fuzzmain

// One harness: Body (const uint8_t*, size_t) runs one input. Font configuration keeps a
// little memory of its own to the end, which the leak check is told of.
#define ORV_FUZZ_HARNESS(Body)                                                  \
  extern "C" const char* __lsan_default_suppressions() {                        \
    return "leak:libfontconfig\n";                                              \
  }                                                                             \
  extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {                \
    fuzzmain::Start(argc, argv);                                                \
    return 0;                                                                   \
  }                                                                             \
  extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {     \
    Body(data, size);                                                           \
    return 0;                                                                   \
  }

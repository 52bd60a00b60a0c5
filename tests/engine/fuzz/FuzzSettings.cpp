// The harness compiles only the expression sources; this gives them the settings record.
#include "engine/src/Contract.h"

namespace xbe {
EngineSettings& Settings() {
  static EngineSettings s;
  return s;
}
}  // namespace xbe

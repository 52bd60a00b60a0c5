// Until the index half lands, a work area has no orders: natural record order only.
#include "engine/src/Contract.h"

namespace xbe {

std::unique_ptr<OrderHooks> MakeOrderHooks(RecordSource&, const std::string&, int) { return nullptr; }

}  // namespace xbe

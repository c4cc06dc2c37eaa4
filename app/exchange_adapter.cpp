#include "app/exchange_adapter.h"

namespace krt6 {

ExchangeAdapter::~ExchangeAdapter() = default;

}  // namespace krt6

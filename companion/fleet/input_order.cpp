// The ordering of computers' rows.
#include "input_order.h"

#include <utility>

namespace quillmark::companion {

void InputOrder::Put(std::size_t index, ComputerRows rows) {
  if (index < next_) return;  // handed on already: a lookup reports once
  waiting_.emplace(index, std::move(rows));
}

}  // namespace quillmark::companion

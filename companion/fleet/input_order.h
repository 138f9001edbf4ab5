// Holds the rows of computers that ended before an earlier one, until every computer before them
// has ended, so that rows go out in input order as soon as they can.
#pragma once

#include <cstddef>
#include <map>

#include "computer_lookup.h"

namespace quillmark::companion {

class InputOrder {
 public:
  // The rows of the computer at `index` (each index once, any order).
  void Put(std::size_t index, ComputerRows rows);

  // Hands on, in input order, the rows of every computer from the next one on that has ended,
  // stopping at the first that has not; `receive(index, rows)` returning false stops it too, and
  // then the computer it was given counts as handed on. False when `receive` said stop.
  template <class Receive>
  bool HandOnReady(Receive&& receive) {
    for (auto at = waiting_.begin(); at != waiting_.end() && at->first == next_;) {
      ++next_;
      const bool go_on = receive(at->first, at->second);
      at = waiting_.erase(at);
      if (!go_on) return false;
    }
    return true;
  }

  // Hands on every computer still held, in input order, passing over those not ended: the end of a
  // run that was stopped. Same contract as HandOnReady.
  template <class Receive>
  bool HandOnAll(Receive&& receive) {
    while (!waiting_.empty()) {
      next_ = waiting_.begin()->first;
      if (!HandOnReady(receive)) return false;
    }
    return true;
  }

  // The first computer whose rows have not been handed on yet.
  std::size_t next() const noexcept { return next_; }
  std::size_t held() const noexcept { return waiting_.size(); }

 private:
  std::size_t next_ = 0;
  std::map<std::size_t, ComputerRows> waiting_;
};

}  // namespace quillmark::companion

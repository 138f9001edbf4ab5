// The soak that the tests and the benchmark run alike: many rounds of lookups in the same
// processes, with the processes' figures taken at the moments they are compared at.
#pragma once

#include <functional>

namespace quillmark::test_support {

// When figures are taken: before the first round, after round `first_few`, after half of the
// rounds (rounds / 2) and after the last. A moment whose round does not come (first_few 0) is
// skipped; two that fall on one round come in this order.
enum class SoakMoment { kAtStart, kAfterFirstFew, kHalfWay, kAtEnd };

// Runs round(1) to round(rounds), calling take(moment) at each moment. A round that returns false
// ends the soak early (no later moment is taken), and so does the soak's own result.
bool RunSoak(int rounds, int first_few, const std::function<bool(int round)>& round,
             const std::function<void(SoakMoment)>& take);

}  // namespace quillmark::test_support

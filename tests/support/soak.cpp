// The rounds of a soak and the moments between them.
#include "soak.h"

namespace quillmark::test_support {

bool RunSoak(int rounds, int first_few, const std::function<bool(int round)>& round,
             const std::function<void(SoakMoment)>& take) {
  take(SoakMoment::kAtStart);
  for (int number = 1; number <= rounds; ++number) {
    if (!round(number)) return false;
    if (number == first_few) take(SoakMoment::kAfterFirstFew);
    if (number == rounds / 2) take(SoakMoment::kHalfWay);
  }
  take(SoakMoment::kAtEnd);
  return true;
}

}  // namespace quillmark::test_support

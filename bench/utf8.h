// Text between the benchmark's programs and their reports: UTF-16 inside, UTF-8 outside, as the
// test support converts it.
#pragma once

#include "text.h"

namespace quillmark::bench {

using test_support::Utf8;
using test_support::Wide;

}  // namespace quillmark::bench

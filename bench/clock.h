// The benchmark's one clock: the performance counter, read in milliseconds.
#pragma once

#include <windows.h>

namespace quillmark::bench {

// Milliseconds since an arbitrary origin that is the same for every caller in the process.
inline double NowMs() {
  static const double ticks_per_ms = [] {
    LARGE_INTEGER frequency{};
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(frequency.QuadPart) / 1000.0;
  }();
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  return static_cast<double>(now.QuadPart) / ticks_per_ms;
}

}  // namespace quillmark::bench

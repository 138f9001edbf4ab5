// The management service's surrogate processes that lookups leave behind under Wine.
#pragma once

#include <windows.h>

#include <set>

namespace quillmark::bench {

// Wine 8 starts a fresh dllhost.exe for every binding of the management service and never ends
// it: each keeps about 7 MiB and one X connection, so a few hundred lookups would exhaust the
// machine's memory and the display's clients. The harness ends, after each finished lookup, the
// surrogates started since it last looked, by process ID; the ones it found running at the start
// are left alone.
class SurrogateSweeper {
 public:
  SurrogateSweeper();

  // Ends the surrogates started since the last call and waits for them to be gone.
  void EndNewOnes();
  long long ended() const { return ended_; }

 private:
  std::set<DWORD> left_alone_;
  long long ended_ = 0;
};

}  // namespace quillmark::bench

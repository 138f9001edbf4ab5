// The bare management-service calls of one lookup of ".", as the floors make them: no layer of
// the tool's own in between.
#pragma once

#include <windows.h>

#include <string>

namespace quillmark::bench {

// A call that failed: which step, with what code.
struct CallFailed {
  const char* step;
  HRESULT code;
};

// Binds "winmgmts:{impersonationLevel=impersonate}!//.", calls InstancesOf("Win32_BIOS"), takes
// the collection's enumerator and its first member, and reads its SerialNumber as text. Sets
// `read_at` (NowMs) when the number has been read: the releases that follow are not part of a
// lookup's time, as the tool shows its answer before it lets go of the objects. Throws CallFailed.
// COM must be initialised on the calling thread.
std::wstring FirstSerialNumber(double& read_at);

}  // namespace quillmark::bench

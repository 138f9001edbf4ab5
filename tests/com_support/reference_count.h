// The reference count of a test's own COM object: the object starts with one reference, held by
// whoever made it, and deletes itself when the last one is released.
#pragma once

#include <windows.h>

namespace quillmark::com_support {

class ReferenceCount {
 public:
  ULONG Add() { return static_cast<ULONG>(InterlockedIncrement(&count_)); }

  // Deletes `object` when this release was its last reference.
  template <typename Object>
  ULONG Release(Object* object) {
    const LONG left = InterlockedDecrement(&count_);
    if (left == 0) delete object;
    return static_cast<ULONG>(left);
  }

 private:
  LONG count_ = 1;
};

}  // namespace quillmark::com_support

// The kernel handle owner that the driver, the end-to-end tests and the benchmark share: the core's
// own, under the name the test suites know it by.
#pragma once

// By its place in the tree, so that suites which include this header without linking the core
// find it too.
#include "../../lookup/com/win32_owners.h"

namespace quillmark::ui_driver {

using UniqueHandle = quillmark::UniqueHandle;

}  // namespace quillmark::ui_driver

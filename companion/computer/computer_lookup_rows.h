// The rows that one computer's lookup gives.
#pragma once

#include <vector>

#include "lookup_rows.h"

namespace quillmark::companion {

// The rows of one computer whose lookup ended (with serials, none, a failure or its deadline).
using ComputerRows = std::vector<LookupRow>;

}  // namespace quillmark::companion

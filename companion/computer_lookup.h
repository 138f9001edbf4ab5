// The lookup of one computer, turned into the rows the companion writes.
#pragma once

#include <string>
#include <vector>

#include "lookup_rows.h"

namespace quillmark::companion {

// The rows of one computer whose lookup ended (with serials, none, a failure or its deadline).
using ComputerRows = std::vector<LookupRow>;

// The rows of one computer, looked up on the calling thread, which must be in a COM apartment.
// Serials read before a failure are kept, followed by the failure's row.
ComputerRows LookUpComputer(const std::wstring& computer);

}  // namespace quillmark::companion

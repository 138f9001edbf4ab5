// Which names a lookup takes to be the computer the companion runs on.
#pragma once

#include <string>
#include <vector>

namespace quillmark::companion {

// Whether `name` names this computer: empty, ".", "localhost" (with or without a final dot), a
// loopback address (127.x.x.x, ::1), or one of `own_names`, this computer's own names. Compared
// as Windows compares computer names (ComputerNameKey).
bool NamesThisComputer(const std::wstring& name, const std::vector<std::wstring>& own_names);

}  // namespace quillmark::companion

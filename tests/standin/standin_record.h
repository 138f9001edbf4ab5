// The stand-in service's record: one line per call it receives, in the file STANDIN_RECORD names.
#pragma once

#include <string>

namespace standin {

// Appends one whole line; safe to call from any thread, lines of different threads never mix.
void RecordLine(const std::string& line) noexcept;

}  // namespace standin

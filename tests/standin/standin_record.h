// The stand-in service's record: one line per call it receives, in the file STANDIN_RECORD names.
#pragma once

#include <string>

namespace standin {

void RecordLine(const std::string& line) noexcept;

}  // namespace standin

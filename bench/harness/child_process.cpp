// The harness's error texts.
#include "child_process.h"

namespace quillmark::bench {

std::string ErrorText(DWORD code) { return "error " + std::to_string(code); }

}  // namespace quillmark::bench

// The program's handler for an exception that escapes everything. None should (every boundary
// catches), so it only ends the process; replacing the library's verbose handler also keeps the
// symbol demangler, which nothing else needs, out of the executable.
#include <cstdlib>

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx

// Reading a directory source's computers through the platform's directory interface (ADSI's LDAP
// provider), bound by moniker with the caller's own identity, as the lookup binds "winmgmts:".
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "name_sources.h"

namespace quillmark::companion {

// Called with how many computers a source has given so far: 0 before it is bound, then once a row.
using DirectoryProgress = std::function<void(std::size_t given)>;

// The names of the computers the query's source gives (LookedUpName of each row), in the
// directory's order; throws PlatformFailure when the source cannot be read, and
// ERROR_NO_SUCH_DOMAIN, before binding anything, for a source without a server on a computer that
// belongs to no domain. Binds with the
// platform's secure authentication and no credentials, reads the root DSE's naming context where
// the source names no DN, and searches the subtree in pages of 1,000 rows, reading dNSHostName
// and cn alone. The calling thread must be in a COM apartment.
std::vector<std::wstring> ReadDirectoryNames(const DirectoryQuery& query,
                                             const DirectoryProgress& progress);

}  // namespace quillmark::companion

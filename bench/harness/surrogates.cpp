// Finding and ending the surrogate processes that the measured lookups started.
#include "surrogates.h"

#include <tlhelp32.h>

#include <vector>

#include "child_process.h"

namespace quillmark::bench {
namespace {

constexpr wchar_t kSurrogateImage[] = L"dllhost.exe";
constexpr DWORD kEndWaitMs = 5000;

std::vector<DWORD> RunningSurrogates() {
  std::vector<DWORD> found;
  const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot) {
    throw BenchError("cannot list processes: " + LastErrorText(L"CreateToolhelp32Snapshot"));
  }
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    if (lstrcmpiW(entry.szExeFile, kSurrogateImage) == 0) found.push_back(entry.th32ProcessID);
  }
  return found;
}

}  // namespace

SurrogateSweeper::SurrogateSweeper() {
  for (const DWORD id : RunningSurrogates()) left_alone_.insert(id);
}

void SurrogateSweeper::EndNewOnes() {
  for (const DWORD id : RunningSurrogates()) {
    if (left_alone_.count(id) != 0) continue;
    const UniqueHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
    if (!process) continue;  // already gone
    TerminateProcess(process.get(), 0);
    WaitForSingleObject(process.get(), kEndWaitMs);
    ++ended_;
  }
}

}  // namespace quillmark::bench

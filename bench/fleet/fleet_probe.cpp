// The fleet benchmark's probe: runs one command line inside Wine and samples, while it runs, the
// private bytes it has committed, which only a walk of its address space shows (the runs that are
// only timed are timed by hyperfine, from outside).
//   fleet_probe OUTPUT EVERY_MS COMMAND_LINE
// The command's standard output and errors go to the file OUTPUT; EVERY_MS 0 takes no samples.
// Prints one finding a line, read by bench/report.py:
//   wall_ms <ms>, exit_code <code>, walk_ms <mean ms of one sample>, and for each sample
//   sample <ms since start> <private bytes> <of which in thread stacks> <thread stacks>
#include <windows.h>

#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

#include "child_process.h"
#include "clock.h"

namespace quillmark::bench {
namespace {

// A process's private bytes as Windows counts them: the committed private regions of its address
// space, summed as the footprint table sums them (Wine leaves the system's own counter empty), and
// how much of that its threads' stacks hold. A stack is an allocation that holds a guard page;
// Wine also commits each thread a kernel stack, as the allocation right after the thread's stack.
// Threads come and go at every lookup, so only the rest shows what the process keeps.
// Counted in 64 bits on both builds: SIZE_T is unsigned long on 32-bit Windows and unsigned long
// long on 64-bit, so no one printf conversion fits it on both.
struct PrivateBytes {
  std::uint64_t total = 0;
  std::uint64_t in_stacks = 0;
  std::uint64_t stacks = 0;  // how many: one per thread, counted in the same walk
};

// Walks the address space; empty when the walk stopped short of its top, as it does when the
// process ends meanwhile.
std::optional<PrivateBytes> CommittedPrivateBytes(HANDLE process) {
  SYSTEM_INFO system{};
  GetSystemInfo(&system);
  PrivateBytes bytes;
  enum class Kind { kOther, kStack, kKernelStack } kind = Kind::kOther;
  const void* allocation = nullptr;
  SIZE_T committed = 0;             // in that allocation, so far
  const BYTE* stack_end = nullptr;  // where the last stack seen ends
  const BYTE* address = nullptr;
  const auto finish_allocation = [&] {
    if (kind != Kind::kOther) bytes.in_stacks += committed;
    if (kind == Kind::kStack) {
      stack_end = address;
      ++bytes.stacks;
    }
  };
  MEMORY_BASIC_INFORMATION region{};
  while (VirtualQueryEx(process, address, &region, sizeof region) == sizeof region) {
    if (region.AllocationBase != allocation) {
      finish_allocation();
      allocation = region.AllocationBase;
      committed = 0;
      kind = region.BaseAddress == stack_end && region.Type == MEM_PRIVATE ? Kind::kKernelStack
                                                                           : Kind::kOther;
    }
    if ((region.Protect & PAGE_GUARD) != 0) kind = Kind::kStack;
    if (region.State == MEM_COMMIT && region.Type == MEM_PRIVATE) {
      bytes.total += region.RegionSize;
      committed += region.RegionSize;
    }
    const BYTE* next = static_cast<const BYTE*>(region.BaseAddress) + region.RegionSize;
    if (next <= address) break;
    address = next;
  }
  finish_allocation();
  if (address <= system.lpMaximumApplicationAddress) return std::nullopt;
  return bytes;
}

UniqueHandle InheritableOutput(const std::wstring& path) {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.bInheritHandle = TRUE;
  UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &attributes,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  Require(static_cast<bool>(file), "cannot write " + Utf8(path) + ": " + ErrorText(GetLastError()));
  return file;
}

int Run(int count, wchar_t** arguments) {
  Require(count == 4, "usage: fleet_probe OUTPUT EVERY_MS COMMAND_LINE");
  const UniqueHandle output = InheritableOutput(arguments[1]);
  const DWORD every_ms = static_cast<DWORD>(std::stoul(arguments[2]));
  double walks_ms = 0;
  int walks = 0;

  const double started = NowMs();
  const ChildProcess child = ChildProcess::Start(arguments[3], {nullptr, output.get()});
  // Without samples the wait is the whole run; with them, the end is seen at most one walk late.
  while (WaitForSingleObject(child.process(), every_ms == 0 ? INFINITE : every_ms) ==
         WAIT_TIMEOUT) {
    const double before = NowMs();
    const std::optional<PrivateBytes> bytes = CommittedPrivateBytes(child.process());
    walks_ms += NowMs() - before;
    ++walks;
    if (bytes) {
      std::printf("sample %.1f %" PRIu64 " %" PRIu64 " %" PRIu64 "\n", before - started,
                  bytes->total, bytes->in_stacks, bytes->stacks);
    }
  }
  const double ended = NowMs();
  DWORD exit_code = 0;
  GetExitCodeProcess(child.process(), &exit_code);
  std::printf("wall_ms %.1f\nexit_code %lu\nwalk_ms %.2f\n", ended - started, exit_code,
              walks == 0 ? 0.0 : walks_ms / walks);
  return 0;
}

}  // namespace
}  // namespace quillmark::bench

int wmain(int count, wchar_t** arguments) {
  try {
    return quillmark::bench::Run(count, arguments);
  } catch (const std::exception& failure) {
    std::printf("fleet_probe: failed: %s\n", failure.what());
    return 1;
  }
}

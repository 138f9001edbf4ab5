// Starting, feeding, reading and measuring the harness's child processes.
#include "child_process.h"

#include "com_failure.h"

namespace quillmark::bench {
namespace {

SECURITY_ATTRIBUTES Inheritable() {
  SECURITY_ATTRIBUTES attributes{};
  attributes.nLength = sizeof attributes;
  attributes.bInheritHandle = TRUE;
  return attributes;
}

}  // namespace

void Require(bool condition, const std::string& what) {
  if (!condition) throw BenchError(what);
}

std::string ErrorText(DWORD code) { return "error " + std::to_string(code); }

std::string LastErrorText(const wchar_t* operation) {
  const PlatformFailure failure = LastErrorFailure(operation);
  return Utf8(FormatFailureCode(failure.code()) + L" " + failure.description());
}

ChildProcess ChildProcess::Start(const std::wstring& command_line, const ChildStreams& streams) {
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  const bool redirected = streams.input != nullptr || streams.output != nullptr;
  if (redirected) {
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = streams.input;
    startup.hStdOutput = streams.output;
    startup.hStdError = streams.output;
  }
  std::wstring writable = command_line;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, writable.data(), nullptr, nullptr, redirected ? TRUE : FALSE, 0,
                      nullptr, nullptr, &startup, &started)) {
    const std::string reason = LastErrorText(L"CreateProcessW");
    throw BenchError("cannot start " + Utf8(command_line) + ": " + reason);
  }
  const UniqueThread thread(started.hThread);
  return ChildProcess(UniqueHandle(started.hProcess), started.dwProcessId);
}

ChildProcess::~ChildProcess() {
  if (running()) {
    TerminateProcess(process_.get(), 1);
    WaitForSingleObject(process_.get(), kWaitTimeoutMs);
  }
}

bool ChildProcess::running() const {
  return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT;
}

DWORD ChildProcess::WaitForExit() const {
  Require(WaitForSingleObject(process_.get(), kWaitTimeoutMs) == WAIT_OBJECT_0,
          "process " + std::to_string(id_) + " did not end");
  DWORD code = 0;
  GetExitCodeProcess(process_.get(), &code);
  return code;
}

ChildPipe::ChildPipe(Direction direction) {
  SECURITY_ATTRIBUTES attributes = Inheritable();
  HANDLE read_end = nullptr;
  HANDLE write_end = nullptr;
  if (!CreatePipe(&read_end, &write_end, &attributes, 0)) {
    throw BenchError("cannot create a pipe: " + LastErrorText(L"CreatePipe"));
  }
  UniqueHandle reader(read_end);
  UniqueHandle writer(write_end);
  harness_end_ = direction == Direction::kToChild ? std::move(writer) : std::move(reader);
  child_end_ = direction == Direction::kToChild ? std::move(reader) : std::move(writer);
  SetHandleInformation(harness_end_.get(), HANDLE_FLAG_INHERIT, 0);
}

void ChildPipe::WriteLine(const std::string& line) const {
  const std::string text = line + "\n";
  DWORD written = 0;
  if (!WriteFile(harness_end_.get(), text.data(), static_cast<DWORD>(text.size()), &written,
                 nullptr)) {
    throw BenchError("cannot write to a child: " + LastErrorText(L"WriteFile"));
  }
  Require(written == text.size(), "a child took part of a line");
}

std::optional<std::string> ChildPipe::ReadLine() {
  const ULONGLONG deadline = GetTickCount64() + kWaitTimeoutMs;
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end != std::string::npos) {
      std::string line = pending_.substr(0, end);
      pending_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    // Looks before reading, so that a child that stops answering ends the wait at the deadline.
    DWORD available = 0;
    if (!PeekNamedPipe(harness_end_.get(), nullptr, 0, nullptr, &available, nullptr)) {
      return std::nullopt;  // the child's end is closed
    }
    if (available == 0) {
      Require(GetTickCount64() < deadline, "a child did not answer");
      Sleep(1);
      continue;
    }
    std::string chunk(available, '\0');
    DWORD read = 0;
    if (!ReadFile(harness_end_.get(), chunk.data(), available, &read, nullptr) || read == 0) {
      return std::nullopt;
    }
    pending_.append(chunk, 0, read);
  }
}

OutputFile::OutputFile() : file_(NewTempFile(L"qb")) {
  if (!file_)
    throw BenchError("cannot name a temporary file: " + LastErrorText(L"GetTempFileNameW"));
  SECURITY_ATTRIBUTES attributes = Inheritable();
  handle_ = UniqueHandle(CreateFileW(file_.get().c_str(), GENERIC_WRITE,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE, &attributes, CREATE_ALWAYS,
                                     FILE_ATTRIBUTE_TEMPORARY, nullptr));
  if (!handle_) {
    const std::string reason = LastErrorText(L"CreateFileW");
    throw BenchError("cannot create " + Utf8(file_.get()) + ": " + reason);
  }
}

std::string OutputFile::Contents() const { return ReadWholeFile(file_.get()); }

std::string ReadWholeFile(const std::wstring& path) {
  // Others may still hold the file open for writing or deletion (a child's output).
  const UniqueHandle file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr));
  Require(static_cast<bool>(file), "cannot read " + Utf8(path));
  std::string contents;
  char chunk[16384];
  DWORD read = 0;
  while (ReadFile(file.get(), chunk, sizeof chunk, &read, nullptr) && read != 0) {
    contents.append(chunk, read);
  }
  return contents;
}

}  // namespace quillmark::bench

// The lookup floor: the management-service calls of one lookup of "." made directly, with no
// window, timed in-process. It writes "ready" once COM is set up; then each line read from standard
// input asks for one lookup, answered by one line, "<milliseconds> <serial number>", or by
// "error <step> <code>" and the program's end.
#include <windows.h>
#include <objbase.h>

#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "clock.h"
#include "floor_calls.h"
#include "utf8.h"

namespace {

using quillmark::bench::CallFailed;
using quillmark::bench::Utf8;

int ServeLookups() {
  std::printf("ready\n");
  std::fflush(stdout);
  std::string request;
  while (std::getline(std::cin, request)) {
    const double started = quillmark::bench::NowMs();
    double read = started;
    const std::wstring serial = quillmark::bench::FirstSerialNumber(read);
    std::printf("%.3f %s\n", read - started, Utf8(serial).c_str());
    std::fflush(stdout);
  }
  return 0;
}

}  // namespace

int wmain() {
  const HRESULT initialised =
      CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  if (FAILED(initialised)) {
    std::printf("error CoInitializeEx 0x%08lx\n", static_cast<unsigned long>(initialised));
    return 1;
  }
  int exit_code = 0;
  try {
    exit_code = ServeLookups();
  } catch (const CallFailed& failure) {
    std::printf("error %s 0x%08lx\n", failure.step, static_cast<unsigned long>(failure.code));
    exit_code = 1;
  } catch (const std::exception& failure) {
    std::printf("error %s\n", failure.what());
    exit_code = 1;
  }
  CoUninitialize();
  return exit_code;
}

// Appends the stand-in service's record lines to the file the test names.
#include "standin_record.h"

#include <mutex>

#include "standin_file.h"
#include "standin_lock.h"
#include "standin_script.h"

namespace standin {
namespace {

// Bindings on many threads record at once; one append at a time keeps every line whole.
ExclusiveLock record_lock;

}  // namespace

void RecordLine(const std::string& line) noexcept {
  try {
    const std::wstring path = EnvironmentText(kRecordVariable);
    if (path.empty()) return;
    if (EnvironmentText(kRecordOnlyVariable) == kConnectionsOnly && !IsConnectionLine(line)) return;
    const std::string text = line + "\n";
    // Appended line by line, each in one write, so that the test can read the record at any
    // moment and never sees part of a line.
    const std::lock_guard<ExclusiveLock> guard(record_lock);
    AppendToFile(path, text);
  } catch (...) {
    // Out of memory: the line is lost, and the test sees a record that does not match.
  }
}

}  // namespace standin

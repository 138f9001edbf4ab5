// Appends the stand-in service's record lines to the file the test names.
#include "standin_record.h"

#include "standin_file.h"
#include "standin_script.h"

namespace standin {

void RecordLine(const std::string& line) noexcept {
  try {
    const std::wstring path = EnvironmentText(kRecordVariable);
    // Appended line by line, so that the test can read the record at any moment.
    if (!path.empty()) AppendToFile(path, line + "\n");
  } catch (...) {
    // Out of memory: the line is lost, and the test sees a record that does not match.
  }
}

}  // namespace standin

// The inventory's file on disk: one run at a time, found free of other programs when a run
// starts, and replaced in one step when it ends.
#pragma once

#include <optional>
#include <string>

#include "win32_owners.h"

namespace quillmark::companion {

// The inventory's bytes, or the one line that says why a run cannot use its file.
struct InventoryBytes {
  std::optional<std::string> bytes;  // empty text for a file that does not exist yet
  std::wstring problem;
};

class InventoryFile {
 public:
  explicit InventoryFile(std::wstring path) : path_(std::move(path)) {}

  // For a run that writes the inventory: takes the run's lock, FILE.lock, open without sharing
  // and deleted when its handle closes, so that a second run is refused while this process lives
  // however it ends; makes sure that no other program holds the file open in a way that would
  // keep it from being replaced (a spreadsheet program keeps its file open); and reads it.
  InventoryBytes OpenForRun();
  // For --names-only: the bytes alone, with no lock, whoever else has the file open.
  InventoryBytes Read() const;

  // Writes the bytes to FILE.new beside it, flushed to the disk, then puts that file in the
  // inventory's place in one step, so that a process ended at any moment leaves the old inventory
  // or the new one. Refuses to replace a file that another program changed since it was read.
  // The line that says what went wrong and where the merged inventory is kept, if anything did.
  std::optional<std::wstring> Replace(const std::string& bytes);

  const std::wstring& path() const noexcept { return path_; }

 private:
  // The file's size and last write, to tell whether another program wrote it meanwhile; nothing
  // for a file that does not exist.
  struct Stamp {
    unsigned long long size = 0;
    unsigned long long written = 0;
    bool operator==(const Stamp& other) const {
      return size == other.size && written == other.written;
    }
  };
  std::optional<Stamp> StampNow() const;

  std::wstring path_;
  UniqueFile lock_;
  std::optional<Stamp> read_stamp_;
};

}  // namespace quillmark::companion

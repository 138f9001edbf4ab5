// The words a row's status is written as.
#include "lookup_row.h"

namespace quillmark::companion {
namespace {

struct StatusName {
  RowStatus status;
  const wchar_t* word;
};

constexpr StatusName kStatusNames[] = {
    {RowStatus::kOk, L"ok"},
    {RowStatus::kNoInstance, L"no instance"},
    {RowStatus::kFailed, L"failed"},
    {RowStatus::kTimedOut, L"timed out"},
    {RowStatus::kUnreachable, L"unreachable"},
    {RowStatus::kNotLookedUp, L"not looked up"},
};

}  // namespace

const wchar_t* StatusWord(RowStatus status) {
  for (const StatusName& name : kStatusNames) {
    if (name.status == status) return name.word;
  }
  return L"failed";
}

}  // namespace quillmark::companion

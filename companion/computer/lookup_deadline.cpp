// The binder that starts no call past the computer's deadline.
#include "lookup_deadline.h"

#include <utility>

#include "platform_failure.h"

namespace quillmark::companion {
namespace {

// A walk whose every step is checked against the deadline first.
class DeadlineWalk : public MemberWalk {
 public:
  DeadlineWalk(std::unique_ptr<MemberWalk> inner, SteadyTime deadline, SteadyClock now)
      : inner_(std::move(inner)), deadline_(deadline), now_(std::move(now)) {}
  ManagementObjectRef Next() override {
    ThrowIfPast(deadline_, now_());
    return inner_->Next();
  }

 private:
  std::unique_ptr<MemberWalk> inner_;
  SteadyTime deadline_;
  SteadyClock now_;
};

}  // namespace

DeadlinePassed::DeadlinePassed()
    : PlatformFailure(kTimedOutCode, DescribeFailureCode(kTimedOutCode)) {}

void ThrowIfPast(SteadyTime deadline, SteadyTime now) {
  if (now >= deadline) throw DeadlinePassed();
}

DeadlineBinder::DeadlineBinder(ManagementBinder& inner, SteadyTime deadline, SteadyClock now)
    : inner_(inner), deadline_(deadline), now_(std::move(now)) {}

ManagementObjectRef DeadlineBinder::BindMoniker(const std::wstring& display_name) {
  Check();
  return inner_.BindMoniker(display_name);
}

ManagementObjectRef DeadlineBinder::CallMethod(ManagementObject& target, const std::wstring& method,
                                               const std::wstring& text_argument) {
  Check();
  return inner_.CallMethod(target, method, text_argument);
}

std::unique_ptr<MemberWalk> DeadlineBinder::WalkMembers(ManagementObject& collection) {
  Check();
  return std::make_unique<DeadlineWalk>(inner_.WalkMembers(collection), deadline_, now_);
}

std::wstring DeadlineBinder::ReadPropertyText(ManagementObject& object,
                                              const std::wstring& property) {
  Check();
  return inner_.ReadPropertyText(object, property);
}

}  // namespace quillmark::companion

// BSTR, VARIANT and apartment owners.
#include "com_owners.h"

#include <cstring>
#include <limits>

#include "com_failure.h"

namespace quillmark {

UniqueBstr::UniqueBstr(const std::wstring& text) {
  if (text.size() > std::numeric_limits<UINT>::max() / sizeof(wchar_t)) {
    throw FailureFromHresult(E_OUTOFMEMORY);
  }
  value_ = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  if (value_ == nullptr) throw FailureFromHresult(E_OUTOFMEMORY);
}

UniqueBstr UniqueBstr::Adopt(BSTR value) noexcept {
  UniqueBstr owner;
  owner.value_ = value;
  return owner;
}

UniqueBstr& UniqueBstr::operator=(UniqueBstr&& other) noexcept {
  if (this != &other) {
    reset();
    value_ = other.release();
  }
  return *this;
}

BSTR UniqueBstr::release() noexcept {
  BSTR value = value_;
  value_ = nullptr;
  return value;
}

void UniqueBstr::reset() noexcept {
  SysFreeString(value_);
  value_ = nullptr;
}

BSTR* UniqueBstr::put() noexcept {
  reset();
  return &value_;
}

std::wstring UniqueBstr::text() const {
  if (value_ == nullptr) return {};
  return std::wstring(value_, SysStringLen(value_));
}

UniqueVariant::UniqueVariant(UniqueVariant&& other) noexcept {
  // A VARIANT is moved by taking its bits and leaving the source empty.
  std::memcpy(&value_, &other.value_, sizeof value_);
  VariantInit(&other.value_);
}

UniqueVariant& UniqueVariant::operator=(UniqueVariant&& other) noexcept {
  if (this != &other) {
    reset();
    std::memcpy(&value_, &other.value_, sizeof value_);
    VariantInit(&other.value_);
  }
  return *this;
}

void UniqueVariant::reset() noexcept {
  VariantClear(&value_);
  VariantInit(&value_);
}

VARIANT* UniqueVariant::put() noexcept {
  reset();
  return &value_;
}

ComApartment::ComApartment(DWORD model) {
  const HRESULT result = CoInitializeEx(nullptr, model);
  if (FAILED(result)) throw FailureFromHresult(result);
}

}  // namespace quillmark

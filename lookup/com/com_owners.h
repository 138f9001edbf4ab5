// Owners for the automation values that ComPtr does not cover, BSTR and VARIANT, and for the
// thread's COM apartment.
#pragma once

#include <windows.h>
#include <objbase.h>
#include <oleauto.h>

#include <string>

namespace quillmark {

// Owns one BSTR; frees it with SysFreeString. Move-only.
class UniqueBstr {
 public:
  UniqueBstr() noexcept = default;
  explicit UniqueBstr(const std::wstring& text);  // throws PlatformFailure when out of memory
  // Takes ownership of a BSTR that a callee allocated.
  static UniqueBstr Adopt(BSTR value) noexcept;
  UniqueBstr(UniqueBstr&& other) noexcept : value_(other.release()) {}
  UniqueBstr& operator=(UniqueBstr&& other) noexcept;
  UniqueBstr(const UniqueBstr&) = delete;
  UniqueBstr& operator=(const UniqueBstr&) = delete;
  ~UniqueBstr() { reset(); }

  BSTR get() const noexcept { return value_; }
  BSTR release() noexcept;
  void reset() noexcept;
  // Frees the current value and returns the address for a callee to fill.
  BSTR* put() noexcept;
  // The whole text, embedded nulls included; a null BSTR is the empty text.
  std::wstring text() const;

 private:
  BSTR value_ = nullptr;
};

// Owns one VARIANT: always initialised, cleared with VariantClear. Move-only.
class UniqueVariant {
 public:
  UniqueVariant() noexcept { VariantInit(&value_); }
  UniqueVariant(UniqueVariant&& other) noexcept;
  UniqueVariant& operator=(UniqueVariant&& other) noexcept;
  UniqueVariant(const UniqueVariant&) = delete;
  UniqueVariant& operator=(const UniqueVariant&) = delete;
  ~UniqueVariant() { reset(); }

  const VARIANT& get() const noexcept { return value_; }
  VARIANT& get() noexcept { return value_; }
  void reset() noexcept;
  // Clears the current value and returns the address for a callee to fill.
  VARIANT* put() noexcept;

 private:
  VARIANT value_;
};

// COM on the calling thread for as long as this lives. Throws PlatformFailure when CoInitializeEx
// fails (another apartment model already chosen, say), so that CoUninitialize is only ever paired
// with a call that succeeded; S_FALSE (COM already there, in the same model) is such a call.
class ComApartment {
 public:
  explicit ComApartment(DWORD model = COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;
  ~ComApartment() { CoUninitialize(); }
};

}  // namespace quillmark

// The object model that the in-process fakes and the stand-in service share: a reference-counted
// COM object that counts itself among its kind's live objects, and an IDispatch whose members are
// named handlers, answered as the real management service answers late-bound calls.
#pragma once

#include <windows.h>
#include <oaidl.h>
#include <wrl/client.h>

#include <functional>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace quillmark::com_support {

// The reference count of a test's own COM object: the object starts with one reference, held by
// whoever made it, and deletes itself when the last one is released.
class ReferenceCount {
 public:
  ULONG Add() { return static_cast<ULONG>(InterlockedIncrement(&count_)); }

  // Deletes `object` when this release was its last reference.
  template <typename Object>
  ULONG Release(Object* object) {
    const LONG left = InterlockedDecrement(&count_);
    if (left == 0) delete object;
    return static_cast<ULONG>(left);
  }

 private:
  LONG count_ = 1;
};

// A COM object answering IUnknown and `Interface`. `Census` is the base that counts the live
// objects of its kind (constructed with the arguments given here, destroyed last).
template <typename Interface, typename Census>
class CountedObject : public Interface, public Census {
 public:
  template <typename... CensusArguments>
  explicit CountedObject(CensusArguments&&... arguments)
      : Census(std::forward<CensusArguments>(arguments)...) {}

  ULONG STDMETHODCALLTYPE AddRef() override { return references_.Add(); }
  ULONG STDMETHODCALLTYPE Release() override { return references_.Release(this); }
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == __uuidof(Interface)) {
      *object = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

 private:
  ReferenceCount references_;
};

// Takes over the one reference a new object starts with. (mingw-w64's ComPtr::Attach adds a
// reference of its own, so it cannot be used for this.)
template <typename Interface, typename Concrete>
Microsoft::WRL::ComPtr<Interface> Adopt(Concrete* object) {
  Microsoft::WRL::ComPtr<Interface> owner;
  *owner.GetAddressOf() = object;
  return owner;
}

// The flags of a property read: the real service requires the method flag with it.
inline constexpr WORD kPropertyGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

// An IDispatch whose members are named handlers. `Base` is a CountedObject over IDispatch; the
// arguments after the members construct it.
template <typename Base>
class NamedDispatch : public Base {
 public:
  using Handler = std::function<HRESULT(DISPPARAMS*, VARIANT*, EXCEPINFO*)>;
  struct Member {
    std::wstring name;
    DISPID id;
    WORD required_flags;  // all of them must be given, as the real service insists
    Handler handler;
  };

  template <typename... BaseArguments>
  explicit NamedDispatch(std::vector<Member> members, BaseArguments&&... arguments)
      : Base(std::forward<BaseArguments>(arguments)...), members_(std::move(members)) {}

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info != nullptr) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (count == 0 || names == nullptr || ids == nullptr) return E_INVALIDARG;
    for (UINT index = 0; index < count; ++index) ids[index] = DISPID_UNKNOWN;
    const Member* member = MemberNamed(names[0]);
    if (member == nullptr || count != 1) return DISP_E_UNKNOWNNAME;
    ids[0] = member->id;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* parameters,
                                   VARIANT* result, EXCEPINFO* exception, UINT*) override {
    const Member* member = MemberWithId(id);
    if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
    if ((flags & member->required_flags) != member->required_flags) return E_NOTIMPL;
    if (parameters == nullptr || result == nullptr) return E_INVALIDARG;
    try {
      return member->handler(parameters, result, exception);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }

 protected:
  const Member* MemberNamed(const wchar_t* wanted) const {
    for (const Member& member : members_) {
      if (CompareStringOrdinal(member.name.c_str(), -1, wanted, -1, TRUE) == CSTR_EQUAL) {
        return &member;
      }
    }
    return nullptr;
  }
  const Member* MemberWithId(DISPID id) const {
    for (const Member& member : members_) {
      if (member.id == id) return &member;
    }
    return nullptr;
  }

 private:
  std::vector<Member> members_;
};

}  // namespace quillmark::com_support

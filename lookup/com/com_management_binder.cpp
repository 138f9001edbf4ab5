// COM automation behind the serial lookup.
#include "com_management_binder.h"

#include <objbase.h>
#include <windows.h>
#include <oleauto.h>
#include <wrl/client.h>

#include <string>
#include <utility>

#include "com_failure.h"
#include "com_owners.h"

namespace quillmark {
namespace {

using Microsoft::WRL::ComPtr;

class DispatchObject : public ManagementObject {
 public:
  explicit DispatchObject(ComPtr<IDispatch> dispatch) : dispatch_(std::move(dispatch)) {}
  IDispatch* get() const { return dispatch_.Get(); }

 private:
  ComPtr<IDispatch> dispatch_;
};

// Every ManagementObject this binder is handed was made by it.
IDispatch* DispatchOf(ManagementObject& object) {
  return static_cast<DispatchObject&>(object).get();
}

DISPID DispIdOf(IDispatch* target, const std::wstring& member) {
  const UniqueBstr name(member);
  OLECHAR* names[] = {name.get()};
  DISPID id = DISPID_UNKNOWN;
  ThrowIfCallFails(
      [&] { return target->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); });
  return id;
}

// Invokes a member and returns its result; a failure carries the callee's own description.
UniqueVariant Invoke(IDispatch* target, DISPID id, WORD flags, DISPPARAMS& parameters) {
  UniqueVariant result;
  EXCEPINFO exception{};
  UINT argument_error = 0;
  ClearErrorInfo();
  const HRESULT code = target->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters,
                                      result.put(), &exception, &argument_error);
  if (code == DISP_E_EXCEPTION) throw FailureFromExcepInfo(exception);
  ThrowIfFailed(code);
  return result;
}

// A property read as scripting does it: the method flag too, which the management service needs.
constexpr WORD kPropertyGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

ComPtr<IDispatch> DispatchFromVariant(const VARIANT& value) {
  ComPtr<IDispatch> dispatch;
  if (V_VT(&value) == VT_DISPATCH && V_DISPATCH(&value) != nullptr) {
    dispatch = V_DISPATCH(&value);
  } else if (V_VT(&value) == VT_UNKNOWN && V_UNKNOWN(&value) != nullptr) {
    ThrowIfCallFails([&] { return V_UNKNOWN(&value)->QueryInterface(IID_PPV_ARGS(&dispatch)); });
  } else {
    throw FailureFromHresult(DISP_E_TYPEMISMATCH);  // a value where an object was expected
  }
  return dispatch;
}

ManagementObjectRef ObjectFromVariant(const VARIANT& value) {
  return std::make_unique<DispatchObject>(DispatchFromVariant(value));
}

class EnumeratorWalk : public MemberWalk {
 public:
  explicit EnumeratorWalk(ComPtr<IEnumVARIANT> enumerator) : enumerator_(std::move(enumerator)) {}

  ManagementObjectRef Next() override {
    UniqueVariant member;
    ClearErrorInfo();
    const HRESULT code = enumerator_->Next(1, member.put(), nullptr);
    if (code == S_FALSE) return nullptr;
    ThrowIfFailed(code);
    if (code != S_OK) throw FailureFromHresult(E_UNEXPECTED);
    return ObjectFromVariant(member.get());
  }

 private:
  ComPtr<IEnumVARIANT> enumerator_;
};

// Text by the platform's ordinary rules: text unchanged, numbers in their usual form, null empty.
std::wstring VariantText(const VARIANT& value) {
  switch (V_VT(&value)) {
    case VT_EMPTY:
    case VT_NULL:
      return {};
    case VT_BSTR:
      return std::wstring(V_BSTR(&value), SysStringLen(V_BSTR(&value)));
    default: {
      UniqueVariant text;
      // The source is only read; the declaration predates const.
      ThrowIfCallFails([&] {
        return VariantChangeType(text.put(), const_cast<VARIANT*>(&value), VARIANT_ALPHABOOL,
                                 VT_BSTR);
      });
      return std::wstring(V_BSTR(&text.get()), SysStringLen(V_BSTR(&text.get())));
    }
  }
}

}  // namespace

ComPtr<IDispatch> BindDisplayName(const std::wstring& display_name) {
  ComPtr<IBindCtx> context;
  ThrowIfCallFails([&] { return CreateBindCtx(0, &context); });
  ComPtr<IMoniker> moniker;
  ULONG eaten = 0;
  ThrowIfCallFails(
      [&] { return MkParseDisplayName(context.Get(), display_name.c_str(), &eaten, &moniker); });
  ComPtr<IDispatch> object;
  ThrowIfCallFails(
      [&] { return moniker->BindToObject(context.Get(), nullptr, IID_PPV_ARGS(&object)); });
  return object;
}

void LoadMonikerHandler(const std::wstring& scheme) {
  CLSID handler{};
  ThrowIfCallFails([&] { return CLSIDFromProgID(scheme.c_str(), &handler); });
  ComPtr<IUnknown> class_object;
  ThrowIfCallFails([&] {
    return CoGetClassObject(handler, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&class_object));
  });
}

ManagementObjectRef ComManagementBinder::BindMoniker(const std::wstring& display_name) {
  ComPtr<IDispatch> services = bind_(display_name);
  if (!services) throw FailureFromHresult(E_POINTER);
  return std::make_unique<DispatchObject>(std::move(services));
}

ManagementObjectRef ComManagementBinder::CallMethod(ManagementObject& target,
                                                    const std::wstring& method,
                                                    const std::wstring& text_argument) {
  IDispatch* dispatch = DispatchOf(target);
  const DISPID id = DispIdOf(dispatch, method);
  UniqueVariant argument;
  V_VT(&argument.get()) = VT_BSTR;
  V_BSTR(&argument.get()) = UniqueBstr(text_argument).release();
  DISPPARAMS parameters{&argument.get(), nullptr, 1, 0};
  const UniqueVariant result = Invoke(dispatch, id, DISPATCH_METHOD, parameters);
  return ObjectFromVariant(result.get());
}

std::unique_ptr<MemberWalk> ComManagementBinder::WalkMembers(ManagementObject& collection) {
  DISPPARAMS no_arguments{nullptr, nullptr, 0, 0};
  const UniqueVariant result =
      Invoke(DispatchOf(collection), DISPID_NEWENUM, kPropertyGet, no_arguments);
  IUnknown* unknown = nullptr;
  if (V_VT(&result.get()) == VT_UNKNOWN) unknown = V_UNKNOWN(&result.get());
  if (V_VT(&result.get()) == VT_DISPATCH) unknown = V_DISPATCH(&result.get());
  if (unknown == nullptr) throw FailureFromHresult(DISP_E_TYPEMISMATCH);
  ComPtr<IEnumVARIANT> enumerator;
  ThrowIfCallFails([&] { return unknown->QueryInterface(IID_PPV_ARGS(&enumerator)); });
  return std::make_unique<EnumeratorWalk>(std::move(enumerator));
}

std::wstring ComManagementBinder::ReadPropertyText(ManagementObject& object,
                                                   const std::wstring& property) {
  IDispatch* dispatch = DispatchOf(object);
  const DISPID id = DispIdOf(dispatch, property);
  DISPPARAMS no_arguments{nullptr, nullptr, 0, 0};
  const UniqueVariant value = Invoke(dispatch, id, kPropertyGet, no_arguments);
  return VariantText(value.get());
}

}  // namespace quillmark

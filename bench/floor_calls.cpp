// The bare management-service calls of one lookup of ".", shared by the floors.
#include "floor_calls.h"

#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

#include "clock.h"
#include "com_owners.h"

namespace quillmark::bench {
namespace {

using Microsoft::WRL::ComPtr;
using quillmark::UniqueBstr;
using quillmark::UniqueVariant;

constexpr wchar_t kMoniker[] = L"winmgmts:{impersonationLevel=impersonate}!//.";
// The management service answers property reads only with the method flag as well.
constexpr WORD kPropertyGet = DISPATCH_METHOD | DISPATCH_PROPERTYGET;

void Check(HRESULT code, const char* step) {
  if (FAILED(code)) throw CallFailed{step, code};
}

ComPtr<IDispatch> BindServices() {
  ComPtr<IBindCtx> context;
  Check(CreateBindCtx(0, &context), "CreateBindCtx");
  ComPtr<IMoniker> moniker;
  ULONG eaten = 0;
  Check(MkParseDisplayName(context.Get(), kMoniker, &eaten, &moniker), "MkParseDisplayName");
  ComPtr<IDispatch> services;
  Check(moniker->BindToObject(context.Get(), nullptr, IID_PPV_ARGS(&services)), "BindToObject");
  return services;
}

DISPID MemberId(IDispatch* object, const wchar_t* member) {
  const UniqueBstr name(member);
  OLECHAR* names[] = {name.get()};
  DISPID id = DISPID_UNKNOWN;
  Check(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), "GetIDsOfNames");
  return id;
}

UniqueVariant Invoke(IDispatch* object, DISPID id, WORD flags, DISPPARAMS& parameters,
                     const char* step) {
  UniqueVariant result;
  Check(object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &parameters, result.put(), nullptr,
                       nullptr),
        step);
  return result;
}

template <typename Interface>
ComPtr<Interface> ObjectIn(const UniqueVariant& value, const char* step) {
  const VARIANT& variant = value.get();
  IUnknown* unknown = nullptr;
  if (V_VT(&variant) == VT_DISPATCH) unknown = V_DISPATCH(&variant);
  if (V_VT(&variant) == VT_UNKNOWN) unknown = V_UNKNOWN(&variant);
  if (unknown == nullptr) throw CallFailed{step, DISP_E_TYPEMISMATCH};
  ComPtr<Interface> object;
  Check(unknown->QueryInterface(IID_PPV_ARGS(&object)), step);
  return object;
}

std::wstring TextOf(UniqueVariant& value) {
  if (V_VT(&value.get()) == VT_BSTR) {
    return std::wstring(V_BSTR(&value.get()), SysStringLen(V_BSTR(&value.get())));
  }
  UniqueVariant text;
  Check(VariantChangeType(text.put(), &value.get(), VARIANT_ALPHABOOL, VT_BSTR),
        "VariantChangeType");
  return std::wstring(V_BSTR(&text.get()), SysStringLen(V_BSTR(&text.get())));
}

}  // namespace

std::wstring FirstSerialNumber(double& read_at) {
  const ComPtr<IDispatch> services = BindServices();
  UniqueVariant bios_class;
  V_VT(&bios_class.get()) = VT_BSTR;
  V_BSTR(&bios_class.get()) = UniqueBstr(L"Win32_BIOS").release();
  DISPPARAMS one_argument{&bios_class.get(), nullptr, 1, 0};
  const UniqueVariant collection = Invoke(services.Get(), MemberId(services.Get(), L"InstancesOf"),
                                          DISPATCH_METHOD, one_argument, "InstancesOf");
  DISPPARAMS no_arguments{nullptr, nullptr, 0, 0};
  const UniqueVariant enumerator_value =
      Invoke(ObjectIn<IDispatch>(collection, "InstancesOf").Get(), DISPID_NEWENUM, kPropertyGet,
             no_arguments, "_NewEnum");
  const ComPtr<IEnumVARIANT> members = ObjectIn<IEnumVARIANT>(enumerator_value, "_NewEnum");
  UniqueVariant member;
  const HRESULT next = members->Next(1, member.put(), nullptr);
  Check(next, "Next");
  if (next != S_OK) throw CallFailed{"Next", S_FALSE};
  const ComPtr<IDispatch> bios = ObjectIn<IDispatch>(member, "Next");
  UniqueVariant serial = Invoke(bios.Get(), MemberId(bios.Get(), L"SerialNumber"), kPropertyGet,
                                no_arguments, "SerialNumber");
  std::wstring text = TextOf(serial);
  read_at = NowMs();
  return text;
}

}  // namespace quillmark::bench

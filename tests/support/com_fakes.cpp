// Reference-counted fakes of the management service's automation objects.
#include "com_fakes.h"

#include "automation_objects.h"
#include "com_owners.h"

#include <oleauto.h>

#include <memory>
#include <utility>

namespace quillmark::fakes {
namespace {

using Microsoft::WRL::ComPtr;

LONG live_objects = 0;

// Raises the scripted failure for this step and occurrence, if there is one.
HRESULT InjectedResult(ServiceScript& script, const std::wstring& step, int occurrence,
                       EXCEPINFO* exception) {
  for (const InjectedFailure& failure : script.failures) {
    if (failure.step != step || failure.occurrence != occurrence) continue;
    switch (failure.raise) {
      case Raise::kReturnCode:
        return failure.code;
      case Raise::kErrorInfo: {
        ComPtr<ICreateErrorInfo> create;
        if (SUCCEEDED(CreateErrorInfo(&create))) {
          create->SetDescription(const_cast<LPOLESTR>(failure.description.c_str()));
          ComPtr<IErrorInfo> info;
          if (SUCCEEDED(create.As(&info))) SetErrorInfo(0, info.Get());
        }
        return failure.code;
      }
      case Raise::kExcepInfo:
      case Raise::kExcepInfoWCode:
        if (exception == nullptr) return failure.code;
        *exception = EXCEPINFO{};
        if (failure.raise == Raise::kExcepInfoWCode) {
          exception->wCode = static_cast<WORD>(failure.code);
        } else {
          exception->scode = failure.code;
        }
        exception->bstrSource = SysAllocString(L"Fake management service");
        exception->bstrDescription = SysAllocString(failure.description.c_str());
        return DISP_E_EXCEPTION;
    }
  }
  return S_OK;
}

// Counts itself among the live fakes for as long as it lives.
class Counted {
 public:
  Counted() { InterlockedIncrement(&live_objects); }
  Counted(const Counted&) = delete;
  Counted& operator=(const Counted&) = delete;
  virtual ~Counted() { InterlockedDecrement(&live_objects); }
};

using com_support::kPropertyGet;
using FakeDispatch = com_support::NamedDispatch<com_support::CountedObject<IDispatch, Counted>>;

ComPtr<IDispatch> Adopt(FakeDispatch* fake) { return com_support::Adopt<IDispatch>(fake); }

ComPtr<IDispatch> MakeInstance(ServiceScript& script, VARIANT& serial) {
  auto value = std::make_shared<UniqueVariant>();  // the instance's own copy, cleared with it
  VariantCopy(value->put(), &serial);
  auto read = [&script, value](DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception) {
    script.calls.push_back(L"SerialNumber");
    if (parameters->cArgs != 0) return DISP_E_BADPARAMCOUNT;
    const HRESULT injected = InjectedResult(script, L"SerialNumber", ++script.reads, exception);
    if (injected != S_OK) return injected;
    return VariantCopy(result, &value->get());
  };
  return Adopt(new FakeDispatch({{L"SerialNumber", 1, kPropertyGet, read}}));
}

class FakeEnumerator : public com_support::CountedObject<IEnumVARIANT, Counted> {
 public:
  explicit FakeEnumerator(ServiceScript& script) : script_(script) {}

  HRESULT STDMETHODCALLTYPE Next(ULONG count, VARIANT* members, ULONG* fetched) override {
    script_.calls.push_back(L"Next");
    if (count != 1) return E_INVALIDARG;
    if (fetched != nullptr) *fetched = 0;
    const HRESULT injected = InjectedResult(script_, L"Next", ++script_.next_calls, nullptr);
    if (injected != S_OK) return injected;
    if (position_ >= script_.serials.size()) return S_FALSE;
    V_VT(&members[0]) = VT_DISPATCH;
    V_DISPATCH(&members[0]) = MakeInstance(script_, script_.serials[position_++]).Detach();
    if (fetched != nullptr) *fetched = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Reset() override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT**) override { return E_NOTIMPL; }

 private:
  ServiceScript& script_;
  size_t position_ = 0;
};

ComPtr<IDispatch> MakeCollection(ServiceScript& script) {
  auto new_enum = [&script](DISPPARAMS*, VARIANT* result, EXCEPINFO* exception) {
    script.calls.push_back(L"_NewEnum");
    const HRESULT injected = InjectedResult(script, L"_NewEnum", 1, exception);
    if (injected != S_OK) return injected;
    V_VT(result) = VT_UNKNOWN;
    V_UNKNOWN(result) = new FakeEnumerator(script);
    return S_OK;
  };
  return Adopt(new FakeDispatch({{L"_NewEnum", DISPID_NEWENUM, DISPATCH_PROPERTYGET, new_enum}}));
}

}  // namespace

LONG LiveObjects() { return live_objects; }

ComPtr<IDispatch> MakeServices(ServiceScript& script) {
  auto instances_of = [&script](DISPPARAMS* parameters, VARIANT* result, EXCEPINFO* exception) {
    std::wstring argument = L"?";
    if (parameters->cArgs == 1 && V_VT(&parameters->rgvarg[0]) == VT_BSTR) {
      argument = V_BSTR(&parameters->rgvarg[0]);
    }
    script.calls.push_back(L"InstancesOf(" + argument + L")");
    if (parameters->cArgs != 1) return DISP_E_BADPARAMCOUNT;
    const HRESULT injected = InjectedResult(script, L"InstancesOf", 1, exception);
    if (injected != S_OK) return injected;
    V_VT(result) = VT_DISPATCH;
    V_DISPATCH(result) = MakeCollection(script).Detach();
    return S_OK;
  };
  return Adopt(new FakeDispatch({{L"InstancesOf", 7, DISPATCH_METHOD, instances_of}}));
}

}  // namespace quillmark::fakes

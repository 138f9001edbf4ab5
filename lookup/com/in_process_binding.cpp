// The companion's binding of "winmgmts:" monikers, through the handler loaded in this process.
#include "in_process_binding.h"

#include <objbase.h>
#include <windows.h>

#include "com_failure.h"
#include "com_management_binder.h"

namespace quillmark {
namespace {

using Microsoft::WRL::ComPtr;

// The scheme's parser: the class object itself where it is one, else an object it makes.
ComPtr<IParseDisplayName> InProcessParser(const std::wstring& scheme) {
  CLSID handler{};
  ThrowIfCallFails([&] { return CLSIDFromProgID(scheme.c_str(), &handler); });
  ComPtr<IParseDisplayName> parser;
  const HRESULT direct =
      CoGetClassObject(handler, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&parser));
  if (SUCCEEDED(direct)) return parser;
  ComPtr<IClassFactory> factory;
  ThrowIfCallFails([&] {
    return CoGetClassObject(handler, CLSCTX_INPROC_SERVER, nullptr, IID_PPV_ARGS(&factory));
  });
  ThrowIfCallFails([&] { return factory->CreateInstance(nullptr, IID_PPV_ARGS(&parser)); });
  return parser;
}

}  // namespace

ComPtr<IDispatch> BindInProcess(const std::wstring& display_name) {
  const std::size_t colon = display_name.find(L':');
  if (colon == std::wstring::npos || colon == 0) return BindDisplayName(display_name);
  const ComPtr<IParseDisplayName> parser = InProcessParser(display_name.substr(0, colon));
  ComPtr<IBindCtx> context;
  ThrowIfCallFails([&] { return CreateBindCtx(0, &context); });
  ULONG eaten = 0;
  ComPtr<IMoniker> moniker;
  // The parser's declaration predates const; it only reads the name.
  ThrowIfCallFails([&] {
    return parser->ParseDisplayName(context.Get(), const_cast<wchar_t*>(display_name.c_str()),
                                    &eaten, &moniker);
  });
  if (eaten != display_name.size() || !moniker) return BindDisplayName(display_name);
  ComPtr<IDispatch> object;
  ThrowIfCallFails(
      [&] { return moniker->BindToObject(context.Get(), nullptr, IID_PPV_ARGS(&object)); });
  return object;
}

}  // namespace quillmark

#include "platform/DirectXVersion.h"

#include "platform/win32/WideText.h"
// The component's class and interface identifiers are defined here rather than taken from dxguid.
#include <initguid.h>
#include <dxdiag.h>
#include <oleauto.h>

namespace platform {
namespace {

// Releases a COM interface when it goes.
template <typename Interface>
class ComRef {
 public:
  ComRef() = default;
  ComRef(const ComRef&) = delete;
  ComRef& operator=(const ComRef&) = delete;
  ~ComRef() {
    if (pointer_) pointer_->Release();
  }
  Interface* operator->() const { return pointer_; }
  Interface& operator*() const { return *pointer_; }
  Interface** Out() { return &pointer_; }
  void** OutVoid() { return reinterpret_cast<void**>(&pointer_); }
  explicit operator bool() const { return pointer_ != nullptr; }

 private:
  Interface* pointer_ = nullptr;
};

// COM for the calling thread, undone at the end only when it was this call that set it up
// (S_FALSE too: it counts one more initialisation). A thread already in another apartment keeps
// it, and the component works there as well.
class ComForThread {
 public:
  ComForThread() : initialised_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ComForThread(const ComForThread&) = delete;
  ComForThread& operator=(const ComForThread&) = delete;
  ~ComForThread() {
    if (initialised_) CoUninitialize();
  }

 private:
  bool initialised_;
};

class Property {
 public:
  Property() { VariantInit(&value_); }
  Property(const Property&) = delete;
  Property& operator=(const Property&) = delete;
  ~Property() { VariantClear(&value_); }
  VARIANT* Out() { return &value_; }
  const VARIANT& Value() const { return value_; }

 private:
  VARIANT value_;
};

std::optional<uint32_t> NumberProperty(IDxDiagContainer& container, const wchar_t* name) {
  Property property;
  if (FAILED(container.GetProp(name, property.Out())) || property.Value().vt != VT_UI4) return std::nullopt;
  return static_cast<uint32_t>(property.Value().ulVal);
}

// The letter's first character; a blank when the component gives a blank there (no letter).
std::optional<char> LetterProperty(IDxDiagContainer& container, const wchar_t* name) {
  Property property;
  if (FAILED(container.GetProp(name, property.Out())) || property.Value().vt != VT_BSTR ||
      property.Value().bstrVal == nullptr || SysStringLen(property.Value().bstrVal) == 0)
    return std::nullopt;
  const wchar_t first = property.Value().bstrVal[0];
  return first < 0x80 ? static_cast<char>(first) : ' ';
}

}  // namespace

std::optional<DirectXRelease> ReportedDirectXVersion() {
  ComForThread com;
  // The references go before COM is undone (declared after it).
  ComRef<IDxDiagProvider> provider;
  if (FAILED(CoCreateInstance(CLSID_DxDiagProvider, nullptr, CLSCTX_INPROC_SERVER, IID_IDxDiagProvider,
                              provider.OutVoid())) || !provider)
    return std::nullopt;
  DXDIAG_INIT_PARAMS parameters{};
  parameters.dwSize = sizeof(parameters);
  parameters.dwDxDiagHeaderVersion = DXDIAG_DX9_SDK_VERSION;
  parameters.bAllowWHQLChecks = FALSE;
  parameters.pReserved = nullptr;
  if (FAILED(provider->Initialize(&parameters))) return std::nullopt;
  ComRef<IDxDiagContainer> root, system;
  if (FAILED(provider->GetRootContainer(root.Out())) || !root) return std::nullopt;
  if (FAILED(root->GetChildContainer(L"DxDiag_SystemInfo", system.Out())) || !system) return std::nullopt;
  const std::optional<uint32_t> major = NumberProperty(*system, L"dwDirectXVersionMajor");
  const std::optional<uint32_t> minor = NumberProperty(*system, L"dwDirectXVersionMinor");
  const std::optional<char> letter = LetterProperty(*system, L"szDirectXVersionLetter");
  if (!major || !minor || !letter) return std::nullopt;
  return DirectXRelease{*major, *minor, *letter};
}

std::string DirectXSystemFolder() {
  wchar_t folder[MAX_PATH];
  const UINT length = GetSystemDirectoryW(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return NarrowPath(std::wstring_view(folder, length));
}

}  // namespace platform

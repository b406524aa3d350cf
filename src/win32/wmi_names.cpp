#include "wmi_names.h"

#include "wide_text.h"

namespace tavrolin::win32 {

namespace {

// Notes a failed COM call as the last error; always false.
bool Failed(HRESULT result) {
  ::SetLastError(static_cast<DWORD>(result));
  return false;
}

// The Name property of one instance; `isText` false when its value is not text.
HRESULT NameOf(IDispatch* instance, const Bstr& nameProperty, std::string& name, bool& isText) {
  ComPtr<ISWbemObject> object;
  HRESULT result = instance->QueryInterface(IID_ISWbemObject, object.putVoid());
  if (FAILED(result)) return result;
  ComPtr<ISWbemPropertySet> properties;
  result = object->get_Properties_(properties.put());
  if (FAILED(result)) return result;
  ComPtr<ISWbemProperty> property;
  result = properties->Item(nameProperty.get(), 0, property.put());
  if (FAILED(result)) return result;
  Variant value;
  result = property->get_Value(value.get());
  if (FAILED(result)) return result;
  isText = (*value).vt == VT_BSTR;
  if (isText) name = Narrow({(*value).bstrVal, ::SysStringLen((*value).bstrVal)}, CP_ACP);
  return S_OK;
}

}  // namespace

bool WmiProcessNames::forEachName(std::string_view computerName,
                                  const std::function<bool(std::string_view)>& visit) {
  if (!services_ || boundTo_ != computerName) {
    const std::wstring moniker = L"winmgmts://" + Widen(computerName, CP_ACP);
    const HRESULT result =
        ::CoGetObject(moniker.c_str(), nullptr, IID_ISWbemServices, services_.putVoid());
    if (FAILED(result)) {
      services_.reset();
      return Failed(result);
    }
    boundTo_ = std::string(computerName);
  }
  if (query(visit)) return true;
  // WMI may have restarted, or the computer gone: the next query binds anew.
  const DWORD error = ::GetLastError();
  services_.reset();
  ::SetLastError(error);
  return false;
}

bool WmiProcessNames::query(const std::function<bool(std::string_view)>& visit) {
  const Bstr className(L"win32_process");
  const Bstr nameProperty(L"Name");
  if (!className || !nameProperty) return Failed(E_OUTOFMEMORY);

  ComPtr<ISWbemObjectSet> instances;
  HRESULT result =
      services_->InstancesOf(className.get(), wbemFlagReturnImmediately, nullptr, instances.put());
  if (FAILED(result)) return Failed(result);
  ComPtr<IUnknown> enumerator;
  result = instances->get__NewEnum(enumerator.put());
  if (FAILED(result)) return Failed(result);
  ComPtr<IEnumVARIANT> items;
  result = enumerator->QueryInterface(IID_IEnumVARIANT, items.putVoid());
  if (FAILED(result)) return Failed(result);

  Variant item;
  std::string name;
  for (;;) {
    ULONG fetched = 0;
    result = items->Next(1, item.put(), &fetched);
    if (FAILED(result)) return Failed(result);
    if (result != S_OK || fetched == 0) break;  // S_FALSE: the end
    if ((*item).vt != VT_DISPATCH || (*item).pdispVal == nullptr) continue;
    bool isText = false;
    result = NameOf((*item).pdispVal, nameProperty, name, isText);
    if (FAILED(result)) return Failed(result);
    if (isText && !visit(name)) break;
  }
  ::SetLastError(ERROR_SUCCESS);
  return true;
}

}  // namespace tavrolin::win32

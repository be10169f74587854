#include "devices/DeviceProperties.h"

#include <oleauto.h>

namespace {

// A VARIANT that is cleared when it goes.
class ScopedVariant {
public:
    ScopedVariant() { VariantInit(&value_); }
    ~ScopedVariant() { VariantClear(&value_); }
    ScopedVariant(const ScopedVariant&) = delete;
    ScopedVariant& operator=(const ScopedVariant&) = delete;
    VARIANT* Get() { return &value_; }

private:
    VARIANT value_;
};

}  // namespace

bool DeviceProperties::Bind(IMoniker* moniker) {
    bag_.Reset();
    if (moniker == nullptr) return false;
    const HRESULT hr =
        moniker->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag_.ReceiveVoid());
    if (FAILED(hr)) bag_.Reset();
    return bag_.Get() != nullptr;
}

bool DeviceProperties::Read(const WideChar* name, DeviceText* value) const {
    if (bag_.Get() == nullptr) return false;
    ScopedVariant text;
    text.Get()->vt = VT_BSTR;
    if (FAILED(bag_->Read(name, text.Get(), nullptr))) return false;
    const bool isText = text.Get()->vt == VT_BSTR && text.Get()->bstrVal != nullptr;
    *value = isText ? DeviceText(text.Get()->bstrVal) : DeviceText();
    return true;
}

#include "devices/ClassThreading.h"

#include <objbase.h>

#include <cwctype>

namespace {

bool SameIgnoringCase(const std::wstring& a, const wchar_t* b) {
    size_t i = 0;
    for (; i < a.size() && b[i] != 0; ++i)
        if (std::towlower(a[i]) != std::towlower(b[i])) return false;
    return i == a.size() && b[i] == 0;
}

}  // namespace

std::wstring ClassIdText(const GUID& clsid) {
    wchar_t text[40] = {};
    if (StringFromGUID2(clsid, text, 40) == 0) return std::wstring();
    return text;
}

ClassThreadingInfo ReadClassThreading(const GUID& clsid) {
    ClassThreadingInfo info;
    const std::wstring key = L"CLSID\\" + ClassIdText(clsid) + L"\\InprocServer32";
    HKEY server = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_QUERY_VALUE, &server) != ERROR_SUCCESS)
        return info;
    wchar_t value[64] = {};
    DWORD type = 0, bytes = sizeof value - sizeof(wchar_t);
    const LONG read = RegQueryValueExW(server, L"ThreadingModel", nullptr, &type,
                                       reinterpret_cast<BYTE*>(value), &bytes);
    RegCloseKey(server);
    // No value at all is the oldest model: the process's first apartment only.
    info.Model = ClassThreading::Single;
    if (read != ERROR_SUCCESS || type != REG_SZ) return info;
    info.Text = value;
    if (SameIgnoringCase(info.Text, L"Both")) info.Model = ClassThreading::Both;
    else if (SameIgnoringCase(info.Text, L"Free")) info.Model = ClassThreading::Free;
    else if (SameIgnoringCase(info.Text, L"Neutral")) info.Model = ClassThreading::Neutral;
    else if (SameIgnoringCase(info.Text, L"Apartment")) info.Model = ClassThreading::Apartment;
    return info;
}

bool AnyApartment(ClassThreading model) {
    return model == ClassThreading::Both || model == ClassThreading::Free;
}

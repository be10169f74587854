#include "sim/SimRegistryKey.h"

SimRegistryKey::~SimRegistryKey() { Reset(); }

SimRegistryKey::SimRegistryKey(SimRegistryKey&& other) noexcept : key_(other.key_) {
    other.key_ = nullptr;
}

SimRegistryKey& SimRegistryKey::operator=(SimRegistryKey&& other) noexcept {
    if (this != &other) {
        Reset();
        key_ = other.key_;
        other.key_ = nullptr;
    }
    return *this;
}

void SimRegistryKey::Reset() {
    if (key_ != nullptr) RegCloseKey(key_);
    key_ = nullptr;
}

LONG SimRegistryKey::Open(HKEY parent, const std::wstring& path, REGSAM access) {
    Reset();
    return RegOpenKeyExW(parent, path.c_str(), 0, access, &key_);
}

LONG SimRegistryKey::Create(HKEY parent, const std::wstring& path) {
    Reset();
    return RegCreateKeyExW(parent, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_READ | KEY_WRITE, nullptr, &key_, nullptr);
}

LONG SimRegistryKey::SetString(const wchar_t* name, const std::wstring& value) {
    const DWORD bytes = static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t));
    return RegSetValueExW(key_, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                          bytes);
}

bool SimRegistryKey::GetString(const wchar_t* name, std::wstring* value) const {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key_, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_SZ)
        return false;
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &bytes) != ERROR_SUCCESS)
        return false;
    value->assign(buffer.data());
    return true;
}

LONG SimRegistryKey::SetStrings(const wchar_t* name, const std::vector<std::wstring>& values) {
    std::vector<wchar_t> data;
    for (const std::wstring& value : values) {
        if (value.empty()) break;
        data.insert(data.end(), value.begin(), value.end());
        data.push_back(L'\0');
    }
    data.push_back(L'\0');
    return RegSetValueExW(key_, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size() * sizeof(wchar_t)));
}

bool SimRegistryKey::GetStrings(const wchar_t* name, std::vector<std::wstring>* values) const {
    DWORD type = 0;
    DWORD bytes = 0;
    if (RegQueryValueExW(key_, name, nullptr, &type, nullptr, &bytes) != ERROR_SUCCESS ||
        type != REG_MULTI_SZ)
        return false;
    // Two spare terminators, whatever the writer left off.
    std::vector<wchar_t> buffer(bytes / sizeof(wchar_t) + 2, L'\0');
    if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer.data()),
                         &bytes) != ERROR_SUCCESS)
        return false;
    values->clear();
    for (const wchar_t* at = buffer.data(); *at != L'\0'; at += values->back().size() + 1)
        values->emplace_back(at);
    return true;
}

LONG SimRegistryKey::SetQword(const wchar_t* name, uint64_t value) {
    return RegSetValueExW(key_, name, 0, REG_QWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof value);
}

bool SimRegistryKey::GetQword(const wchar_t* name, uint64_t* value) const {
    DWORD type = 0;
    uint64_t data = 0;
    DWORD bytes = sizeof data;
    if (RegQueryValueExW(key_, name, nullptr, &type, reinterpret_cast<BYTE*>(&data), &bytes) !=
            ERROR_SUCCESS ||
        type != REG_QWORD || bytes != sizeof data)
        return false;
    *value = data;
    return true;
}

std::vector<std::wstring> SimRegistryKey::ValueNames() const {
    std::vector<std::wstring> names;
    std::vector<wchar_t> name(16384);  // the longest value name there can be
    for (DWORD index = 0;; ++index) {
        DWORD length = static_cast<DWORD>(name.size());
        if (RegEnumValueW(key_, index, name.data(), &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name.data(), length);
    }
    return names;
}

LONG SimRegistryKey::CopyValuesTo(HKEY target) const {
    for (const std::wstring& name : ValueNames()) {
        DWORD type = 0;
        DWORD bytes = 0;
        LONG result = RegQueryValueExW(key_, name.c_str(), nullptr, &type, nullptr, &bytes);
        if (result != ERROR_SUCCESS) return result;
        std::vector<BYTE> data(bytes + 1);
        result = RegQueryValueExW(key_, name.c_str(), nullptr, &type, data.data(), &bytes);
        if (result == ERROR_SUCCESS)
            result = RegSetValueExW(target, name.c_str(), 0, type, data.data(), bytes);
        if (result != ERROR_SUCCESS) return result;
    }
    return ERROR_SUCCESS;
}

std::vector<std::wstring> SimRegistryKey::SubkeyNames() const {
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumKeyExW(key_, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        names.emplace_back(name, length);
    }
    return names;
}

LONG SimRegistryKey::DeleteTree(HKEY parent, const std::wstring& path) {
    SimRegistryKey key;
    LONG result = key.Open(parent, path, KEY_READ | KEY_WRITE);
    if (result != ERROR_SUCCESS) return result;
    for (const std::wstring& child : key.SubkeyNames()) {
        result = DeleteTree(key.Get(), child);
        if (result != ERROR_SUCCESS) return result;
    }
    key.Reset();
    return RegDeleteKeyW(parent, path.c_str());
}

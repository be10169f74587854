// RAII holder of one open registry key, with the few value and subkey
// operations the simulator's registration needs. Windows only.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <windows.h>

class SimRegistryKey {
public:
    SimRegistryKey() = default;
    ~SimRegistryKey();
    SimRegistryKey(SimRegistryKey&& other) noexcept;
    SimRegistryKey& operator=(SimRegistryKey&& other) noexcept;
    SimRegistryKey(const SimRegistryKey&) = delete;
    SimRegistryKey& operator=(const SimRegistryKey&) = delete;

    // Opens (or with Create, creates) `path` below `parent`. The key stays
    // open until this holder is destroyed or reset.
    LONG Open(HKEY parent, const std::wstring& path, REGSAM access = KEY_READ);
    LONG Create(HKEY parent, const std::wstring& path);

    bool IsOpen() const { return key_ != nullptr; }
    HKEY Get() const { return key_; }
    void Reset();

    LONG SetString(const wchar_t* name, const std::wstring& value);
    // Reads a string value; false when it is missing or not a string.
    bool GetString(const wchar_t* name, std::wstring* value) const;
    // REG_MULTI_SZ: the strings in order (an empty one ends the list).
    LONG SetStrings(const wchar_t* name, const std::vector<std::wstring>& values);
    bool GetStrings(const wchar_t* name, std::vector<std::wstring>* values) const;
    LONG SetQword(const wchar_t* name, uint64_t value);
    bool GetQword(const wchar_t* name, uint64_t* value) const;
    // Names of the direct subkeys, in the registry's enumeration order.
    std::vector<std::wstring> SubkeyNames() const;
    // Names of the values, in the registry's enumeration order.
    std::vector<std::wstring> ValueNames() const;
    // Writes every value of this key, with its type and data, to `target`.
    LONG CopyValuesTo(HKEY target) const;

    // Deletes `path` below `parent` with everything beneath it.
    static LONG DeleteTree(HKEY parent, const std::wstring& path);

private:
    HKEY key_ = nullptr;
};

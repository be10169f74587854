#include "sim/SimSourceRegistry.h"

#include "channels/ChannelText.h"
#include "sim/SimRegistryKey.h"
#include "sim/SimSkyRegistry.h"

namespace {

const wchar_t kKeyPath[] = L"Software\\TesselSim\\Channels";

HRESULT FromWin32(LONG error) { return error == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(error); }

}  // namespace

const wchar_t* SimSourceRegistry::SilentValue() { return L"silent"; }

HRESULT SimSourceRegistry::Set(const std::wstring& channel, const std::wstring& value) {
    SimRegistryKey key;
    LONG result = key.Create(HKEY_CURRENT_USER, kKeyPath);
    if (result == ERROR_SUCCESS) result = key.SetString(channel.c_str(), value);
    return FromWin32(result);
}

HRESULT SimSourceRegistry::Remove(const std::wstring& channel) {
    SimRegistryKey key;
    LONG result = key.Open(HKEY_CURRENT_USER, kKeyPath, KEY_READ | KEY_WRITE);
    if (result == ERROR_FILE_NOT_FOUND) return S_FALSE;
    if (result == ERROR_SUCCESS) result = RegDeleteValueW(key.Get(), channel.c_str());
    return result == ERROR_FILE_NOT_FOUND ? S_FALSE : FromWin32(result);
}

HRESULT SimSourceRegistry::Clear() {
    const LONG result = SimRegistryKey::DeleteTree(HKEY_CURRENT_USER, kKeyPath);
    return result == ERROR_FILE_NOT_FOUND ? S_OK : FromWin32(result);
}

std::vector<std::pair<std::wstring, std::wstring>> SimSourceRegistry::List() {
    std::vector<std::pair<std::wstring, std::wstring>> entries;
    SimRegistryKey key;
    if (key.Open(HKEY_CURRENT_USER, kKeyPath) != ERROR_SUCCESS) return entries;
    for (DWORD index = 0;; ++index) {
        wchar_t name[256];
        DWORD length = 256;
        if (RegEnumValueW(key.Get(), index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS)
            break;
        std::wstring value;
        if (key.GetString(name, &value)) entries.emplace_back(name, value);
    }
    return entries;
}

std::shared_ptr<const SimChannelSources> SimSourceRegistry::Load() {
    const auto entries = List();
    const SimSkyKind sky = SimSkyRegistry::Get();
    if (entries.empty() && sky == SimSkyKind::BuiltIn) return nullptr;
    auto sources = std::make_shared<SimChannelSources>();
    sources->SetSky(sky);
    for (const auto& entry : entries) {
        SimChannelSource source;
        if (entry.second == SilentValue()) {
            source.Kind = SimSourceKind::Silent;
        } else {
            source.Kind = SimSourceKind::Replay;
            source.File = Utf8Of(entry.second);
        }
        sources->Set(Utf8Of(entry.first), source);
    }
    return sources;
}

#include "sim/SimSkyRegistry.h"

#include <string>

#include "sim/SimRegistryKey.h"

namespace {

const wchar_t kKeyPath[] = L"Software\\TesselSim\\Sky";
const wchar_t kValue[] = L"Sky";

}  // namespace

HRESULT SimSkyRegistry::Set(SimSkyKind sky) {
    if (sky == SimSkyKind::BuiltIn) {
        const LONG result = SimRegistryKey::DeleteTree(HKEY_CURRENT_USER, kKeyPath);
        return result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND ? S_OK : HRESULT_FROM_WIN32(result);
    }
    const std::string name = SimSky::Name(sky);
    SimRegistryKey key;
    LONG result = key.Create(HKEY_CURRENT_USER, kKeyPath);
    if (result == ERROR_SUCCESS) result = key.SetString(kValue, std::wstring(name.begin(), name.end()));
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}

SimSkyKind SimSkyRegistry::Get() {
    SimRegistryKey key;
    std::wstring value;
    SimSkyKind sky = SimSkyKind::BuiltIn;
    if (key.Open(HKEY_CURRENT_USER, kKeyPath) == ERROR_SUCCESS && key.GetString(kValue, &value))
        SimSky::FromName(std::string(value.begin(), value.end()), &sky);
    return sky;
}

#include "sim/SimReplayRegistry.h"

#include "platform/FileText.h"
#include "sim/SimRegistryKey.h"

namespace {

const wchar_t kKeyPath[] = L"Software\\TesselSim\\Replay";
const wchar_t kValue[] = L"DeviceCalls";

}  // namespace

HRESULT SimReplayRegistry::Set(const std::wstring& deviceCalls) {
    SimRegistryKey key;
    LONG result = key.Create(HKEY_CURRENT_USER, kKeyPath);
    if (result == ERROR_SUCCESS) result = key.SetString(kValue, deviceCalls);
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}

HRESULT SimReplayRegistry::Clear() {
    const LONG result = SimRegistryKey::DeleteTree(HKEY_CURRENT_USER, kKeyPath);
    if (result == ERROR_FILE_NOT_FOUND) return S_FALSE;
    return result == ERROR_SUCCESS ? S_OK : HRESULT_FROM_WIN32(result);
}

std::wstring SimReplayRegistry::Get() {
    SimRegistryKey key;
    std::wstring path;
    if (key.Open(HKEY_CURRENT_USER, kKeyPath) == ERROR_SUCCESS) key.GetString(kValue, &path);
    return path;
}

std::shared_ptr<SimAnswerScript> SimReplayRegistry::Load() {
    const std::wstring path = Get();
    if (path.empty()) return nullptr;
    auto script = std::make_shared<SimAnswerScript>(SimAnswerScript::FromText(ReadWholeFile(path)));
    return script->Empty() ? nullptr : script;
}

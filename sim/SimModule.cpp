// Entry points of TesselSim.dll: DllMain, the COM server exports and
// SimGetControl. The class table maps each class identifier to the function
// that creates one object of it.
#include "sim/SimModule.h"

#include <atomic>
#include <mutex>

#include "sim/SimClassFactory.h"
#include "sim/SimClassIds.h"
#include "sim/SimControl.h"
#include "sim/SimEventWatcher.h"
#include "sim/SimNetworkProvider.h"
#include "sim/SimNullTerminal.h"
#include "sim/SimPassThroughReceiver.h"
#include "sim/SimReceiverFilter.h"
#include "sim/SimRegistry.h"
#include "sim/SimReplayRegistry.h"
#include "sim/SimSourceRegistry.h"
#include "sim/SimTunerFilter.h"

namespace {

HMODULE moduleHandle = nullptr;
std::atomic<long> activeCount{0};
std::once_flag sourcesLoaded;

// The prefix's channel sources (simreg) become the process's defaults once,
// before the first object exists; without any, the defaults stay untouched
// so a test program's own choice holds.
void LoadChannelSources() {
    std::shared_ptr<const SimChannelSources> sources = SimSourceRegistry::Load();
    if (sources) SimProcessControl()->SetDefaultChannelSources(sources);
    // A replayed report's answers, likewise once per process.
    std::shared_ptr<SimAnswerScript> script = SimReplayRegistry::Load();
    if (script) SimProcessControl()->SetAnswerScript(script);
}

struct ClassEntry {
    const GUID* clsid;
    SimCreateFunction create;
};

const ClassEntry kClassTable[] = {
    {&CLSID_SimNetworkProvider, &SimNetworkProvider::Create},
    {&CLSID_SimNullTerminal, &SimNullTerminal::Create},
    {&CLSID_SimTunerFilter, &SimTunerFilter::Create},
    {&CLSID_SimMpeFilter, &SimReceiverFilter::CreateMpe},
    {&CLSID_SimSlipDeFramer, &SimReceiverFilter::CreateSlipDeFramer},
    {&CLSID_SimRefusingReceiver, &SimReceiverFilter::CreateRefusing},
    {&CLSID_SimPassThroughReceiver, &SimPassThroughReceiver::Create},
};

}  // namespace

HMODULE SimModule::Handle() { return moduleHandle; }
void SimModule::SetHandle(HMODULE module) { moduleHandle = module; }
void SimModule::Lock() { ++activeCount; }
void SimModule::Unlock() { --activeCount; }
long SimModule::ActiveCount() { return activeCount.load(); }

bool SimModule::Path(wchar_t* buffer, DWORD capacity) {
    const DWORD length = GetModuleFileNameW(moduleHandle, buffer, capacity);
    return length > 0 && length < capacity;
}

extern "C" {

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        SimModule::SetHandle(instance);
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

// *object: a new class factory the caller releases.
HRESULT STDAPICALLTYPE DllGetClassObject(REFCLSID clsid, REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    std::call_once(sourcesLoaded, LoadChannelSources);
    // Events other processes record reach this one's devices from now on.
    SimEventWatcher::Start();
    for (const ClassEntry& entry : kClassTable) {
        if (clsid != *entry.clsid) continue;
        SimClassFactory* factory = new (std::nothrow) SimClassFactory(entry.create);
        if (factory == nullptr) return E_OUTOFMEMORY;
        const HRESULT hr = factory->QueryInterface(iid, object);
        factory->Release();
        return hr;
    }
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT STDAPICALLTYPE DllCanUnloadNow() {
    return SimModule::ActiveCount() == 0 ? S_OK : S_FALSE;
}

HRESULT STDAPICALLTYPE DllRegisterServer() {
    wchar_t path[MAX_PATH];
    if (!SimModule::Path(path, MAX_PATH)) return E_FAIL;
    return SimRegistry::RegisterServer(path);
}

HRESULT STDAPICALLTYPE DllUnregisterServer() { return SimRegistry::UnregisterServer(); }

// The process-wide control shared by every object of this DLL; owned by the
// DLL and valid while it stays loaded.
SimControl* SimGetControl() { return SimProcessControl(); }

}  // extern "C"

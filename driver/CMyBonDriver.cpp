// Lifecycle of the driver object: construction with the INI settings and the
// tuner selection, open, close, release and the state queries.
#include "driver/CMyBonDriver.h"

#include <objbase.h>

#include <new>

#include "driver/IniSettings.h"
#include "driver/TunerMatcher.h"
#include "exports/DriverGlobals.h"
#include "filter/CTsWriter.h"
#include "graph/MyFilterGraph.h"
#include "platform/Trace.h"
#include "platform/WideText.h"

CMyBonDriver::CMyBonDriver()
    : IniFilePath{},
      ConfiguredDeviceId(0),
      TunerFriendlyName{},
      TunerDevicePath{},
      NetworkName{},
      CurrentSpace(-1),
      CurrentChannel(-1),
      HeldChunk(nullptr),
      CallbackAttached(0) {
    ScopedLock lock(DriverLock);
    CoInitialize(nullptr);
    CurrentGraph = new (std::nothrow) MyFilterGraph();
    ReadSettings();
    if (CurrentGraph != nullptr) SelectTunerDevice();
}

void CMyBonDriver::ReadSettings() {
    IniSettings::PathBesideModule(ModuleHandle, IniFilePath, IniPathCapacity);
    ConfiguredDeviceId = IniSettings::ReadDeviceId(IniFilePath);
    IniSettings::ReadText(IniFilePath, WIDE("TunerFrendlyName"), TunerFriendlyName,
                          TunerNameCapacity);
    IniSettings::ReadText(IniFilePath, WIDE("NetworkName"), NetworkName, NetworkNameCapacity);
    WideCopyTruncate(TunerDevicePath, TunerNameCapacity, WIDE(""));
}

// Picks the first BDA network tuner, in enumeration order, whose names pass
// the matching rules; selecting one is also what sizes the chunk queue.
void CMyBonDriver::SelectTunerDevice() {
    uint16_t count = 0;
    CurrentGraph->CountingAvailableComponent(CategoryBdaNetworkTuner, &count);
    for (uint16_t index = 1; index <= count && index != 0; ++index) {
        WideChar name[TunerNameCapacity] = {};
        WideChar path[TunerNameCapacity] = {};
        CurrentGraph->GetComponentFriendlyNameAndDisplayName(CategoryBdaNetworkTuner, index, name,
                                                             path);
        if (!TunerMatches(name, path, TunerFriendlyName,
                          static_cast<uint32_t>(ConfiguredDeviceId)))
            continue;
        WideCopyTruncate(TunerDevicePath, TunerNameCapacity, path);
        ChunkQueue.Configure(TsChunkBytes, TsChunkLimit);
        return;
    }
}

bool CMyBonDriver::IsOpen() const {
    return CurrentGraph != nullptr && CurrentGraph->IsGraphOpen() == 1;
}

BOOL CMyBonDriver::OpenTuner() {
    Trace("(CMyBonDriver::OpenTuner)");
    ScopedLock lock(DriverLock);
    if (CurrentGraph == nullptr) return FALSE;
    // An open tuner stays as it is: building a second graph over the first
    // would orphan the running one.
    if (IsOpen()) return TRUE;
    CurrentGraph->SetTunerNames(TunerFriendlyName, TunerDevicePath);
    HRESULT hr = CurrentGraph->AutoCreateMyDigitalTvFilterGraph();
    if (SUCCEEDED(hr)) hr = CurrentGraph->SetTunerMode(3);
    if (SUCCEEDED(hr)) hr = CurrentGraph->SetTransportStreanEncryptionFlag(0);
    if (SUCCEEDED(hr)) hr = CurrentGraph->PlayMyFilterGraph();
    if (SUCCEEDED(hr) && !StreamEvent.CreateAutoReset()) hr = E_FAIL;
    if (FAILED(hr)) {
        // A Run that failed left nothing running; a graph whose event could
        // not be made is stopped before it goes.
        if (CurrentGraph->GetRunState() != GraphStopped) CurrentGraph->StopMyFilterGraph();
        CurrentGraph->TearMyFilterGraph();
        return FALSE;
    }
    AttachSampleCallback();
    return TRUE;
}

void CMyBonDriver::CloseTuner() {
    Trace("(CMyBonDriver::CloseTuner)");
    ScopedLock lock(DriverLock);
    if (!IsOpen()) return;
    if (CurrentGraph->GetRunState() != GraphStopped) CurrentGraph->StopMyFilterGraph();
    DetachSampleCallback();
    StreamEvent.Close();
    ChunkQueue.Clear();
    FreeHeldChunk();
    ChunkQueue.ReleaseBuffers();
    CurrentGraph->TearMyFilterGraph();
}

void CMyBonDriver::Release() {
    Trace("(CMyBonDriver::Release)");
    {
        ScopedLock lock(DriverLock);
        if (CurrentGraph != nullptr) {
            // Destroying the graph stops and tears down an open graph, so no
            // sample reaches this object afterwards.
            delete CurrentGraph;
            CurrentGraph = nullptr;
        }
        CoUninitialize();
        if (CurrentDriver == this) CurrentDriver = nullptr;
    }
    FreeHeldChunk();
    delete this;
}

BOOL CMyBonDriver::IsTunerOpening() {
    Trace("(CMyBonDriver::IsTunerOpening)");
    ScopedLock lock(DriverLock);
    return CurrentGraph != nullptr && CurrentGraph->IsGraphOpen() == 1 ? TRUE : FALSE;
}

LPCWSTR CMyBonDriver::GetTunerName() {
    Trace("(CMyBonDriver::GetTunerName)");
    ScopedLock lock(DriverLock);
    return TunerFriendlyName;
}

void CMyBonDriver::AttachSampleCallback() {
    if (CurrentGraph->TsWriter() != nullptr)
        CurrentGraph->TsWriter()->SetCallback(&CMyBonDriver::OnTsSample, this);
    CallbackAttached.store(1, std::memory_order_release);
}

void CMyBonDriver::DetachSampleCallback() {
    if (CurrentGraph->TsWriter() != nullptr) CurrentGraph->TsWriter()->SetCallback(nullptr, this);
    CallbackAttached.store(0, std::memory_order_release);
}

void CMyBonDriver::FreeHeldChunk() {
    ChunkQueue.Recycle(HeldChunk);
    HeldChunk = nullptr;
}

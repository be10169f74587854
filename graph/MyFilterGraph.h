// MyFilterGraph: owns the DirectShow capture graph of the tuner
//
//   network provider -> tuner device filter -> (receiver component) ->
//   TS writer -> null terminal
//
// together with the filter graph manager, the system device enumerator and
// the in-graph flags that say what tear-down must take out again. Every step
// returns a COM result code; a sequence stops at the first failure and leaves
// what it built in place, so that TearMyFilterGraph undoes exactly what the
// flags and pointers record. The driver calls it under DriverLock; the one
// lock of its own (ProviderLock) guards only the network provider pointer,
// which the remote-key thread reads beside the host threads.
//
// Split by concern: MyFilterGraph.cpp (construction, destruction, state),
// MyFilterGraphEnum.cpp (device enumeration and loaders),
// MyFilterGraphAssembly.cpp (assembly, run, stop, tear-down),
// MyFilterGraphDevice.cpp (TunerDeviceControl forwarding); the remote-key
// thread lives in RemoteKeyThread.cpp.
#pragma once

#include <strmif.h>

#include <cstdint>

#include "dshow/ComPtr.h"
#include "graph/EventHandle.h"
#include "graph/HostWindows.h"
#include "graph/RemoteKeyThread.h"
#include "graph/ThreadHandle.h"
#include "graph/TuneRequest.h"
#include "platform/BdaGuids.h"
#include "platform/PlatformTypes.h"
#include "platform/ReentrantLock.h"
#include "platform/TunerDeviceControl.h"

class CTsWriter;

constexpr size_t GraphNameCapacity = 256;  // units, terminator included

// RunState values.
constexpr int32_t GraphRunning = 0;
constexpr int32_t GraphStopped = 2;

class MyFilterGraph {
public:
    // Makes no COM call. Creates the two thread events, collects the host
    // process's windows and, when it found any and both events exist, starts
    // the remote-key thread.
    MyFilterGraph();
    // Stops the remote-key thread and waits for it (handling messages sent
    // to this thread's windows meanwhile), then stops and tears down an open
    // graph and releases whatever is still held.
    ~MyFilterGraph();
    MyFilterGraph(const MyFilterGraph&) = delete;
    MyFilterGraph& operator=(const MyFilterGraph&) = delete;

    // --- state -----------------------------------------------------------
    void SetTunerNames(const WideChar* friendlyName, const WideChar* devicePath);
    int32_t IsGraphOpen() const { return GraphOpen; }
    int32_t GetRunState() const { return RunState; }
    int32_t IsHostWindow(HWND window) const;
    // The writer filter while the graph holds it (the graph owns the
    // reference), else null.
    CTsWriter* TsWriter() const { return pTsBufferWriter; }

    // --- enumeration and loading ----------------------------------------
    HRESULT InitializeGraphBuilder();
    // `filter` receives the created filter (its own reference) even when
    // adding it to the graph failed.
    HRESULT LoadFilterByCLSID(GUID clsid, ComPtr<IBaseFilter>& filter, const WideChar* name);
    HRESULT LoadNetworkProvider();
    HRESULT LoadNullTerminalFilter();
    HRESULT LoadTSBufferWriterFilter();
    void CountingAvailableComponent(const GUID& category, uint16_t* count);
    // `index` counts from 1. Both outputs hold GraphNameCapacity units.
    void GetComponentFriendlyNameAndDisplayName(const GUID& category, uint16_t index,
                                                WideChar* friendlyName, WideChar* devicePath);
    HRESULT LoadFilterByFriendlyName(const GUID& category, ComPtr<IBaseFilter>& filter,
                                     const WideChar* friendlyName, const WideChar* devicePath,
                                     int32_t* added);
    // On S_OK the two pin identifiers are allocated with the COM task
    // allocator; the caller frees both with CoTaskMemFree.
    HRESULT AutoConnectFilterEachOther(int32_t useDirect, IBaseFilter* upstream,
                                       IBaseFilter* downstream, LPWSTR* upstreamPinId,
                                       LPWSTR* downstreamPinId);

    // --- assembly, run, stop, tear-down ----------------------------------
    HRESULT AutoCreateMyDigitalTvFilterGraph();
    HRESULT LoadDTVDeviceFilter();
    HRESULT PlayMyFilterGraph();
    HRESULT StopMyFilterGraph();
    HRESULT TearMyFilterGraph();

    // --- TunerDeviceControl forwarding: E_FAIL without a network provider,
    // the query's failure when it lacks the interface, else the device's code.
    HRESULT SetTunerMode(uint32_t mode);
    HRESULT SetTransportStreanEncryptionFlag(uint32_t enableFlag);
    HRESULT SetFrequency(const TuneFrequency* frequency);
    HRESULT SetTuneRequest(const TuneRequest* request);
    HRESULT GetSignalStatistics(SignalStatistics* statistics);
    HRESULT ReadRemoteControlKey(uint32_t selector, uint32_t* code, uint8_t* key);
    HRESULT CheckLNBPowerCircuit(uint32_t value);
    HRESULT SetLNBPower(uint32_t value);
    HRESULT GetLNBPower(uint32_t value);
    HRESULT FactoryModeWriteManufacturerProductSerialNumber(uint32_t manufacturer,
                                                            uint32_t product,
                                                            uint32_t serialNumber);
    HRESULT ResetCard();
    HRESULT GetCardStatus(uint32_t* cardPresent);
    HRESULT TransmitCardCommand(const uint8_t* command, uint32_t length, uint8_t* response,
                                uint32_t responseSize);
    HRESULT EnablePidFilter(uint32_t enable);
    HRESULT SetPidFilterList(uint32_t count, const uint16_t* pids);

private:
    // Reads the host windows and the two events; the destructor waits for it.
    friend unsigned __stdcall RemoteKeyThread(void* graph);

    // Runs the card steps on the raw device operations (QueryDeviceControl).
    friend class GraphCardDevice;

    struct EnumTexts;  // the four failure texts of one enumeration operation
    HRESULT EnsureDeviceEnumerator(const char* failedText, const char* nullText);
    HRESULT OpenClassEnumerator(const GUID& category, ComPtr<IEnumMoniker>& monikers,
                                const EnumTexts& texts);
    void SearchReceiverComponent(bool* inUse);
    HRESULT ConnectPair(IBaseFilter* upstream, IBaseFilter* downstream);
    void ReleaseTsWriter();
    void RemoveTracked(IBaseFilter* filter, int32_t* inGraph);
    HRESULT SweepGraph();
    void StopFiltersLeftActive();
    HRESULT QueryDeviceControl(ComPtr<TunerDeviceControl>& control);
    // The network provider with a reference of the caller's own, taken under
    // ProviderLock (empty when none is loaded); the caller may use it outside
    // the lock while a tear-down lets go of the graph's reference.
    ComPtr<IBaseFilter> NetworkProviderReference();
    // Stores or drops the graph's reference under ProviderLock; a dropped
    // filter is released after the lock is left.
    void PublishNetworkProvider(ComPtr<IBaseFilter>&& provider);
    void DropNetworkProvider();
    static HRESULT CheckCardPresent(TunerDeviceControl* control);

    CTsWriter* pTsBufferWriter;
    ComPtr<IBaseFilter> pITsBufferWriter_IBaseFilter;
    ComPtr<IGraphBuilder> pIFilterGraph_IGraphBuilder;
    ComPtr<ICreateDevEnum> pIUnKnown_ICreateDevEnum;
    ComPtr<IBaseFilter> pINetworkProvider_IBaseFilter;
    ComPtr<IBaseFilter> pITunerDevice_IBaseFilter;
    ComPtr<IBaseFilter> pIReceiverComponent_IBaseFilter;
    ComPtr<IBaseFilter> pINullTerminal_IBaseFilter;
    int32_t NetworkProviderInGraph;
    int32_t TunerDeviceInGraph;
    int32_t ReceiverComponentInGraph;
    int32_t NullTerminalInGraph;
    int32_t TsBufferWriterInGraph;
    int32_t RunState;
    int32_t GraphOpen;
    WideChar SelectedFriendlyName[GraphNameCapacity];
    WideChar SelectedDevicePath[GraphNameCapacity];
    // Windows collected at construction (never refreshed), the stop/exited
    // event pair and the remote-key thread, null when none was started.
    uint8_t HostWindowCount;
    HWND HostWindows[MaxHostWindows];
    EventHandle StopThreadEvent;
    EventHandle ThreadExitedEvent;
    ThreadHandle KeyThread;
    // Guards pINetworkProvider_IBaseFilter against the remote-key thread.
    // Never DriverLock: the destructor holds that while it waits for the
    // thread. Held only to copy or swap the pointer, never across a call.
    ReentrantLock ProviderLock;
};

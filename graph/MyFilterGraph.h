// MyFilterGraph: owns the DirectShow capture graph of the tuner
//
//   network provider -> tuner device filter -> (receiver component) ->
//   TS writer -> null terminal
//
// together with the filter graph manager, the system device enumerator and
// the in-graph flags that say what tear-down must take out again. Every step
// returns a COM result code; a sequence stops at the first failure and leaves
// what it built in place, so that TearMyFilterGraph undoes exactly what the
// flags and pointers record. The driver calls it under DriverLock.
//
// Beside the graph it holds the two parts other threads reach: DeviceControl
// (every TunerDeviceControl operation, with the network provider pointer
// under a lock of its own) and the RemoteKeyForwarder, whose thread reads the
// remote through DeviceControl. Finding devices is devices/'s job, connecting
// two filters PinConnector's; this class keeps the names the driver calls.
#pragma once

#include <strmif.h>
#include <control.h>
#include <bdaiface.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/DeviceNames.h"
#include "dshow/ComPtr.h"
#include "graph/CardDevice.h"
#include "graph/DeviceControl.h"
#include "platform/BdaGuids.h"
#include "platform/PlatformTypes.h"
#include "platform/SampleCallback.h"
#include "platform/TuneRequest.h"
#include "platform/TunerDeviceControl.h"
#include "remote/RemoteKeyForwarder.h"

class CTsWriter;

// How the graph makes its writer filter (CreateTsWriter's form). The driver
// always uses CreateTsWriter; a test that builds the graph itself can hand in
// one that fails.
using TsWriterFactory = CTsWriter* (*)(IUnknown* outer, HRESULT* result);

// RunState values.
constexpr int32_t GraphRunning = 0;
constexpr int32_t GraphStopped = 2;

class MyFilterGraph final : public CardDevice {
public:
    // Makes no COM call. Starts the remote-key forwarder, which collects the
    // host process's windows and, when it found any, starts its thread.
    // `writerFactory` null: CreateTsWriter.
    explicit MyFilterGraph(TsWriterFactory writerFactory = nullptr);
    // Stops the remote-key thread and waits for it, then stops and tears
    // down an open graph and releases whatever is still held.
    ~MyFilterGraph();
    MyFilterGraph(const MyFilterGraph&) = delete;
    MyFilterGraph& operator=(const MyFilterGraph&) = delete;

    // Ends the remote-key thread and waits for it (the destructor does it
    // too). Call it without DriverLock: the thread may be sending a key to a
    // window whose thread waits for that lock.
    void StopRemoteKeys() { remoteKeys_.Stop(); }

    // --- state -----------------------------------------------------------
    void SetTunerNames(const WideChar* friendlyName, const WideChar* devicePath);
    // Open, and not held aside by the driver's recovery thread.
    bool IsGraphOpen() const { return inService_.load() && GraphOpen.load(); }
    // The recovery thread builds or tears the graph down without DriverLock:
    // meanwhile the graph reads as closed to every caller but that thread,
    // which alone touches it (SetInService(false) under DriverLock, back to
    // true under it once the graph is in place or gone).
    void SetInService(bool inService) { inService_.store(inService); }
    bool InService() const { return inService_.load(); }
    // The graph as its builder sees it, in service or not.
    bool IsBuilt() const { return GraphOpen.load(); }
    int32_t GetRunState() const { return RunState; }
    bool IsHostWindow(HWND window) const { return remoteKeys_.IsHostWindow(window); }
    // Hands each TS sample the writer filter sees to `callback` with
    // `context` (a null callback: none). Does nothing while no writer is
    // loaded. The context is published before the function.
    void SetSampleCallback(SampleCallback callback, void* context);

    // --- enumeration and loading ----------------------------------------
    HRESULT InitializeGraphBuilder();
    // `filter` receives the created filter (its own reference) even when
    // adding it to the graph failed.
    HRESULT LoadFilterByCLSID(GUID clsid, ComPtr<IBaseFilter>& filter, const WideChar* name);
    HRESULT LoadNetworkProvider();
    HRESULT LoadNullTerminalFilter();
    HRESULT LoadTSBufferWriterFilter();
    void CountingAvailableComponent(const GUID& category, uint16_t* count);
    // `index` counts from 1. Both outputs hold DeviceNameCapacity units.
    void GetComponentFriendlyNameAndDisplayName(const GUID& category, uint16_t index,
                                                WideChar* friendlyName, WideChar* devicePath);
    HRESULT LoadFilterByFriendlyName(const GUID& category, ComPtr<IBaseFilter>& filter,
                                     const WideChar* friendlyName, const WideChar* devicePath,
                                     bool* added);
    // On S_OK the two pin identifiers are allocated with the COM task
    // allocator; the caller frees both with CoTaskMemFree.
    HRESULT AutoConnectFilterEachOther(bool useDirect, IBaseFilter* upstream,
                                       IBaseFilter* downstream, LPWSTR* upstreamPinId,
                                       LPWSTR* downstreamPinId);

    // --- assembly, run, stop, tear-down ----------------------------------
    HRESULT AutoCreateMyDigitalTvFilterGraph();
    HRESULT LoadDTVDeviceFilter();
    HRESULT PlayMyFilterGraph();
    HRESULT StopMyFilterGraph();
    HRESULT TearMyFilterGraph();
    // The graph manager's event queue (its own reference; empty while no
    // graph is built). Free-threaded: the recovery thread reads it.
    ComPtr<IMediaEventEx> EventSource() const;
    // Sweeps the graphs a failed sweep kept aside once more; true while at
    // most one is left: a new graph may be built beside one, as a host's own
    // close and reopen would, but never beside a second.
    bool ReadyForNewGraph();
    // Of the built graph's components (the graph manager, the device
    // enumerator, every filter but the TS writer), the first whose class is
    // not registered to be used from any apartment: its class identifier
    // and registered threading model, or false when there is none.
    bool FindApartmentBoundClass(std::wstring* classId, std::wstring* model) const;

    // --- TunerDeviceControl operations: E_FAIL without a network provider,
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
    // The three card steps of the card reader (CardDevice); the reset and
    // the command ask for the card status first on the same interface.
    HRESULT ResetCard() override;
    HRESULT GetCardStatus(uint32_t* cardPresent) override;
    HRESULT TransmitCardCommand(const uint8_t* command, uint32_t length, uint8_t* response,
                                uint32_t responseSize) override;
    HRESULT EnablePidFilter(uint32_t enable);
    HRESULT SetPidFilterList(uint32_t count, const uint16_t* pids);

private:
    struct EnumTexts;  // the four failure texts of one enumeration operation
    HRESULT EnsureDeviceEnumerator(const char* failedText, const char* nullText);
    HRESULT OpenCategory(const GUID& category, class DeviceCategory* walk, const EnumTexts& texts);
    HRESULT AddToGraph(IBaseFilter* filter, const WideChar* name);
    HRESULT ConnectPair(IBaseFilter* upstream, IBaseFilter* downstream);
    HRESULT ConnectProviderToTuner();
    HRESULT FindReceiverComponent();
    bool TryReceiverComponent(const WideChar* friendlyName, const WideChar* devicePath);
    HRESULT ConnectSourceToWriter();
    HRESULT ConnectWriterToTerminal();
    HRESULT QueryTunerTopology(ComPtr<IBDA_Topology>* topology, ULONG* pinTypes);
    HRESULT ExposeTunerPins();
    HRESULT QueryMediaControl(ComPtr<IMediaControl>* control);
    void ReleaseTsWriter();
    void ReleaseFilters();
    void RemoveTracked(IBaseFilter* filter, bool* inGraph);
    HRESULT SweepGraph(IGraphBuilder* graph);
    void RetireStaleGraphs();
    void KeepStaleGraph();
    void StopFiltersLeftActive(IGraphBuilder* graph);

    CTsWriter* pTsBufferWriter;
    ComPtr<IBaseFilter> pITsBufferWriter_IBaseFilter;
    ComPtr<IGraphBuilder> pIFilterGraph_IGraphBuilder;
    ComPtr<ICreateDevEnum> pIUnKnown_ICreateDevEnum;
    ComPtr<IBaseFilter> pITunerDevice_IBaseFilter;
    ComPtr<IBaseFilter> pIReceiverComponent_IBaseFilter;
    ComPtr<IBaseFilter> pINullTerminal_IBaseFilter;
    bool NetworkProviderInGraph;
    bool TunerDeviceInGraph;
    bool ReceiverComponentInGraph;
    bool NullTerminalInGraph;
    bool TsBufferWriterInGraph;
    int32_t RunState;
    std::atomic<bool> GraphOpen;
    std::atomic<bool> inService_{true};
    bool receiverInUse_;  // the assembly connected a receiver component
    WideChar SelectedFriendlyName[DeviceNameCapacity];
    WideChar SelectedDevicePath[DeviceNameCapacity];
    // Graph managers that failed sweeps left behind, oldest first; never
    // released while they may still refuse to empty.
    std::vector<ComPtr<IGraphBuilder>> staleGraphs_;
    TsWriterFactory writerFactory_;
    DeviceControl device_;           // holds pINetworkProvider_IBaseFilter
    RemoteKeyForwarder remoteKeys_;  // reads keys through device_; declared after it
};

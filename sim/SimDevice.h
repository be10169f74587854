// One simulated Tessel tuner device: the state behind TunerDeviceControl, the
// TS it delivers for the current tune, and the knobs a test turns (faults,
// remote-key script, card behaviour, signal levels, filter behaviour).
//
// Every operation takes the device lock for its whole run, so the streaming
// thread (ReadTs), the remote-key thread and host threads may call at once.
// Each TunerDeviceControl operation first logs itself with its arguments by
// value, then consults the armed fault: a failure code is answered without
// performing the operation, a success code (e.g. S_FALSE) is answered after
// performing it.
//
// Behaviour chosen for the simulated hardware:
// - A tune (SetTuneRequest) resolves to a row of the built-in channel plan
//   (for satellites: a stream of the sources' sky, SimSky); elsewhere there
//   is no channel: ReadTs delivers nothing and
//   GetSignalStatistics answers S_OK with Level 0 and LevelHundredths 0.
//   The channel sources (SetChannelSources) decide what a row carries: the
//   synthetic stream by default, a replayed recording, or nothing at all
//   (a silent channel answers like a tune outside the plan).
//   SetFrequency only stores a pending frequency.
// - GetLNBPower answers S_OK while LNB power is on, S_FALSE while off.
// - ResetCard / TransmitCardCommand answer E_FAIL with no card present.
// - ReadRemoteControlKey accepts only selector 3 (E_INVALIDARG otherwise).
// - Null pointers are answered with E_POINTER (and logged) before any fault.
// - Out-pointer operations log the bytes they wrote (nothing on failure).
// - An empty remote-key script answers S_FALSE and leaves the outputs alone.
// - Misbehaviour (Apply, see SimDeviceEvent): unplugged (silently or not), every
//   TunerDeviceControl operation is logged and answers SimDeviceNotConnected
//   (before any armed fault) and ReadTs delivers nothing; Replug brings the
//   device back under a new plug generation, and a handle of an older one
//   (Through) stays dead for good, as a real driver's handle of a removed
//   device does. Stalled, ReadTs delivers nothing while everything else
//   answers as before, until Flow or a stream started afresh (RestartStream); without signal, GetSignalStatistics answers Level 0
//   (not locked) and ReadTs nothing. Both take effect at the next call. The
//   filter-side fault points are not affected: a graph can always be torn down.
// Objects are owned by the SimControl that made them and live until the
// process ends (Reset restores defaults but keeps the object), so filters may
// keep a plain pointer.
#pragma once

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "platform/TuneRequest.h"
#include "platform/PlatformTypes.h"
#include "platform/Locks.h"
#include "platform/DeviceCallText.h"
#include "sim/SimAnswerScript.h"
#include "sim/SimCallLog.h"
#include "sim/SimChannel.h"
#include "sim/SimChannelSources.h"
#include "sim/SimDeviceEvent.h"
#include "sim/SimDeviceListener.h"
#include "sim/SimFaults.h"

// Power-on defaults of the streaming knobs.
constexpr size_t SimDefaultSampleSize = 188 * 256;
constexpr uint64_t SimDefaultBitRate = 16000000;  // bits/s

// What an unplugged device answers: HRESULT_FROM_WIN32(ERROR_DEVICE_NOT_CONNECTED).
constexpr HRESULT SimDeviceNotConnected = static_cast<HRESULT>(0x8007048Fu);

// One scripted answer of ReadRemoteControlKey.
struct SimRemoteKey {
    HRESULT Result = S_OK;     // answered as is; outputs are written only on success
    uint16_t CustomCode = 0x2010;
    uint8_t Key = 0;
};

// A copy of the device's observable state (see SimDevice::State).
struct SimDeviceState {
    uint32_t TunerMode = 0;
    uint32_t EncryptionFlag = 0;
    bool HasPendingFrequency = false;
    TuneFrequency PendingFrequency{};
    bool HasTune = false;
    TuneRequest CurrentTune{};
    bool HasChannel = false;       // the current tune names a row of the plan
    SimChannel Channel{};          // valid when HasChannel
    uint32_t LnbPowerValue = 0;    // last SetLNBPower argument; non-zero = on
    uint32_t LnbCircuitChecks = 0;
    bool PidFilterOn = false;
    std::vector<uint16_t> PidList; // last list sent, at most 32 entries
    bool FactoryWritten = false;
    uint32_t Manufacturer = 0, Product = 0, SerialNumber = 0;
    bool CardPresent = true;
    uint32_t CardResets = 0;
    uint32_t CardCommands = 0;
    uint64_t TsBytesDelivered = 0;
    bool Plugged = true;
    bool Stalled = false;
    bool NoSignal = false;
    uint32_t PlugGeneration = 0;   // rises at every Replug
};

class SimDevice {
public:
    // `log` must outlive the device.
    SimDevice(const SimText& devicePath, SimCallLog& log);
    ~SimDevice();
    SimDevice(const SimDevice&) = delete;
    SimDevice& operator=(const SimDevice&) = delete;

    // The device path this device is known by (a copy).
    SimText Path() const;

    // ---- TunerDeviceControl operations (same arguments as the interface) ----
    HRESULT SetTunerMode(uint32_t mode);
    HRESULT SetFrequency(const TuneFrequency* frequency);
    HRESULT GetSignalStatistics(SignalStatistics* statistics);
    HRESULT SetTuneRequest(const TuneRequest* request);
    // Writes only the low 16 bits of *code.
    HRESULT ReadRemoteControlKey(uint32_t selector, uint32_t* code, uint8_t* key);
    HRESULT CheckLNBPowerCircuit(uint32_t value);
    HRESULT SetLNBPower(uint32_t value);
    HRESULT GetLNBPower(uint32_t value);
    HRESULT SetTransportStreanEncryptionFlag(uint32_t flag);
    HRESULT ResetCard();
    HRESULT GetCardStatus(uint32_t* cardPresent);
    // Response: bytes 0-1 the big-endian length N, then N bytes (the command
    // reversed followed by 0x90 0x00, or a queued response); see QueueCardResponse
    // and ForceCardResponseLength.
    HRESULT TransmitCardCommand(const uint8_t* command, uint32_t length, uint8_t* response,
                                uint32_t responseSize);
    HRESULT EnablePidFilter(uint32_t enable);
    // Counts above 32 are capped at 32.
    HRESULT SetPidFilterList(uint32_t count, const uint16_t* pids);
    HRESULT FactoryModeWriteManufacturerProductSerialNumber(uint32_t manufacturer,
                                                            uint32_t product,
                                                            uint32_t serialNumber);

    // ---- Used by the sim filters ----
    // Logs `op` (one of the filter-side fault points) and answers the armed
    // fault's code, or S_OK.
    HRESULT CheckFilterFault(SimOp op);
    // Pin types IBDA_Topology reports (default 2).
    uint32_t PinTypeCount() const;
    // Pins the tuner filter exposes before any CreatePin (0, 1 or 2; default 0).
    uint32_t InitialPinCount() const;
    // The next media-sample size of the pattern (cycled; default SimDefaultSampleSize).
    size_t NextSampleSize();
    // Pacing for the streaming thread in bits/s (default SimDefaultBitRate,
    // or a replayed recording's own rate while no SetBitRate chose one);
    // 0 = as fast as possible.
    uint64_t BitRate() const;
    // Fills up to `bytes` bytes of TS for the current tune (the hardware PID
    // filter applied) and returns how many it wrote. Fewer than `bytes` (often
    // 0) only when there is no channel or the PID filter lets none of the
    // stream's PIDs through. Every successful SetTuneRequest restarts the
    // stream, as a real retune does, but the packet under way is completed
    // first, so packets are never cut.
    size_t ReadTs(uint8_t* out, size_t bytes);
    // Held by the streaming thread from ReadTs until the sample has gone
    // downstream. A tune waits for it (1 s at most, so a stuck downstream
    // cannot hang the host), so once SetTuneRequest returned no sample of the
    // old channel is still on its way: a tuner flushes its streaming path at
    // a retune, and a host that purges after SetChannel gets none of it.
    std::unique_lock<std::mutex> HoldDelivery();

    // ---- Control (tests and tools) ----
    void ArmFault(SimOp op, HRESULT code, uint32_t times);  // times: N or SimFaultAlways
    void DisarmFaults();
    uint32_t FaultsFired(SimOp op) const;

    void SetPinTypeCount(uint32_t count);
    void SetInitialPinCount(uint32_t count);
    void SetSampleSizes(const std::vector<size_t>& sizes);  // empty = the default
    void SetBitRate(uint64_t bitsPerSecond);
    // What each channel carries from the next tune on (null: every channel
    // live). Shared with the caller; Reset leaves it in place, since it is
    // the simulator's configuration rather than a knob of the device.
    void SetChannelSources(std::shared_ptr<const SimChannelSources> sources);

    void ScriptRemoteKeys(const std::vector<SimRemoteKey>& keys);  // appended to the script
    void ClearRemoteKeys();
    size_t RemoteKeysLeft() const;

    void SetCardPresent(bool present);
    // The next command is answered with exactly these bytes (N = size, at most 510).
    void QueueCardResponse(const std::vector<uint8_t>& body);
    // Forces the length prefix of every answer to `length` (e.g. 511) while it
    // is 0 or more; a negative value returns to the true length.
    void ForceCardResponseLength(int32_t length);

    // Replaces the default statistics of the channel named `channelName`
    // ("13ch", "BS1/TS0", ...).
    void SetSignal(const WideChar* channelName, int32_t level, int32_t levelHundredths);
    void ClearSignalOverrides();

    // A consistent copy of the observable state.
    SimDeviceState State() const;

    // Answers a replayed report recorded (null: none): each operation it
    // names answers its recorded results and outputs in order, the last
    // again once they are used up. Shared with the caller; Reset keeps it.
    void SetAnswerScript(std::shared_ptr<SimAnswerScript> script);

    // ---- Misbehaviour ----
    // Each logs the event (its SimOp, Values {plug generation after it}),
    // changes the device and then tells every listener, in that order.
    // Asking for the state the device is already in (Unplug while unplugged)
    // changes nothing but is logged and told all the same.
    void Unplug();
    void Replug();
    void Stall();
    void Flow();
    // A streaming path started afresh from stopped (a new graph, or Stop and
    // Run): a stall was of the path that hung, so it ends, as reopening a
    // real tuner's stream does. Logs nothing.
    void RestartStream();
    void SetNoSignal(bool noSignal);  // true: NoSignal, false: Signal
    // Nothing changes in the device: its streaming filters end their stream.
    void Abort();
    // Unplugged without a word: no listener is told of it, nor of the
    // Replug that follows.
    void UnplugSilently();
    // A stall that a stream started afresh does not end (a hung driver that
    // reopening does not mend); only Flow (or Reset) ends it.
    void SetStallOutlastsRestart(bool outlasts);
    // Every Run of a graph holding this device returns `ms` later (a device
    // loading its firmware when its stream starts); 0 is normal speed.
    void SetRunDelay(uint32_t ms);
    uint32_t RunDelayMs() const;
    void Apply(SimDeviceEvent event);
    // Applies an event that carries a sequence number from the registry's
    // record (SimDeviceEvents): only when no event of that number or a
    // later one was applied here yet, so an event reaching the device twice
    // (in process and through the record) takes effect once. True when applied.
    bool ApplyRecorded(SimDeviceEvent event, uint64_t sequence);
    // The highest sequence applied by ApplyRecorded (0: none); Reset keeps it.
    uint64_t AppliedSequence() const;

    uint32_t PlugGeneration() const;
    // What a handle opened at plug generation `generation` reaches: this
    // device while it has not been replugged since, else a device of the
    // same path and log that is gone for good (every operation answers
    // SimDeviceNotConnected, ReadTs nothing). Never null; owned by this one.
    SimDevice* Through(uint32_t generation);

    // Listeners are told every event of this device until removed; `listener`
    // must stay valid until RemoveListener returns. Adding one twice adds it once.
    void AddListener(SimDeviceListener* listener);
    void RemoveListener(SimDeviceListener* listener);

    // Everything back to power-on defaults (faults, script, card, tune, PID
    // filter, filter knobs), plugged (a new plug generation if it was not),
    // flowing and with signal, without telling anyone. The call log, the
    // channel sources, the listeners and the applied sequence are not touched.
    void Reset();

private:
    struct Gone {};
    SimDevice(const SimText& devicePath, SimCallLog& log, Gone);

    struct SignalOverride {
        SimText Name;
        int32_t Level;
        int32_t Hundredths;
    };

    void Log(SimOp op, std::vector<uint32_t> values, std::vector<uint8_t> bytes, HRESULT result,
             std::vector<uint8_t> output = {});
    bool ScriptedBytes(size_t index, void* out, size_t size) const;
    void ScriptCardAnswer(uint8_t* response, uint32_t responseSize) const;
    template <class Perform>
    HRESULT Run(SimOp op, Perform perform);
    void ApplyTune(const TuneRequest& request);
    std::unique_ptr<TsSource> OpenSource() const;
    void BuildAnswer(const std::vector<uint8_t>& command, uint8_t* response, uint32_t responseSize);
    // Logs and performs `event` (device lock taken); whether the listeners
    // are to be told of it.
    bool Change(SimDeviceEvent event);
    // Calls every listener once (event lock held).
    void TellListeners(SimDeviceEvent event);

    // Taken first: serialises the events and guards the listeners, and is
    // held while they are told (never taken under lock_).
    mutable ReentrantLock eventLock_;
    std::vector<SimDeviceListener*> listeners_;
    std::unique_ptr<SimDevice> stale_;  // what old handles reach; null in that one itself

    // The delivery lock for a tune: held, or not after 1 s.
    std::unique_lock<std::mutex> AwaitDelivery();
    std::mutex deliveryLock_;  // taken before lock_, never under it
    mutable ReentrantLock lock_;
    const SimText path_;
    SimCallLog& log_;
    SimFaults faults_;
    SimDeviceState state_;
    std::deque<SimRemoteKey> keys_;
    std::deque<std::vector<uint8_t>> cardResponses_;
    int32_t forcedCardLength_ = -1;
    std::vector<SignalOverride> signals_;
    uint32_t pinTypeCount_ = 2;
    uint32_t initialPins_ = 0;
    std::vector<size_t> sampleSizes_;
    size_t nextSample_ = 0;
    uint64_t bitRate_ = SimDefaultBitRate;
    bool bitRateSet_ = false;                 // SetBitRate chose bitRate_
    std::shared_ptr<const SimChannelSources> sources_;
    std::shared_ptr<SimAnswerScript> script_;
    bool scripted_ = false;  // the operation under way answers from script_
    DeviceCall answer_;      // its answer
    std::unique_ptr<TsSource> generator_;  // current tune's stream, null without channel
    std::unique_ptr<TsSource> draining_;   // previous tune, until its packet is complete
    const bool gone_ = false;              // the stale device: never plugged again
    bool plugged_ = true;
    bool stalled_ = false;
    bool noSignal_ = false;
    bool unpluggedSilently_ = false;  // the next Replug is not told either
    bool stallOutlastsRestart_ = false;
    uint32_t runDelayMs_ = 0;
    uint32_t generation_ = 0;
    uint64_t appliedSequence_ = 0;
};

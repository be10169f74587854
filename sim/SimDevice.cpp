#include "sim/SimDevice.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

#include "platform/TunerDeviceControl.h"
#include "ts/TsGenerator.h"

namespace {

constexpr uint32_t MaxPidList = 32;
constexpr size_t CardResponsePrefix = 2;
constexpr size_t CardMaxBody = 510;
constexpr uint8_t CardStatusOk[2] = {0x90, 0x00};

template <class T>
std::vector<uint8_t> BytesOf(const T& value) {
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(&value);
    return std::vector<uint8_t>(bytes, bytes + sizeof(T));
}

bool SameName(const SimText& a, const WideChar* b) { return b && a == SimText(b); }

}  // namespace

#ifdef _WIN32
static_assert(SimDeviceNotConnected ==
                  MAKE_HRESULT(SEVERITY_ERROR, FACILITY_WIN32, ERROR_DEVICE_NOT_CONNECTED),
              "the code a removed device answers");
#endif

SimDevice::SimDevice(const SimText& devicePath, SimCallLog& log)
    : stale_(new SimDevice(devicePath, log, Gone{})), path_(devicePath), log_(log) {}

SimDevice::SimDevice(const SimText& devicePath, SimCallLog& log, Gone)
    : path_(devicePath), log_(log), gone_(true), plugged_(false) {}

SimDevice::~SimDevice() = default;

SimText SimDevice::Path() const { return path_; }

void SimDevice::Log(SimOp op, std::vector<uint32_t> values, std::vector<uint8_t> bytes,
                    HRESULT result, std::vector<uint8_t> output) {
    SimCall call;
    call.Op = op;
    call.Device = path_;
    call.Values = std::move(values);
    call.Bytes = std::move(bytes);
    call.Output = std::move(output);
    call.Result = result;
    log_.Append(std::move(call));
}

// Runs `perform` unless a failure is armed for `op`. A success code armed for
// `op` replaces the result of an operation that succeeded.
// An unplugged device answers TunerDeviceControl before any fault: nothing
// reaches it. The filter-side points go on as before.
template <class Perform>
HRESULT SimDevice::Run(SimOp op, Perform perform) {
    if (!plugged_ && op <= SimOp::FactoryModeWriteManufacturerProductSerialNumber)
        return SimDeviceNotConnected;
    HRESULT fault = S_OK;
    const bool faulted = faults_.Take(op, &fault);
    if (faulted && FAILED(fault)) return fault;
    // A replayed report answers as the user's tuner did; what the device
    // does stays the simulator's (a tune still selects the stream).
    scripted_ = script_ != nullptr && script_->Next(SimOpName(op), &answer_);
    if (scripted_) {
        if (FAILED(answer_.Result)) return answer_.Result;
        perform();
        return answer_.Result;
    }
    const HRESULT result = perform();
    return faulted && SUCCEEDED(result) ? fault : result;
}

HRESULT SimDevice::SetTunerMode(uint32_t mode) {
    ScopedLock hold(lock_);
    const HRESULT hr = Run(SimOp::SetTunerMode, [&] {
        state_.TunerMode = mode;
        return S_OK;
    });
    Log(SimOp::SetTunerMode, {mode}, {}, hr);
    return hr;
}

HRESULT SimDevice::SetFrequency(const TuneFrequency* frequency) {
    ScopedLock hold(lock_);
    if (!frequency) {
        Log(SimOp::SetFrequency, {}, {}, E_POINTER);
        return E_POINTER;
    }
    const TuneFrequency copy = *frequency;
    const HRESULT hr = Run(SimOp::SetFrequency, [&] {
        state_.PendingFrequency = copy;
        state_.HasPendingFrequency = true;
        return S_OK;
    });
    Log(SimOp::SetFrequency, {}, BytesOf(copy), hr);
    return hr;
}

HRESULT SimDevice::GetSignalStatistics(SignalStatistics* statistics) {
    ScopedLock hold(lock_);
    if (!statistics) {
        Log(SimOp::GetSignalStatistics, {}, {}, E_POINTER);
        return E_POINTER;
    }
    SignalStatistics filled{};
    const HRESULT hr = Run(SimOp::GetSignalStatistics, [&] {
        if (state_.HasChannel && generator_ && !noSignal_) {
            filled.Leading[0] = 1;  // locked
            DefaultSignal(state_.Channel, &filled.Level, &filled.LevelHundredths);
            for (const SignalOverride& entry : signals_)
                if (SameName(entry.Name, state_.Channel.Row->Name)) {
                    filled.Level = entry.Level;
                    filled.LevelHundredths = entry.Hundredths;
                }
        }
        *statistics = filled;
        return S_OK;
    });
    if (scripted_ && SUCCEEDED(hr) && ScriptedBytes(0, &filled, sizeof filled)) *statistics = filled;
    Log(SimOp::GetSignalStatistics, {}, SUCCEEDED(hr) ? BytesOf(filled) : std::vector<uint8_t>{},
        hr);
    return hr;
}

HRESULT SimDevice::SetTuneRequest(const TuneRequest* request) {
    const std::unique_lock<std::mutex> delivery = AwaitDelivery();
    ScopedLock hold(lock_);
    if (!request) {
        Log(SimOp::SetTuneRequest, {}, {}, E_POINTER);
        return E_POINTER;
    }
    const TuneRequest copy = *request;
    const HRESULT hr = Run(SimOp::SetTuneRequest, [&] {
        ApplyTune(copy);
        return S_OK;
    });
    Log(SimOp::SetTuneRequest, {}, BytesOf(copy), hr);
    return hr;
}

void SimDevice::ApplyTune(const TuneRequest& request) {
    state_.CurrentTune = request;
    state_.HasTune = true;
    const SimSkyKind sky = sources_ ? sources_->Sky() : SimSkyKind::BuiltIn;
    state_.HasChannel = ResolveSimChannel(request, sky, &state_.Channel);
    if (!state_.HasChannel) state_.Channel = SimChannel{};
    // Finish the packet under way before the new stream starts; a previous
    // drain still in progress means the current generator has not begun yet.
    if (!draining_ && generator_ && generator_->PendingBytes() > 0) draining_ = std::move(generator_);
    generator_.reset();
    if (!state_.HasChannel) return;
    generator_ = OpenSource();
    if (generator_) generator_->SetPidFilter(state_.PidFilterOn, state_.PidList);
}

// The current channel's stream as the sources say; null for a silent one.
std::unique_ptr<TsSource> SimDevice::OpenSource() const {
    const TsServiceInfo service = SimServiceInfo(state_.Channel);
    if (!sources_) return std::unique_ptr<TsSource>(new TsGenerator(service, bitRate_));
    return sources_->Open(SimChannelName(state_.Channel), service, bitRate_,
                          SimChannelSources::TuneKey(state_.CurrentTune));
}

HRESULT SimDevice::ReadRemoteControlKey(uint32_t selector, uint32_t* code, uint8_t* key) {
    ScopedLock hold(lock_);
    std::vector<uint8_t> written;
    HRESULT hr = E_POINTER;
    if (selector != RemoteKeySelector) {
        hr = E_INVALIDARG;
    } else if (code && key) {
        hr = Run(SimOp::ReadRemoteControlKey, [&] {
            if (keys_.empty()) return S_FALSE;
            const SimRemoteKey report = keys_.front();
            keys_.pop_front();
            if (SUCCEEDED(report.Result)) {
                *code = (*code & 0xFFFF0000u) | report.CustomCode;
                *key = report.Key;
                written = {static_cast<uint8_t>(report.CustomCode),
                           static_cast<uint8_t>(report.CustomCode >> 8), report.Key};
            }
            return report.Result;
        });
        if (scripted_ && hr == S_OK && answer_.Out.size() == 2) {
            const uint16_t custom = static_cast<uint16_t>(answer_.Out[0].Number);
            *code = (*code & 0xFFFF0000u) | custom;
            *key = static_cast<uint8_t>(answer_.Out[1].Number);
            written = {static_cast<uint8_t>(custom), static_cast<uint8_t>(custom >> 8), *key};
        }
    }
    Log(SimOp::ReadRemoteControlKey, {selector}, written, hr);
    return hr;
}

HRESULT SimDevice::CheckLNBPowerCircuit(uint32_t value) {
    ScopedLock hold(lock_);
    const HRESULT hr = Run(SimOp::CheckLNBPowerCircuit, [&] {
        ++state_.LnbCircuitChecks;
        return S_OK;
    });
    Log(SimOp::CheckLNBPowerCircuit, {value}, {}, hr);
    return hr;
}

HRESULT SimDevice::SetLNBPower(uint32_t value) {
    ScopedLock hold(lock_);
    const HRESULT hr = Run(SimOp::SetLNBPower, [&] {
        state_.LnbPowerValue = value;
        return S_OK;
    });
    Log(SimOp::SetLNBPower, {value}, {}, hr);
    return hr;
}

HRESULT SimDevice::GetLNBPower(uint32_t value) {
    ScopedLock hold(lock_);
    const HRESULT hr =
        Run(SimOp::GetLNBPower, [&] { return state_.LnbPowerValue != 0 ? S_OK : S_FALSE; });
    Log(SimOp::GetLNBPower, {value}, {}, hr);
    return hr;
}

HRESULT SimDevice::SetTransportStreanEncryptionFlag(uint32_t flag) {
    ScopedLock hold(lock_);
    const HRESULT hr = Run(SimOp::SetTransportStreanEncryptionFlag, [&] {
        state_.EncryptionFlag = flag;
        return S_OK;
    });
    Log(SimOp::SetTransportStreanEncryptionFlag, {flag}, {}, hr);
    return hr;
}

HRESULT SimDevice::ResetCard() {
    ScopedLock hold(lock_);
    const HRESULT hr = Run(SimOp::ResetCard, [&] {
        if (!state_.CardPresent) return E_FAIL;
        ++state_.CardResets;
        return S_OK;
    });
    Log(SimOp::ResetCard, {}, {}, hr);
    return hr;
}

HRESULT SimDevice::GetCardStatus(uint32_t* cardPresent) {
    ScopedLock hold(lock_);
    HRESULT hr = E_POINTER;
    uint32_t present = 0;
    if (cardPresent) {
        hr = Run(SimOp::GetCardStatus, [&] {
            present = state_.CardPresent ? 1 : 0;
            *cardPresent = present;
            return S_OK;
        });
        if (scripted_ && SUCCEEDED(hr) && !answer_.Out.empty() &&
            answer_.Out[0].Type == DeviceCallItem::Kind::Number) {
            present = static_cast<uint32_t>(answer_.Out[0].Number);
            *cardPresent = present;
        }
    }
    Log(SimOp::GetCardStatus, {}, SUCCEEDED(hr) ? BytesOf(present) : std::vector<uint8_t>{}, hr);
    return hr;
}

HRESULT SimDevice::TransmitCardCommand(const uint8_t* command, uint32_t length, uint8_t* response,
                                       uint32_t responseSize) {
    ScopedLock hold(lock_);
    std::vector<uint8_t> sent;
    if (command) sent.assign(command, command + length);
    HRESULT hr = S_OK;
    if ((!command && length > 0) || !response)
        hr = E_POINTER;
    else if (responseSize < CardResponsePrefix)
        hr = E_INVALIDARG;
    else
        hr = Run(SimOp::TransmitCardCommand, [&] {
            if (!state_.CardPresent) return E_FAIL;
            BuildAnswer(sent, response, responseSize);
            ++state_.CardCommands;
            return S_OK;
        });
    std::vector<uint8_t> answer;
    if (SUCCEEDED(hr) && response != nullptr && responseSize >= CardResponsePrefix) {
        if (scripted_) ScriptCardAnswer(response, responseSize);
        const size_t announced = (size_t{response[0]} << 8 | response[1]) + CardResponsePrefix;
        answer.assign(response, response + std::min<size_t>(announced, responseSize));
    }
    Log(SimOp::TransmitCardCommand, {length, responseSize}, std::move(sent), hr, std::move(answer));
    return hr;
}

void SimDevice::BuildAnswer(const std::vector<uint8_t>& command, uint8_t* response,
                            uint32_t responseSize) {
    std::vector<uint8_t> body;
    if (!cardResponses_.empty()) {
        body = std::move(cardResponses_.front());
        cardResponses_.pop_front();
    } else {
        const size_t echoed = std::min(command.size(), CardMaxBody - sizeof(CardStatusOk));
        body.assign(command.rbegin(), command.rbegin() + static_cast<std::ptrdiff_t>(echoed));
        body.insert(body.end(), CardStatusOk, CardStatusOk + sizeof(CardStatusOk));
    }
    const size_t length = forcedCardLength_ >= 0 ? static_cast<size_t>(forcedCardLength_) : body.size();
    std::memset(response, 0, responseSize);
    response[0] = static_cast<uint8_t>(length >> 8);
    response[1] = static_cast<uint8_t>(length);
    std::memcpy(response + CardResponsePrefix, body.data(),
                std::min(body.size(), responseSize - CardResponsePrefix));
}

HRESULT SimDevice::EnablePidFilter(uint32_t enable) {
    ScopedLock hold(lock_);
    const HRESULT hr = Run(SimOp::EnablePidFilter, [&] {
        state_.PidFilterOn = enable != 0;
        if (generator_) generator_->SetPidFilter(state_.PidFilterOn, state_.PidList);
        return S_OK;
    });
    Log(SimOp::EnablePidFilter, {enable}, {}, hr);
    return hr;
}

HRESULT SimDevice::SetPidFilterList(uint32_t count, const uint16_t* pids) {
    ScopedLock hold(lock_);
    std::vector<uint16_t> list;
    if (pids) list.assign(pids, pids + std::min(count, MaxPidList));
    std::vector<uint8_t> bytes;
    for (uint16_t pid : list) {
        bytes.push_back(static_cast<uint8_t>(pid));
        bytes.push_back(static_cast<uint8_t>(pid >> 8));
    }
    HRESULT hr = E_POINTER;
    if (pids || count == 0) {
        hr = Run(SimOp::SetPidFilterList, [&] {
            state_.PidList = list;
            if (generator_) generator_->SetPidFilter(state_.PidFilterOn, state_.PidList);
            return S_OK;
        });
    }
    Log(SimOp::SetPidFilterList, {count}, std::move(bytes), hr);
    return hr;
}

HRESULT SimDevice::FactoryModeWriteManufacturerProductSerialNumber(uint32_t manufacturer,
                                                                   uint32_t product,
                                                                   uint32_t serialNumber) {
    ScopedLock hold(lock_);
    const HRESULT hr = Run(SimOp::FactoryModeWriteManufacturerProductSerialNumber, [&] {
        state_.FactoryWritten = true;
        state_.Manufacturer = manufacturer;
        state_.Product = product;
        state_.SerialNumber = serialNumber;
        return S_OK;
    });
    Log(SimOp::FactoryModeWriteManufacturerProductSerialNumber,
        {manufacturer, product, serialNumber}, {}, hr);
    return hr;
}

HRESULT SimDevice::CheckFilterFault(SimOp op) {
    ScopedLock hold(lock_);
    const HRESULT hr = Run(op, [] { return S_OK; });
    Log(op, {}, {}, hr);
    return hr;
}

uint32_t SimDevice::PinTypeCount() const {
    ScopedLock hold(lock_);
    return pinTypeCount_;
}

uint32_t SimDevice::InitialPinCount() const {
    ScopedLock hold(lock_);
    return initialPins_;
}

size_t SimDevice::NextSampleSize() {
    ScopedLock hold(lock_);
    if (sampleSizes_.empty()) return SimDefaultSampleSize;
    const size_t size = sampleSizes_[nextSample_ % sampleSizes_.size()];
    nextSample_ = (nextSample_ + 1) % sampleSizes_.size();
    return size;
}

uint64_t SimDevice::BitRate() const {
    ScopedLock hold(lock_);
    if (!bitRateSet_ && generator_ && generator_->NaturalBitRate() != 0)
        return generator_->NaturalBitRate();
    return bitRate_;
}

std::unique_lock<std::mutex> SimDevice::HoldDelivery() {
    return std::unique_lock<std::mutex>(deliveryLock_);
}

// Polls instead of a timed lock, whose wait ThreadSanitizer cannot follow; a
// sample is on its way for microseconds, so the first or second try holds.
std::unique_lock<std::mutex> SimDevice::AwaitDelivery() {
    std::unique_lock<std::mutex> delivery(deliveryLock_, std::defer_lock);
    const auto due = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (!delivery.try_lock() && std::chrono::steady_clock::now() < due)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return delivery;
}

// Stalled or without signal the stream keeps its place, so it goes on
// where it stopped.
size_t SimDevice::ReadTs(uint8_t* out, size_t bytes) {
    ScopedLock hold(lock_);
    if (!out || !plugged_ || stalled_ || noSignal_) return 0;
    size_t written = 0;
    if (draining_) {
        written = draining_->DrainPending(out, bytes);
        if (draining_->PendingBytes() > 0) {
            state_.TsBytesDelivered += written;
            return written;
        }
        draining_.reset();
    }
    if (generator_) written += generator_->Read(out + written, bytes - written);
    state_.TsBytesDelivered += written;
    return written;
}

void SimDevice::ArmFault(SimOp op, HRESULT code, uint32_t times) {
    ScopedLock hold(lock_);
    faults_.Arm(op, code, times);
}

void SimDevice::DisarmFaults() {
    ScopedLock hold(lock_);
    faults_.Clear();
}

uint32_t SimDevice::FaultsFired(SimOp op) const {
    ScopedLock hold(lock_);
    return faults_.Fired(op);
}

void SimDevice::SetPinTypeCount(uint32_t count) {
    ScopedLock hold(lock_);
    pinTypeCount_ = count;
}

void SimDevice::SetInitialPinCount(uint32_t count) {
    ScopedLock hold(lock_);
    initialPins_ = std::min<uint32_t>(count, 2);
}

void SimDevice::SetSampleSizes(const std::vector<size_t>& sizes) {
    ScopedLock hold(lock_);
    sampleSizes_.clear();
    for (size_t size : sizes)
        if (size > 0) sampleSizes_.push_back(size);
    nextSample_ = 0;
}

void SimDevice::SetBitRate(uint64_t bitsPerSecond) {
    ScopedLock hold(lock_);
    bitRate_ = bitsPerSecond;
    bitRateSet_ = true;
}

void SimDevice::SetChannelSources(std::shared_ptr<const SimChannelSources> sources) {
    ScopedLock hold(lock_);
    sources_ = std::move(sources);
}

void SimDevice::ScriptRemoteKeys(const std::vector<SimRemoteKey>& keys) {
    ScopedLock hold(lock_);
    keys_.insert(keys_.end(), keys.begin(), keys.end());
}

void SimDevice::ClearRemoteKeys() {
    ScopedLock hold(lock_);
    keys_.clear();
}

size_t SimDevice::RemoteKeysLeft() const {
    ScopedLock hold(lock_);
    return keys_.size();
}

void SimDevice::SetCardPresent(bool present) {
    ScopedLock hold(lock_);
    state_.CardPresent = present;
}

void SimDevice::QueueCardResponse(const std::vector<uint8_t>& body) {
    ScopedLock hold(lock_);
    cardResponses_.emplace_back(body.begin(), body.begin() + std::min(body.size(), CardMaxBody));
}

void SimDevice::ForceCardResponseLength(int32_t length) {
    ScopedLock hold(lock_);
    forcedCardLength_ = std::min<int32_t>(length, 0xFFFF);
}

void SimDevice::SetSignal(const WideChar* channelName, int32_t level, int32_t levelHundredths) {
    ScopedLock hold(lock_);
    if (!channelName) return;
    for (SignalOverride& entry : signals_)
        if (SameName(entry.Name, channelName)) {
            entry.Level = level;
            entry.Hundredths = levelHundredths;
            return;
        }
    signals_.push_back(SignalOverride{SimText(channelName), level, levelHundredths});
}

void SimDevice::ClearSignalOverrides() {
    ScopedLock hold(lock_);
    signals_.clear();
}

SimDeviceState SimDevice::State() const {
    ScopedLock hold(lock_);
    SimDeviceState copy = state_;
    copy.Plugged = plugged_;
    copy.Stalled = stalled_;
    copy.NoSignal = noSignal_;
    copy.PlugGeneration = generation_;
    return copy;
}

void SimDevice::Unplug() { Apply(SimDeviceEvent::Unplug); }
void SimDevice::Replug() { Apply(SimDeviceEvent::Replug); }
void SimDevice::Stall() { Apply(SimDeviceEvent::Stall); }
void SimDevice::Flow() { Apply(SimDeviceEvent::Flow); }
void SimDevice::RestartStream() {
    ScopedLock hold(lock_);
    if (!stallOutlastsRestart_) stalled_ = false;
}

void SimDevice::SetStallOutlastsRestart(bool outlasts) {
    ScopedLock hold(lock_);
    stallOutlastsRestart_ = outlasts;
}
void SimDevice::SetNoSignal(bool noSignal) {
    Apply(noSignal ? SimDeviceEvent::NoSignal : SimDeviceEvent::Signal);
}
void SimDevice::Abort() { Apply(SimDeviceEvent::Abort); }
void SimDevice::UnplugSilently() { Apply(SimDeviceEvent::SilentUnplug); }

void SimDevice::SetRunDelay(uint32_t ms) {
    ScopedLock hold(lock_);
    runDelayMs_ = ms;
}

uint32_t SimDevice::RunDelayMs() const {
    ScopedLock hold(lock_);
    return runDelayMs_;
}

void SimDevice::Apply(SimDeviceEvent event) {
    if (event >= SimDeviceEvent::Count) return;
    ScopedLock events(eventLock_);
    if (Change(event)) TellListeners(event);
}

bool SimDevice::ApplyRecorded(SimDeviceEvent event, uint64_t sequence) {
    if (event >= SimDeviceEvent::Count) return false;
    ScopedLock events(eventLock_);
    {
        ScopedLock hold(lock_);
        if (sequence <= appliedSequence_) return false;
        appliedSequence_ = sequence;
    }
    if (Change(event)) TellListeners(event);
    return true;
}

uint64_t SimDevice::AppliedSequence() const {
    ScopedLock hold(lock_);
    return appliedSequence_;
}

bool SimDevice::Change(SimDeviceEvent event) {
    ScopedLock hold(lock_);
    bool tell = true;
    if (!gone_) {
        switch (event) {
        case SimDeviceEvent::Unplug:
            plugged_ = false;
            unpluggedSilently_ = false;
            break;
        case SimDeviceEvent::SilentUnplug:
            if (plugged_) unpluggedSilently_ = true;
            plugged_ = false;
            tell = false;
            break;
        case SimDeviceEvent::Replug:
            if (!plugged_) ++generation_;
            plugged_ = true;
            tell = !unpluggedSilently_;
            unpluggedSilently_ = false;
            break;
        case SimDeviceEvent::Stall: stalled_ = true; break;
        case SimDeviceEvent::Flow: stalled_ = false; break;
        case SimDeviceEvent::NoSignal: noSignal_ = true; break;
        case SimDeviceEvent::Signal: noSignal_ = false; break;
        case SimDeviceEvent::Abort:
        case SimDeviceEvent::Count: break;
        }
    }
    Log(SimOpOfEvent(event), {generation_}, {}, S_OK);
    return tell;
}

// A listener may go (even from inside its own call) while the others are
// told: each round looks for the next one not told yet in the list as it
// is now, so a removed listener is never called.
void SimDevice::TellListeners(SimDeviceEvent event) {
    std::vector<SimDeviceListener*> told;
    for (;;) {
        SimDeviceListener* next = nullptr;
        for (SimDeviceListener* listener : listeners_)
            if (std::find(told.begin(), told.end(), listener) == told.end()) {
                next = listener;
                break;
            }
        if (next == nullptr) return;
        told.push_back(next);
        next->OnDeviceEvent(*this, event);
    }
}

uint32_t SimDevice::PlugGeneration() const {
    ScopedLock hold(lock_);
    return generation_;
}

SimDevice* SimDevice::Through(uint32_t generation) {
    ScopedLock hold(lock_);
    return gone_ || generation == generation_ ? this : stale_.get();
}

void SimDevice::AddListener(SimDeviceListener* listener) {
    if (listener == nullptr) return;
    ScopedLock events(eventLock_);
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void SimDevice::RemoveListener(SimDeviceListener* listener) {
    ScopedLock events(eventLock_);
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener),
                     listeners_.end());
}

void SimDevice::Reset() {
    ScopedLock hold(lock_);
    faults_.Clear();
    state_ = SimDeviceState{};
    keys_.clear();
    cardResponses_.clear();
    forcedCardLength_ = -1;
    signals_.clear();
    pinTypeCount_ = 2;
    initialPins_ = 0;
    sampleSizes_.clear();
    nextSample_ = 0;
    bitRate_ = SimDefaultBitRate;
    bitRateSet_ = false;
    generator_.reset();
    draining_.reset();
    if (!gone_) {
        if (!plugged_) ++generation_;
        plugged_ = true;
    }
    stalled_ = false;
    noSignal_ = false;
    unpluggedSilently_ = false;
    stallOutlastsRestart_ = false;
    runDelayMs_ = 0;
}

void SimDevice::SetAnswerScript(std::shared_ptr<SimAnswerScript> script) {
    ScopedLock hold(lock_);
    script_ = std::move(script);
}

// The answer's first output as bytes of exactly `size`.
bool SimDevice::ScriptedBytes(size_t index, void* out, size_t size) const {
    if (answer_.Out.size() <= index) return false;
    const DeviceCallItem& item = answer_.Out[index];
    if (item.Type != DeviceCallItem::Kind::Bytes || item.Bytes.size() != size) return false;
    std::memcpy(out, item.Bytes.data(), size);
    return true;
}

// The card's recorded answer; one whose bytes were left out of the report
// comes back as that many zero bytes and the status word that was kept.
// Whatever length the report claims, only the caller's buffer is written:
// nothing is sized by the report's text.
void SimDevice::ScriptCardAnswer(uint8_t* response, uint32_t responseSize) const {
    if (answer_.Out.empty()) return;
    const DeviceCallItem& item = answer_.Out[0];
    std::memset(response, 0, responseSize);
    if (item.Type == DeviceCallItem::Kind::Bytes) {
        std::memcpy(response, item.Bytes.data(), std::min<size_t>(item.Bytes.size(), responseSize));
    } else if (item.Type == DeviceCallItem::Kind::Hidden && item.HiddenLength >= CardResponsePrefix) {
        const size_t length = item.HiddenLength;
        const size_t body = length - CardResponsePrefix;
        response[0] = static_cast<uint8_t>(body >> 8);
        response[1] = static_cast<uint8_t>(body);
        // The status word ends the answer, where the caller's buffer reaches it.
        if (length <= responseSize && length >= item.Bytes.size() + CardResponsePrefix)
            std::copy(item.Bytes.begin(), item.Bytes.end(), response + length - item.Bytes.size());
    }
}

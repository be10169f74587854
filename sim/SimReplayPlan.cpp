#include "sim/SimReplayPlan.h"

#include <sstream>

#include "platform/DeviceCallText.h"

namespace {

const char StreamLine[] = "\nstream.ts: ";
const char TuneLine[] = "\nstream.ts tuned by: device-calls.txt line ";

// Leading decimal digits of `text` from `at`, at most 18 of them; false when none.
bool LeadingNumber(const std::string& text, size_t at, uint64_t* value) {
    uint64_t result = 0;
    size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
        if (digits == 18) return false;
        result = result * 10 + static_cast<uint64_t>(text[at] - '0');
    }
    *value = result;
    return digits > 0;
}

// The number after `mark` in report.txt: 1 read, 0 no mark, -1 no number after it.
int NumberAfter(const std::string& report, const char* mark, uint64_t* value) {
    const size_t at = ("\n" + report).find(mark);
    if (at == std::string::npos) return 0;
    return LeadingNumber(report, at + std::string(mark).size() - 1, value) ? 1 : -1;
}

uint32_t Word(const std::vector<uint8_t>& bytes, size_t at) {
    return uint32_t{bytes[at]} | uint32_t{bytes[at + 1]} << 8 | uint32_t{bytes[at + 2]} << 16 |
           uint32_t{bytes[at + 3]} << 24;
}

// The request a SetTuneRequest line passed, as the driver laid it out.
bool TuneOf(const DeviceCall& call, TuneRequest* request) {
    if (call.In.size() != 1 || call.In[0].Type != DeviceCallItem::Kind::Bytes ||
        call.In[0].Bytes.size() != sizeof(TuneRequest))
        return false;
    const std::vector<uint8_t>& bytes = call.In[0].Bytes;
    *request = TuneRequest{};
    request->SystemType = Word(bytes, 0);
    request->Tsid = Word(bytes, 48);
    request->Tail.Frequency = Word(bytes, 52);
    request->Tail.FrequencyMultiplier = Word(bytes, 56);
    request->Tail.Bandwidth = Word(bytes, 60);
    return true;
}

std::string WithoutCr(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

bool SimReplayPlan::Read(const std::string& report, const std::string& deviceCalls,
                         const std::string& tuners, std::string* error) {
    *this = SimReplayPlan();
    if (report.size() > MaxTextBytes || deviceCalls.size() > MaxTextBytes || tuners.size() > MaxTextBytes) {
        *error = "a text of the report is larger than " + std::to_string(MaxTextBytes >> 20) + " MiB";
        return false;
    }
    uint64_t streamBytes = 0, line = 0;
    const int stream = NumberAfter(report, StreamLine, &streamBytes);
    const int named = NumberAfter(report, TuneLine, &line);
    if (stream < 0 || named < 0 || (named > 0 && (line == 0 || line > MaxTextBytes))) {
        *error = "report.txt: the line of stream.ts or of its tune holds no usable number (line 0, "
                 "or more than 18 digits)";
        return false;
    }
    hasStream_ = stream > 0 && streamBytes >= 188;
    return ReadCalls(deviceCalls, named > 0 ? static_cast<size_t>(line) : SIZE_MAX, error) &&
           ReadTuners(tuners, error);
}

// Every line is a device call; the stream's tune is the last SetTuneRequest
// at or before `lastLine`.
bool SimReplayPlan::ReadCalls(const std::string& text, size_t lastLine, std::string* error) {
    std::istringstream in(text);
    size_t number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        line = WithoutCr(line);
        if (line.find_first_not_of(" \t") == std::string::npos) continue;
        DeviceCall call;
        if (!DeviceCallText::Parse(line, &call)) {
            *error = "device-calls.txt line " + std::to_string(number) +
                     " is not a device call as the tracing DLL writes them (garbled, or a byte count"
                     " above " + std::to_string(DeviceCallText::MaxHiddenLength) + ")";
            return false;
        }
        ++calls_;
        if (call.Operation == "SetTuneRequest" && number <= lastLine && TuneOf(call, &tune_))
            tuneLine_ = number;
    }
    if (calls_ == 0) {
        *error = "the report holds no device calls: it was made with the release DLL. Ask for a "
                 "report made with the tracing DLL (trace\\BonDriver_TesselBDA.dll of the package) "
                 "in place of the usual one";
        return false;
    }
    if (lastLine != SIZE_MAX && lastLine > number) {
        *error = "report.txt names line " + std::to_string(lastLine) +
                 " of device-calls.txt for the stream's tune, which has " + std::to_string(number);
        return false;
    }
    if (hasStream_ && tuneLine_ == 0) {
        *error = "stream.ts holds TS, but device-calls.txt holds no tune for it (a SetTuneRequest "
                 "of 64 bytes)";
        return false;
    }
    return true;
}

// "1. NAME" then "   DevicePath: PATH", as `bonhost tuners` lists them.
bool SimReplayPlan::ReadTuners(const std::string& text, std::string* error) {
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        line = WithoutCr(line);
        const size_t dot = line.find(". ");
        const size_t path = line.find("DevicePath: ");
        if (dot != std::string::npos && dot > 0 && line.find_first_not_of("0123456789") == dot) {
            if (tuners_.size() == MaxTuners) {
                *error = "tuners.txt lists more than " + std::to_string(MaxTuners) + " tuners";
                return false;
            }
            tuners_.push_back(SimReplayTuner{line.substr(dot + 2), std::string()});
        } else if (!tuners_.empty() && path != std::string::npos) {
            tuners_.back().DevicePath = line.substr(path + 12);
        } else {
            continue;
        }
        if (tuners_.back().FriendlyName.size() > MaxNameLength ||
            tuners_.back().DevicePath.size() > MaxNameLength) {
            *error = "tuners.txt holds a name or device path longer than " +
                     std::to_string(MaxNameLength) + " bytes";
            return false;
        }
    }
    return true;
}

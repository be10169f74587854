#include "sim/SimChannelSources.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "ts/TsLoop.h"
#include "ts/TsReplayClip.h"

namespace {

// The whole file, or false when it cannot be read or is too large to replay.
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
    std::error_code code;
    const std::filesystem::path file = std::filesystem::u8path(path);
    const uintmax_t size = std::filesystem::file_size(file, code);
    if (code) {
        *error = "cannot read " + path + ": " + code.message();
        return false;
    }
    if (size > TsReplayClip::MaxBytes) {
        *error = path + " is larger than the 256 MiB a replay takes";
        return false;
    }
    std::ifstream in(file, std::ios::binary);
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
        *error = "cannot read " + path;
        return false;
    }
    return true;
}

}  // namespace

void SimChannelSources::Set(const std::string& channel, const SimChannelSource& source) {
    std::lock_guard<std::mutex> hold(lock_);
    channels_[channel] = source;
}

std::string SimChannelSources::TuneKey(const TuneRequest& request) {
    char key[64];
    if (request.SystemType == SystemTypeIsdbT)
        std::snprintf(key, sizeof key, "tune %lu kHz", static_cast<unsigned long>(request.Tail.Frequency));
    else
        std::snprintf(key, sizeof key, "tune %lu kHz TSID 0x%04lX",
                      static_cast<unsigned long>(request.Tail.Frequency),
                      static_cast<unsigned long>(request.Tsid & 0xFFFF));
    return key;
}

SimChannelSource SimChannelSources::Find(const std::string& channel, const std::string& tune) const {
    std::lock_guard<std::mutex> hold(lock_);
    auto found = tune.empty() ? channels_.end() : channels_.find(tune);
    if (found == channels_.end()) found = channels_.find(channel);
    if (found == channels_.end()) found = channels_.find(AnyChannel);
    return found == channels_.end() ? SimChannelSource() : found->second;
}

bool SimChannelSources::Empty() const {
    std::lock_guard<std::mutex> hold(lock_);
    return channels_.empty();
}

void SimChannelSources::SetSky(SimSkyKind sky) {
    std::lock_guard<std::mutex> hold(lock_);
    sky_ = sky;
}

SimSkyKind SimChannelSources::Sky() const {
    std::lock_guard<std::mutex> hold(lock_);
    return sky_;
}

std::unique_ptr<TsSource> SimChannelSources::Open(const std::string& channel,
                                                  const TsServiceInfo& service, uint64_t bitRate,
                                                  const std::string& tune) const {
    const SimChannelSource source = Find(channel, tune);
    if (source.Kind == SimSourceKind::Silent) return nullptr;
    if (source.Kind == SimSourceKind::Live)
        return std::unique_ptr<TsSource>(new TsGenerator(service, bitRate));
    std::string error;
    std::shared_ptr<const std::vector<uint8_t>> recording =
        source.Recording ? source.Recording : Recording(source.File, &error);
    if (!recording) return nullptr;
    std::shared_ptr<const std::vector<uint8_t>> clip = TsReplayClip::Prepare(*recording, service, &error);
    if (!clip) return nullptr;
    return std::unique_ptr<TsSource>(new TsLoop(clip));
}

std::shared_ptr<const std::vector<uint8_t>> SimChannelSources::Recording(const std::string& path,
                                                                         std::string* error) const {
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto found = files_.find(path);
        if (found != files_.end()) return found->second;
    }
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, &bytes, error)) return nullptr;
    auto shared = std::make_shared<const std::vector<uint8_t>>(std::move(bytes));
    std::lock_guard<std::mutex> hold(lock_);
    return files_.emplace(path, shared).first->second;
}

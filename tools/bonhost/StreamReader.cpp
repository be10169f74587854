#include "tools/bonhost/StreamReader.h"

void StreamReader::Read(DWORD ms, const Sink& sink, const std::function<bool()>& enough) {
    const Clock::time_point end = Clock::now() + std::chrono::milliseconds(ms);
    for (Clock::time_point now = Clock::now(); now < end; now = Clock::now()) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - now).count();
        driver_->WaitTsStream(static_cast<DWORD>(left < 100 ? (left > 0 ? left : 1) : 100));
        Drain(sink);
        if (enough && enough()) return;
    }
}

void StreamReader::Drain(const Sink& sink) {
    BYTE* data = nullptr;
    DWORD size = 0, remaining = 0;
    while (driver_->GetTsStream(&data, &size, &remaining)) {
        if (size != 0) {
            const Clock::time_point now = Clock::now();
            if (chunks_ == 0) {
                first_ = now;
                firstChunkBytes_ = size;
            }
            last_ = now;
            bytes_ += size;
            ++chunks_;
            if (sink) sink(data, size);
        }
        if (remaining == 0) break;
    }
}

double StreamReader::MeasuredMs() const {
    if (chunks_ < 2) return 0;
    return std::chrono::duration<double, std::milli>(last_ - first_).count();
}

double StreamReader::Mbps() const {
    const double ms = MeasuredMs();
    if (ms <= 0) return 0;
    return static_cast<double>(bytes_ - firstChunkBytes_) * 8.0 / 1000.0 / ms;
}

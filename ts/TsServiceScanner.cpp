#include "ts/TsServiceScanner.h"

#include <algorithm>

namespace {

constexpr uint8_t PatTable = 0x00;
constexpr uint8_t NitActualTable = 0x40;
constexpr uint8_t SdtActualTable = 0x42;
constexpr uint8_t NetworkNameDescriptor = 0x40;
constexpr uint8_t ServiceDescriptor = 0x48;
constexpr size_t CrcSize = 4;
constexpr size_t LongHeaderSize = 8;

uint16_t Read16(const uint8_t* data) { return static_cast<uint16_t>((data[0] << 8) | data[1]); }

// Calls `onDescriptor(tag, body, length)` for each whole descriptor of a loop.
template <class OnDescriptor>
void ForEachDescriptor(const uint8_t* data, size_t size, OnDescriptor onDescriptor) {
    for (size_t at = 0; at + 2 <= size;) {
        const size_t length = data[at + 1];
        if (length > size - at - 2) return;
        onDescriptor(data[at], data + at + 2, length);
        at += 2 + length;
    }
}

void ReadServiceDescriptor(const uint8_t* body, size_t length, TsScannedService* service) {
    if (length < 2) return;
    const size_t provider = body[1];
    if (2 + provider + 1 > length) return;
    const size_t name = body[2 + provider];
    if (3 + provider + name > length) return;
    service->HasDescriptor = true;
    service->ServiceType = body[0];
    service->Provider = AribText::Read(body + 2, provider);
    service->Name = AribText::Read(body + 3 + provider, name);
}

// The service loop from `at` to `end`; an entry that overruns ends it.
std::vector<TsScannedService> ReadServices(const uint8_t* section, size_t at, size_t end) {
    std::vector<TsScannedService> services;
    while (at + 5 <= end) {
        TsScannedService service;
        service.ServiceId = Read16(section + at);
        const size_t loop = Read16(section + at + 3) & 0x0FFFu;
        at += 5;
        if (loop > end - at) break;
        ForEachDescriptor(section + at, loop, [&](uint8_t tag, const uint8_t* body, size_t length) {
            if (tag == ServiceDescriptor) ReadServiceDescriptor(body, length, &service);
        });
        services.push_back(service);
        at += loop;
    }
    return services;
}

}  // namespace

void TsServiceScanner::Feed(const uint8_t* data, size_t bytes) {
    sync_.Feed(data, bytes, [this](const uint8_t* packet) { Packet(packet); });
}

void TsServiceScanner::Packet(const uint8_t* packet) {
    const uint16_t pid = static_cast<uint16_t>(((packet[1] & 0x1F) << 8) | packet[2]);
    TsSectionAssembler* assembler = nullptr;
    if (pid == PatPid)
        assembler = &pat_;
    else if (pid == NitPid)
        assembler = &nit_;
    else if (pid == SdtPid)
        assembler = &sdt_;
    else
        return;
    std::vector<std::vector<uint8_t>> sections;
    assembler->Feed(packet, &sections);
    for (const std::vector<uint8_t>& section : sections) Section(pid, section);
}

void TsServiceScanner::Section(uint16_t pid, const std::vector<uint8_t>& section) {
    // Only long-form sections that apply now; the assembler checked their CRC.
    if (section.size() < LongHeaderSize + CrcSize || !(section[1] & 0x80) || !(section[5] & 0x01)) return;
    if (pid == PatPid && section[0] == PatTable)
        ReadPat(section);
    else if (pid == NitPid && section[0] == NitActualTable) {
        ReadNit(section);
        nitTable_.Section(section.data(), section.size());
    }
    else if (pid == SdtPid && section[0] == SdtActualTable)
        ReadSdt(section);
}

void TsServiceScanner::ReadPat(const std::vector<uint8_t>& section) {
    hasPat_ = true;
    tsid_ = Read16(&section[3]);
}

void TsServiceScanner::ReadNit(const std::vector<uint8_t>& section) {
    const size_t end = section.size() - CrcSize;
    if (LongHeaderSize + 2 > end) return;
    const uint16_t networkId = Read16(&section[3]);
    const int version = (section[5] >> 1) & 0x1F;
    if (version != nitVersion_ || networkId != networkId_) {
        hasNetworkName_ = false;
        networkName_ = AribName();
    }
    nitVersion_ = version;
    networkId_ = networkId;
    const size_t length = Read16(&section[LongHeaderSize]) & 0x0FFFu;
    const size_t at = LongHeaderSize + 2;
    if (length > end - at) return;
    ForEachDescriptor(&section[at], length, [&](uint8_t tag, const uint8_t* body, size_t size) {
        if (tag != NetworkNameDescriptor || hasNetworkName_) return;
        hasNetworkName_ = true;
        networkName_ = AribText::Read(body, size);
    });
}

void TsServiceScanner::ReadSdt(const std::vector<uint8_t>& section) {
    const size_t end = section.size() - CrcSize;
    if (LongHeaderSize + 3 > end) return;
    const uint16_t tsid = Read16(&section[3]);
    const int version = (section[5] >> 1) & 0x1F;
    const uint8_t number = section[6], last = section[7];
    if (number > last) return;
    if (version != sdtVersion_ || tsid != sdtTsid_ || last != sdtLastSection_) sdtSections_.clear();
    sdtVersion_ = version;
    sdtTsid_ = tsid;
    sdtLastSection_ = last;
    originalNetworkId_ = Read16(&section[LongHeaderSize]);
    sdtSections_[number] = ReadServices(section.data(), LongHeaderSize + 3, end);
}

bool TsServiceScanner::HasSdt() const {
    return sdtVersion_ >= 0 && sdtSections_.size() == static_cast<size_t>(sdtLastSection_) + 1;
}

std::vector<TsScannedService> TsServiceScanner::Services() const {
    std::vector<TsScannedService> services;
    for (const auto& entry : sdtSections_)
        services.insert(services.end(), entry.second.begin(), entry.second.end());
    std::stable_sort(services.begin(), services.end(),
                     [](const TsScannedService& a, const TsScannedService& b) {
                         return a.ServiceId < b.ServiceId;
                     });
    return services;
}

uint64_t TsServiceScanner::Sections() const { return pat_.Sections() + nit_.Sections() + sdt_.Sections(); }

uint64_t TsServiceScanner::CrcErrors() const {
    return pat_.CrcErrors() + nit_.CrcErrors() + sdt_.CrcErrors();
}

uint64_t TsServiceScanner::Discontinuities() const {
    return pat_.Discontinuities() + nit_.Discontinuities() + sdt_.Discontinuities();
}

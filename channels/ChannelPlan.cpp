// The channel plan: constant tables in static storage, so every name and row
// pointer handed out stays valid for the life of the process. Each network has
// exactly two tuning spaces; a space knows its table and the system type the
// tuner expects for it.
#include "channels/ChannelPlan.h"

#include <cstring>

#include "platform/WideText.h"

namespace {

constexpr uint32_t TerrestrialTsid = 0xFFFFFFFF;
constexpr uint32_t FrequencyMultiplierKHz = 1000;
constexpr uint32_t IsdbTBandwidth = 6;
constexpr uint32_t IsdbSBandwidth = 9;

// Uhf: physical channels 13-62, 6 MHz apart.
const ChannelRow UhfChannels[] = {
    {WIDE("13ch"), 473143, 0},
    {WIDE("14ch"), 479143, 0},
    {WIDE("15ch"), 485143, 0},
    {WIDE("16ch"), 491143, 0},
    {WIDE("17ch"), 497143, 0},
    {WIDE("18ch"), 503143, 0},
    {WIDE("19ch"), 509143, 0},
    {WIDE("20ch"), 515143, 0},
    {WIDE("21ch"), 521143, 0},
    {WIDE("22ch"), 527143, 0},
    {WIDE("23ch"), 533143, 0},
    {WIDE("24ch"), 539143, 0},
    {WIDE("25ch"), 545143, 0},
    {WIDE("26ch"), 551143, 0},
    {WIDE("27ch"), 557143, 0},
    {WIDE("28ch"), 563143, 0},
    {WIDE("29ch"), 569143, 0},
    {WIDE("30ch"), 575143, 0},
    {WIDE("31ch"), 581143, 0},
    {WIDE("32ch"), 587143, 0},
    {WIDE("33ch"), 593143, 0},
    {WIDE("34ch"), 599143, 0},
    {WIDE("35ch"), 605143, 0},
    {WIDE("36ch"), 611143, 0},
    {WIDE("37ch"), 617143, 0},
    {WIDE("38ch"), 623143, 0},
    {WIDE("39ch"), 629143, 0},
    {WIDE("40ch"), 635143, 0},
    {WIDE("41ch"), 641143, 0},
    {WIDE("42ch"), 647143, 0},
    {WIDE("43ch"), 653143, 0},
    {WIDE("44ch"), 659143, 0},
    {WIDE("45ch"), 665143, 0},
    {WIDE("46ch"), 671143, 0},
    {WIDE("47ch"), 677143, 0},
    {WIDE("48ch"), 683143, 0},
    {WIDE("49ch"), 689143, 0},
    {WIDE("50ch"), 695143, 0},
    {WIDE("51ch"), 701143, 0},
    {WIDE("52ch"), 707143, 0},
    {WIDE("53ch"), 713143, 0},
    {WIDE("54ch"), 719143, 0},
    {WIDE("55ch"), 725143, 0},
    {WIDE("56ch"), 731143, 0},
    {WIDE("57ch"), 737143, 0},
    {WIDE("58ch"), 743143, 0},
    {WIDE("59ch"), 749143, 0},
    {WIDE("60ch"), 755143, 0},
    {WIDE("61ch"), 761143, 0},
    {WIDE("62ch"), 767143, 0},
};

// Cable C01-C63 in channel order; the frequency plan jumps between bands.
const ChannelRow CatvChannels[] = {
    {WIDE("C01ch"), 93143, 0},
    {WIDE("C02ch"), 99143, 0},
    {WIDE("C03ch"), 105143, 0},
    {WIDE("C04ch"), 173143, 0},
    {WIDE("C05ch"), 179143, 0},
    {WIDE("C06ch"), 185143, 0},
    {WIDE("C07ch"), 191143, 0},
    {WIDE("C08ch"), 195143, 0},
    {WIDE("C09ch"), 201143, 0},
    {WIDE("C10ch"), 207143, 0},
    {WIDE("C11ch"), 213143, 0},
    {WIDE("C12ch"), 219143, 0},
    {WIDE("C13ch"), 111143, 0},
    {WIDE("C14ch"), 117143, 0},
    {WIDE("C15ch"), 123143, 0},
    {WIDE("C16ch"), 129143, 0},
    {WIDE("C17ch"), 135143, 0},
    {WIDE("C18ch"), 141143, 0},
    {WIDE("C19ch"), 147143, 0},
    {WIDE("C20ch"), 153143, 0},
    {WIDE("C21ch"), 159143, 0},
    {WIDE("C22ch"), 167143, 0},
    {WIDE("C23ch"), 225143, 0},
    {WIDE("C24ch"), 231143, 0},
    {WIDE("C25ch"), 237143, 0},
    {WIDE("C26ch"), 243143, 0},
    {WIDE("C27ch"), 249143, 0},
    {WIDE("C28ch"), 255143, 0},
    {WIDE("C29ch"), 261143, 0},
    {WIDE("C30ch"), 267143, 0},
    {WIDE("C31ch"), 273143, 0},
    {WIDE("C32ch"), 279143, 0},
    {WIDE("C33ch"), 285143, 0},
    {WIDE("C34ch"), 291143, 0},
    {WIDE("C35ch"), 297143, 0},
    {WIDE("C36ch"), 303143, 0},
    {WIDE("C37ch"), 309143, 0},
    {WIDE("C38ch"), 315143, 0},
    {WIDE("C39ch"), 321143, 0},
    {WIDE("C40ch"), 327143, 0},
    {WIDE("C41ch"), 333143, 0},
    {WIDE("C42ch"), 339143, 0},
    {WIDE("C43ch"), 345143, 0},
    {WIDE("C44ch"), 351143, 0},
    {WIDE("C45ch"), 357143, 0},
    {WIDE("C46ch"), 363143, 0},
    {WIDE("C47ch"), 369143, 0},
    {WIDE("C48ch"), 375143, 0},
    {WIDE("C49ch"), 381143, 0},
    {WIDE("C50ch"), 387143, 0},
    {WIDE("C51ch"), 393143, 0},
    {WIDE("C52ch"), 399143, 0},
    {WIDE("C53ch"), 405143, 0},
    {WIDE("C54ch"), 411143, 0},
    {WIDE("C55ch"), 417143, 0},
    {WIDE("C56ch"), 423143, 0},
    {WIDE("C57ch"), 429143, 0},
    {WIDE("C58ch"), 435143, 0},
    {WIDE("C59ch"), 441143, 0},
    {WIDE("C60ch"), 447143, 0},
    {WIDE("C61ch"), 453143, 0},
    {WIDE("C62ch"), 459143, 0},
    {WIDE("C63ch"), 465143, 0},
};

// BS transponders (odd numbers, 19.18 MHz apart) with their TS ids.
const ChannelRow BsChannels[] = {
    {WIDE("BS1/TS0"), 11727480, 0x4010},
    {WIDE("BS1/TS1"), 11727480, 0x4011},
    {WIDE("BS3/TS0"), 11765840, 0x4030},
    {WIDE("BS3/TS1"), 11765840, 0x4031},
    {WIDE("BS5/TS0"), 11804200, 0x4450},
    {WIDE("BS5/TS1"), 11804200, 0x4451},
    {WIDE("BS7/TS0"), 11842560, 0x4470},
    {WIDE("BS7/TS1"), 11842560, 0x4671},
    {WIDE("BS7/TS2"), 11842560, 0x4672},
    {WIDE("BS9/TS0"), 11880920, 0x4090},
    {WIDE("BS9/TS1"), 11880920, 0x4091},
    {WIDE("BS9/TS2"), 11880920, 0x4092},
    {WIDE("BS11/TS0"), 11919280, 0x46B0},
    {WIDE("BS11/TS1"), 11919280, 0x46B1},
    {WIDE("BS11/TS2"), 11919280, 0x46B2},
    {WIDE("BS13/TS0"), 11957640, 0x40D0},
    {WIDE("BS13/TS1"), 11957640, 0x40D1},
    {WIDE("BS15/TS0"), 11996000, 0x40F1},
    {WIDE("BS15/TS1"), 11996000, 0x40F2},
    {WIDE("BS17/TS0"), 12034360, 0x4310},
    {WIDE("BS17/TS1"), 12034360, 0x4311},
    {WIDE("BS19/TS0"), 12072720, 0x4730},
    {WIDE("BS19/TS1"), 12072720, 0x4731},
    {WIDE("BS19/TS2"), 12072720, 0x4732},
    {WIDE("BS21/TS0"), 12111080, 0x4750},
    {WIDE("BS21/TS1"), 12111080, 0x4751},
    {WIDE("BS21/TS2"), 12111080, 0x4752},
    {WIDE("BS23/TS0"), 12149440, 0x4770},
    {WIDE("BS23/TS1"), 12149440, 0x4771},
    {WIDE("BS23/TS2"), 12149440, 0x4772},
};

// CS110 transponders ND2-ND24, 20 MHz apart, one TS each.
const ChannelRow Cs110Channels[] = {
    {WIDE("ND2"), 12291000, 0x6020},
    {WIDE("ND4"), 12331000, 0x7040},
    {WIDE("ND6"), 12371000, 0x7060},
    {WIDE("ND8"), 12411000, 0x6080},
    {WIDE("ND10"), 12451000, 0x60A0},
    {WIDE("ND12"), 12491000, 0x70C0},
    {WIDE("ND14"), 12531000, 0x70E0},
    {WIDE("ND16"), 12571000, 0x7100},
    {WIDE("ND18"), 12611000, 0x7120},
    {WIDE("ND20"), 12651000, 0x7140},
    {WIDE("ND22"), 12691000, 0x7160},
    {WIDE("ND24"), 12731000, 0x7180},
};

struct TuningSpace {
    const WideChar* Name;
    const ChannelRow* Rows;
    uint32_t Count;
    uint32_t SystemType;
    uint32_t LowKHz;   // the band a channel file's rows must keep to
    uint32_t HighKHz;
};

template <size_t N>
constexpr TuningSpace MakeSpace(const WideChar* name, const ChannelRow (&rows)[N],
                                uint32_t systemType, uint32_t lowKHz, uint32_t highKHz) {
    return TuningSpace{name, rows, static_cast<uint32_t>(N), systemType, lowKHz, highKHz};
}

// The space name "UFH" is what hosts have always been shown; keep it. The
// bands: UHF television 470-770 MHz; cable from VHF up through the UHF
// pass-through channels, 90-770 MHz; BS 11.7-12.2 GHz; CS110 12.2-12.75 GHz.
// Both satellite bands lie above the LNB's local oscillator.
const TuningSpace IsdbTSpaces[2] = {
    MakeSpace(WIDE("UFH"), UhfChannels, SystemTypeIsdbT, 470000, 770000),
    MakeSpace(WIDE("CATV"), CatvChannels, SystemTypeIsdbT, 90000, 770000),
};

const TuningSpace IsdbSSpaces[2] = {
    MakeSpace(WIDE("BS"), BsChannels, SystemTypeIsdbSBs, 11700000, 12200000),
    MakeSpace(WIDE("CS110"), Cs110Channels, SystemTypeIsdbSCs110, 12200000, 12750000),
};

static_assert(sizeof(UhfChannels) / sizeof(ChannelRow) == 50, "UHF 13-62");
static_assert(sizeof(CatvChannels) / sizeof(ChannelRow) == 63, "C01-C63");
static_assert(sizeof(BsChannels) / sizeof(ChannelRow) == 30, "30 BS streams");
static_assert(sizeof(Cs110Channels) / sizeof(ChannelRow) == 12, "ND2-ND24");

const TuningSpace* FindSpace(Network network, uint32_t space) {
    if (space >= 2) return nullptr;
    switch (network) {
    case Network::IsdbT:
        return &IsdbTSpaces[space];
    case Network::IsdbS:
        return &IsdbSSpaces[space];
    case Network::None:
        break;
    }
    return nullptr;
}

}  // namespace

Network NetworkFromName(const WideChar* networkName) {
    if (networkName == nullptr) return Network::None;
    if (WideEqualN(networkName, WIDE("ISDBT"), NetworkNameCapacity)) return Network::IsdbT;
    if (WideEqualN(networkName, WIDE("ISDBS"), NetworkNameCapacity)) return Network::IsdbS;
    return Network::None;
}

const WideChar* TuningSpaceName(Network network, uint32_t space) {
    const TuningSpace* found = FindSpace(network, space);
    return found != nullptr ? found->Name : nullptr;
}

uint32_t ChannelCount(Network network, uint32_t space) {
    const TuningSpace* found = FindSpace(network, space);
    return found != nullptr ? found->Count : 0;
}

const ChannelRow* LookupChannel(Network network, uint32_t space, uint32_t channel) {
    const TuningSpace* found = FindSpace(network, space);
    if (found == nullptr || channel >= found->Count) return nullptr;
    return &found->Rows[channel];
}

int32_t FindTuningSpace(Network network, const WideChar* name, size_t length) {
    for (uint32_t space = 0; space < 2; ++space) {
        const TuningSpace* found = FindSpace(network, space);
        if (found == nullptr) return -1;
        if (WideLength(found->Name, length + 1) == length && WideEqualN(found->Name, name, length))
            return static_cast<int32_t>(space);
    }
    return -1;
}

bool TuningSpaceBand(Network network, uint32_t space, uint32_t* lowKHz, uint32_t* highKHz) {
    const TuningSpace* found = FindSpace(network, space);
    if (found == nullptr) return false;
    *lowKHz = found->LowKHz;
    *highKHz = found->HighKHz;
    return true;
}

void FillTuneRequest(Network network, uint32_t space, const ChannelRow& row, TuneRequest* request) {
    std::memset(request, 0, sizeof(*request));
    const TuningSpace* found = FindSpace(network, space);
    request->SystemType = found != nullptr ? found->SystemType : SystemTypeIsdbT;
    request->Tail.FrequencyMultiplier = FrequencyMultiplierKHz;
    if (network == Network::IsdbS) {
        // The tuner wants the intermediate frequency behind the LNB.
        request->Tsid = row.Tsid;
        request->Tail.Frequency = row.Frequency - LnbLocalOscillatorKHz;
        request->Tail.Bandwidth = IsdbSBandwidth;
    } else {
        request->Tsid = TerrestrialTsid;
        request->Tail.Frequency = row.Frequency;
        request->Tail.Bandwidth = IsdbTBandwidth;
    }
}

#include "sim/SimSky.h"

namespace {

constexpr uint16_t BsNetworkId = 4;
constexpr uint16_t Cs110FirstNetworkId = 6;
constexpr uint16_t Cs110SecondNetworkId = 7;

const ChannelRow Bs2025[] = {
    {WIDE("BS1/TS0"), 11727480, 0x4010},
    {WIDE("BS1/TS1"), 11727480, 0x4011},
    {WIDE("BS1/TS2"), 11727480, 0x4012},
    {WIDE("BS3/TS0"), 11765840, 0x4030},
    {WIDE("BS3/TS1"), 11765840, 0x4631},
    {WIDE("BS3/TS2"), 11765840, 0x4632},
    {WIDE("BS5/TS0"), 11804200, 0x4450},
    {WIDE("BS5/TS1"), 11804200, 0x4451},
    {WIDE("BS5/TS2"), 11804200, 0x4452},
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
    {WIDE("BS13/TS2"), 11957640, 0x46D2},
    {WIDE("BS15/TS0"), 11996000, 0x40F1},
    {WIDE("BS15/TS1"), 11996000, 0x40F2},
    {WIDE("BS15/TS2"), 11996000, 0x48F3},
    {WIDE("BS17/TS0"), 12034360, 0x4310},
    {WIDE("BS17/TS1"), 12034360, 0x4311},
    {WIDE("BS17/TS2"), 12034360, 0x4312},
    {WIDE("BS19/TS0"), 12072720, 0x4730},
    {WIDE("BS19/TS1"), 12072720, 0x4731},
    {WIDE("BS19/TS2"), 12072720, 0x4732},
    {WIDE("BS19/TS3"), 12072720, 0x4733},
    {WIDE("BS21/TS0"), 12111080, 0x4750},
    {WIDE("BS21/TS1"), 12111080, 0x4751},
    {WIDE("BS21/TS2"), 12111080, 0x4752},
    {WIDE("BS23/TS0"), 12149440, 0x4770},
    {WIDE("BS23/TS1"), 12149440, 0x4971},
    {WIDE("BS23/TS2"), 12149440, 0x4972},
    {WIDE("BS23/TS3"), 12149440, 0x4973},
};

const ChannelRow Cs1102025[] = {
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

template <size_t N>
constexpr uint32_t CountOf(const ChannelRow (&)[N]) {
    return static_cast<uint32_t>(N);
}

}  // namespace

const char* SimSky::Name(SimSkyKind sky) { return sky == SimSkyKind::Year2025 ? "2025" : "built-in"; }

bool SimSky::FromName(const std::string& name, SimSkyKind* sky) {
    for (SimSkyKind kind : {SimSkyKind::BuiltIn, SimSkyKind::Year2025}) {
        if (name != Name(kind)) continue;
        *sky = kind;
        return true;
    }
    return false;
}

uint32_t SimSky::Count(SimSkyKind sky, uint32_t space) {
    if (sky == SimSkyKind::BuiltIn) return ChannelCount(Network::IsdbS, space);
    if (space == 0) return CountOf(Bs2025);
    return space == 1 ? CountOf(Cs1102025) : 0;
}

const ChannelRow* SimSky::Row(SimSkyKind sky, uint32_t space, uint32_t index) {
    if (sky == SimSkyKind::BuiltIn) return LookupChannel(Network::IsdbS, space, index);
    if (index >= Count(sky, space)) return nullptr;
    return space == 0 ? &Bs2025[index] : &Cs1102025[index];
}

uint16_t SimSky::NetworkId(uint32_t space, uint16_t tsid) {
    if (space == 0) return BsNetworkId;
    return (tsid >> 12) == 0x6 ? Cs110FirstNetworkId : Cs110SecondNetworkId;
}

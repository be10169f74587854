// Identifiers shared by the driver and the components it meets in the graph.
// They are spelled out here rather than taken from the toolchain's import
// libraries: mingw's strmiids carries an older IBDA_Topology identifier
// ({A14EE835-0A23-11D3-9CC7-00C04F7971E0}) that real BDA tuner filters do
// not answer to.
#pragma once

#include "platform/ComTypes.h"

// KSCATEGORY_BDA_NETWORK_TUNER {71985F48-1CA1-11D3-9CC8-00C04F7971E0}
constexpr GUID CategoryBdaNetworkTuner = {
    0x71985F48, 0x1CA1, 0x11D3, {0x9C, 0xC8, 0x00, 0xC0, 0x4F, 0x79, 0x71, 0xE0}};
// KSCATEGORY_BDA_RECEIVER_COMPONENT {FD0A5AF4-B41D-11D2-9C95-00C04F7971E0}
constexpr GUID CategoryBdaReceiverComponent = {
    0xFD0A5AF4, 0xB41D, 0x11D2, {0x9C, 0x95, 0x00, 0xC0, 0x4F, 0x79, 0x71, 0xE0}};
// The maker's network provider filter {AA8B6354-7993-47F9-8773-7279CDF30F07}
constexpr GUID ClsidTesselNetworkProvider = {
    0xAA8B6354, 0x7993, 0x47F9, {0x87, 0x73, 0x72, 0x79, 0xCD, 0xF3, 0x0F, 0x07}};
// The maker's null terminal filter {549AA259-02A6-4163-8A7E-2A76BD447CAF}
constexpr GUID ClsidTesselNullTerminal = {
    0x549AA259, 0x02A6, 0x4163, {0x8A, 0x7E, 0x2A, 0x76, 0xBD, 0x44, 0x7C, 0xAF}};
// IBDA_Topology {79B56888-7FEA-4690-B45D-38FD3C7849BE}
constexpr GUID IidBdaTopology = {
    0x79B56888, 0x7FEA, 0x4690, {0xB4, 0x5D, 0x38, 0xFD, 0x3C, 0x78, 0x49, 0xBE}};

// Class identifiers and device categories of the simulated Tessel tuner.
// The network provider and null terminal identifiers are the maker's; the
// others are the simulator's own.
#pragma once

#include "platform/BdaGuids.h"

constexpr GUID CLSID_SimNetworkProvider = ClsidTesselNetworkProvider;
constexpr GUID CLSID_SimNullTerminal = ClsidTesselNullTerminal;
// {46447C02-BF6D-4A7F-A141-276197E8189E}
constexpr GUID CLSID_SimTunerFilter = {
    0x46447C02, 0xBF6D, 0x4A7F, {0xA1, 0x41, 0x27, 0x61, 0x97, 0xE8, 0x18, 0x9E}};
// The receiver components named "BDA MPE Filter" and "BDA Slip De-Framer":
// the driver must never create them, so each has a class of its own and
// every creation is counted.
// {38BFFDD8-2E99-40B2-AB85-C59E68CACF8C}
constexpr GUID CLSID_SimMpeFilter = {
    0x38BFFDD8, 0x2E99, 0x40B2, {0xAB, 0x85, 0xC5, 0x9E, 0x68, 0xCA, 0xCF, 0x8C}};
// {F18928FE-DDE2-4592-9E00-37FA7F1160D1}
constexpr GUID CLSID_SimSlipDeFramer = {
    0xF18928FE, 0xDDE2, 0x4592, {0x9E, 0x00, 0x37, 0xFA, 0x7F, 0x11, 0x60, 0xD1}};
// A receiver component whose input pin refuses every connection.
// {3850EE99-A7BF-4BED-9336-4CF471AEFD77}
constexpr GUID CLSID_SimRefusingReceiver = {
    0x3850EE99, 0xA7BF, 0x4BED, {0x93, 0x36, 0x4C, 0xF4, 0x71, 0xAE, 0xFD, 0x77}};
// A receiver component that passes every sample on unchanged.
// {86CE9973-16C0-4BC3-9D64-A9496640DF08}
constexpr GUID CLSID_SimPassThroughReceiver = {
    0x86CE9973, 0x16C0, 0x4BC3, {0x9D, 0x64, 0xA9, 0x49, 0x66, 0x40, 0xDF, 0x08}};

constexpr GUID SimCategoryNetworkTuner = CategoryBdaNetworkTuner;
constexpr GUID SimCategoryReceiverComponent = CategoryBdaReceiverComponent;

// Media types on the simulated pins. Antenna: network provider -> tuner
// input (KSDATAFORMAT_TYPE_BDA_ANTENNA); the TS: MEDIATYPE_Stream with the
// MPEG-2 transport subtype.
// {71985F41-1CA1-11D3-9CC8-00C04F7971E0}
constexpr GUID SimMediaTypeAntenna = {
    0x71985F41, 0x1CA1, 0x11D3, {0x9C, 0xC8, 0x00, 0xC0, 0x4F, 0x79, 0x71, 0xE0}};
// {E436EB83-524F-11CE-9F53-0020AF0BA770}
constexpr GUID SimMediaTypeStream = {
    0xE436EB83, 0x524F, 0x11CE, {0x9F, 0x53, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {E06D8023-DB46-11CF-B4D1-00805F6CBBEA}
constexpr GUID SimMediaSubtypeTransport = {
    0xE06D8023, 0xDB46, 0x11CF, {0xB4, 0xD1, 0x00, 0x80, 0x5F, 0x6C, 0xBB, 0xEA}};

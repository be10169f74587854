// CRC-32/MPEG-2 (polynomial 0x04C11DB7, initial value 0xFFFFFFFF, no
// reflection, no final xor), as carried at the end of every PSI section.
// Running it over a whole section including its CRC gives 0.
#pragma once

#include <cstddef>
#include <cstdint>

uint32_t MpegCrc32(const uint8_t* data, size_t size);

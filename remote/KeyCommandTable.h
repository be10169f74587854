// Which host command each remote-control key stands for.
#pragma once

#include <cstdint>

// True, with *command set, when `key` is one of the remote's mapped keys;
// false (and *command untouched) for every other key.
bool LookupKeyCommand(uint8_t key, uint8_t* command);

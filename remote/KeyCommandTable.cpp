// Two keys map to each of the volume and channel commands because the remote
// sends a different code for the same button depending on its mode.
#include "remote/KeyCommandTable.h"

namespace {

struct KeyCommand {
    uint8_t Key;
    uint8_t Command;
};

constexpr KeyCommand KeyCommands[] = {
    {179, 140}, {240, 140},  //
    {183, 139}, {238, 139},  //
    {187, 226}, {236, 226},  //
    {191, 225}, {242, 225},  //
    {213, 141},              //
    {231, 150},              //
};

}  // namespace

bool LookupKeyCommand(uint8_t key, uint8_t* command) {
    for (const KeyCommand& entry : KeyCommands) {
        if (entry.Key == key) {
            *command = entry.Command;
            return true;
        }
    }
    return false;
}

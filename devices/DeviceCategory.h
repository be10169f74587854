// One DirectShow device category walked through the system device
// enumerator, in enumeration order: counting, naming and finding devices for
// the capture graph, and listing them for `bonhost tuners`.
#pragma once

#include <strmif.h>

#include <cstdint>
#include <vector>

#include "devices/DeviceProperties.h"
#include "dshow/ComPtr.h"

// A device's two names; a name that could not be read is empty and flagged.
struct DeviceRecord {
    DeviceText FriendlyName;
    DeviceText DevicePath;
    bool FriendlyNameRead = false;
    bool DevicePathRead = false;
};

class DeviceCategory {
public:
    enum class OpenResult { Opened, NoClassEnumerator, NullEnumerator };

    // Opens the class enumerator of `category`. Only S_OK with an enumerator
    // opens it: an empty category answers S_FALSE, which counts as none.
    OpenResult Open(ICreateDevEnum* devices, const GUID& category);

    // The next device's moniker, with a reference of the caller's; false at
    // the end (or when the category was not opened).
    bool Next(ComPtr<IMoniker>* moniker);

    // The `index`-th device from here on, counting from 1; false when the
    // devices run out first (index 0 included).
    bool Skip(uint16_t index, ComPtr<IMoniker>* moniker);

    // The first device from here on whose FriendlyName and DevicePath both
    // equal the given ones exactly (over DeviceNameCapacity units); its
    // friendly name as read goes to *readName.
    bool Find(const WideChar* friendlyName, const WideChar* devicePath,
              ComPtr<IMoniker>* moniker, DeviceText* readName);

    // Reads the two names of a device; both unread when its property bag
    // cannot be bound.
    static DeviceRecord ReadNames(IMoniker* moniker);

    // Every device of `category` with its names, in enumeration order. A
    // category that cannot be opened (an empty one included) lists nothing.
    static std::vector<DeviceRecord> List(ICreateDevEnum* devices, const GUID& category);

private:
    ComPtr<IEnumMoniker> monikers_;
};

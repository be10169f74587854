#include "tools/bonhost/BonhostChannelFile.h"

#include <cstdio>
#include <string>
#include <vector>

#include "channels/ChannelFileLoader.h"

namespace {

constexpr DWORD PathCapacity = 32768;
constexpr DWORD NetworkNameUnits = 16;  // as the driver reads it

// The network the driver reads from its INI: the library's path with the
// last three characters replaced by "ini", section FRONTEND, NetworkName.
Network NetworkOfLibrary(HMODULE module) {
    std::vector<wchar_t> path(PathCapacity, 0);
    const DWORD length = GetModuleFileNameW(module, path.data(), PathCapacity - 1);
    if (length < 3 || length >= PathCapacity - 1) return Network::None;
    path[length - 3] = L'i';
    path[length - 2] = L'n';
    path[length - 1] = L'i';
    wchar_t name[NetworkNameUnits] = {};
    GetPrivateProfileStringW(L"FRONTEND", L"NetworkName", L"", name, NetworkNameUnits, path.data());
    return NetworkFromName(name);
}

void PrintRefusal(const ChannelFileReport& report) {
    std::string where = Utf8Of(report.Path);
    if (report.Error.Line != 0) where += ", line " + std::to_string(report.Error.Line);
    std::printf("\n*** CHANNEL FILE REFUSED ***\n");
    std::printf("*** %s: %s\n", where.c_str(), report.Error.Message.c_str());
    std::printf("*** The driver ignores the whole file and lists its built-in channels.\n");
    std::printf("*** Correct the file, then restart the host application.\n");
}

}  // namespace

std::string PlanSize(const ChannelList& list) {
    const uint32_t channels = list.TotalChannels(), spaces = list.SpaceCount();
    return std::to_string(channels) + (channels == 1 ? " channel in " : " channels in ") +
           std::to_string(spaces) + (spaces == 1 ? " tuning space" : " tuning spaces");
}

bool PrintChannelFileReport(HMODULE module) {
    ChannelList list;
    const ChannelFileReport report =
        ChannelFileLoader::Load(module, NetworkOfLibrary(module), &list);
    const std::string path = Utf8Of(report.Path);
    switch (report.State) {
        case ChannelFileState::Missing:
            std::printf("channel file: none (no %s); built-in channels\n", path.c_str());
            return true;
        case ChannelFileState::Loaded:
            std::printf("channel file: %s (%s, in use)\n", path.c_str(), PlanSize(list).c_str());
            return true;
        case ChannelFileState::Refused:
            break;
    }
    PrintRefusal(report);
    std::fflush(stdout);
    return false;
}

ChannelList ChannelListOfLibrary(HMODULE module) {
    ChannelList list;
    ChannelFileLoader::Load(module, NetworkOfLibrary(module), &list);
    return list;
}

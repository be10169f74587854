#include "channels/ChannelFileLoader.h"

#include <new>

#include "platform/UniqueHandle.h"

namespace {

// Long enough for any path Windows hands out.
constexpr DWORD ModulePathCapacity = 32768;
const WideChar ChannelFileExtension[] = WIDE(".channels.txt");

}  // namespace

ChannelString ChannelFileLoader::PathBeside(HMODULE module) {
    std::vector<WideChar> buffer(ModulePathCapacity, 0);
    const DWORD length = GetModuleFileNameW(module, buffer.data(), ModulePathCapacity);
    ChannelString path(buffer.data(), length < ModulePathCapacity ? length : 0);
    const size_t folderEnd = path.find_last_of(WIDE("\\/"));
    const size_t dot = path.rfind(WIDE('.'));
    if (dot != ChannelString::npos && (folderEnd == ChannelString::npos || dot > folderEnd))
        path.erase(dot);
    return path + ChannelFileExtension;
}

ChannelFileReport ChannelFileLoader::Load(HMODULE module, Network network, ChannelList* list) {
    ChannelFileReport report;
    try {
        report.Path = PathBeside(module);
        Choose(network, list, &report);
    } catch (...) {
        // Out of memory while reading: the built-in plan needs none.
        *list = ChannelList::BuiltIn(network);
        report.State = ChannelFileState::Refused;
        report.Error.Line = 0;
        try {
            report.Error.Message = "out of memory";
        } catch (...) {
        }
    }
    return report;
}

void ChannelFileLoader::Choose(Network network, ChannelList* list, ChannelFileReport* report) {
    std::vector<uint8_t> bytes;
    if (ReadFile(report->Path, &bytes, report) &&
        ChannelFileParser::Parse(bytes.data(), bytes.size(), network, list, &report->Error)) {
        report->State = ChannelFileState::Loaded;
        return;
    }
    if (report->State != ChannelFileState::Missing) report->State = ChannelFileState::Refused;
    *list = ChannelList::BuiltIn(network);
}

// Reads at most one byte more than the parser takes, so an oversized file is
// refused without reading it all.
bool ChannelFileLoader::ReadFile(const ChannelString& path, std::vector<uint8_t>* bytes,
                                 ChannelFileReport* report) {
    UniqueHandle file;
    HANDLE opened = CreateFileW(path.c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return false;
        report->State = ChannelFileState::Refused;
        report->Error.Message = "the file cannot be opened (CreateFileW error " +
                                std::to_string(error) + ")";
        return false;
    }
    file.Adopt(opened);
    bytes->resize(ChannelFileParser::MaxFileBytes + 1);
    size_t used = 0;
    DWORD read = 1;
    while (used < bytes->size() && read != 0) {
        // A failed read must not leave a cut file to be parsed as if whole.
        if (!::ReadFile(file.Get(), bytes->data() + used, static_cast<DWORD>(bytes->size() - used),
                        &read, nullptr)) {
            report->State = ChannelFileState::Refused;
            report->Error.Message =
                "the file cannot be read (ReadFile error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        used += read;
    }
    bytes->resize(used);
    report->State = ChannelFileState::Refused;  // until the parser accepts it
    return true;
}

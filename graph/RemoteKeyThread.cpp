#include "graph/RemoteKeyThread.h"

#include "graph/MyFilterGraph.h"
#include "graph/RemoteKeyPoller.h"

namespace {

void PollOnce(MyFilterGraph& graph, RemoteKeyPoller& poller) {
    HWND foreground = GetForegroundWindow();
    // Keys are left to the device (and the key export) while the host is
    // not what the user is looking at.
    if (graph.IsHostWindow(foreground) == 0) return;
    HRESULT result = graph.ReadRemoteControlKey(RemoteKeySelector, poller.CustomCodeHolder(),
                                                poller.KeyCodeHolder());
    uint8_t command = 0;
    if (!poller.Decide(result, &command)) return;
    SendMessageW(foreground, WM_COMMAND, static_cast<WPARAM>(command), 0);
}

}  // namespace

unsigned __stdcall RemoteKeyThread(void* graph) {
    MyFilterGraph& owner = *static_cast<MyFilterGraph*>(graph);
    RemoteKeyPoller poller;
    HANDLE stop = owner.StopThreadEvent.Get();
    for (;;) {
        PollOnce(owner, poller);
        if (WaitForMultipleObjects(1, &stop, FALSE, RemoteKeyPollMilliseconds) == WAIT_OBJECT_0)
            break;
    }
    SetEvent(owner.ThreadExitedEvent.Get());
    return 0;
}

#include "platform/SentMessageWait.h"

bool WaitDispatchingSentMessages(HANDLE object) { return WaitDispatchingSentMessages(&object, 1); }

bool WaitDispatchingSentMessages(const HANDLE* objects, DWORD count) {
    for (;;) {
        // Peeking runs every pending sent message; PM_NOREMOVE with only the
        // sent-message filter leaves posted and input messages alone.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        const DWORD result = MsgWaitForMultipleObjects(count, objects, FALSE, INFINITE, QS_SENDMESSAGE);
        if (result < WAIT_OBJECT_0 + count) return true;
        if (result != WAIT_OBJECT_0 + count) return false;
    }
}

#include "remote/SentMessageWait.h"

bool WaitDispatchingSentMessages(HANDLE object) {
    for (;;) {
        // Peeking runs every pending sent message; PM_NOREMOVE with only the
        // sent-message filter leaves posted and input messages alone.
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        DWORD result = MsgWaitForMultipleObjects(1, &object, FALSE, INFINITE, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0) return true;
        if (result != WAIT_OBJECT_0 + 1) return false;
    }
}

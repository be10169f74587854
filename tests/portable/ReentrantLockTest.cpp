#include <gtest/gtest.h>

#include "platform/Locks.h"

// The copy form of GetTsStream takes DriverLock again inside the pointer
// form on the same thread.
TEST(ReentrantLock, OwnerMayEnterAgain) {
    ReentrantLock lock;
    ScopedLock outer(lock);
    ScopedLock inner(lock);  // would deadlock on a plain mutex
    SUCCEED();
}

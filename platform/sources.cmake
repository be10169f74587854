set(PLATFORM_PORTABLE
  platform/ReentrantLock.cpp
  platform/WideText.cpp
  platform/Trace.cpp
)

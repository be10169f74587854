set(PLATFORM_PORTABLE
  platform/ReentrantLock.cpp
  platform/PlainLock.cpp
  platform/WideText.cpp
  platform/Trace.cpp
)

set(DRIVER_PORTABLE
  driver/TsChunkQueue.cpp
  driver/ChannelPlan.cpp
  driver/TunerMatcher.cpp
)

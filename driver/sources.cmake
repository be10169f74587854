set(DRIVER_PORTABLE
  driver/TsChunk.cpp
  driver/TsChunkQueue.cpp
  driver/ChannelPlan.cpp
  driver/TunerMatcher.cpp
)

# Portable part of the simulated Tessel tuner: device model, TS generator and
# checker. No Windows API; built into the core library in every flavour.
set(SIM_PORTABLE
  sim/TsCrc32.cpp
  sim/TsGenerator.cpp
  sim/TsStreamChecker.cpp
  sim/SimCallLog.cpp
  sim/SimFaults.cpp
  sim/SimCounters.cpp
  sim/SimChannel.cpp
  sim/SimDevice.cpp
  sim/SimState.cpp
)

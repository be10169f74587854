# Portable part of the simulated Tessel tuner: the device model. No Windows
# API; built into the core library in every flavour.
set(SIM_PORTABLE
  sim/SimCallLog.cpp
  sim/SimFaults.cpp
  sim/SimCounters.cpp
  sim/SimChannel.cpp
  sim/SimDevice.cpp
  sim/SimState.cpp
)

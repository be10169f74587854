set(EXPORTS_PORTABLE
  exports/PIDMap.cpp
  exports/SmartCardReader.cpp
)

set(GRAPH_PORTABLE
  graph/SignalLevel.cpp
  graph/KeyCommandTable.cpp
  graph/RemoteKeyPoller.cpp
)

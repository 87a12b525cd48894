"""Stand-in for the host package; the native module lives in quor_graph._rust."""

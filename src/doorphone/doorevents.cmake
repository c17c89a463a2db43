# The events channel and the pure interpretation of its chunks.
list(APPEND VN_DOOREVENTS_SOURCES
  EventInterpreter.cpp EventInterpreter.h
  events_thread.cpp events_thread.h
)

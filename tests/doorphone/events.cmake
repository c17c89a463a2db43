# The events channel (threads, loopback sockets) and the pure interpretation of
# its chunks (untrusted bytes).
vn_add_test(events_interpreter_tests SOURCES events_interpreter_test.cpp LABELS sanitize)
vn_add_test(events_thread_tests SOURCES events_thread_test.cpp Blackhole.cpp Blackhole.h LABELS sanitize threads)

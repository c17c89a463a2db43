vn_add_test(ping_cycle_tests SOURCES ping_cycle_test.cpp LABELS threads sanitize LIBS vn_doorphone)
vn_add_test(panel_tests SOURCES panel_test.cpp Blackhole.cpp Blackhole.h LABELS sanitize threads LIBS vn_doorphone doorphone_sim TIMEOUT 240)

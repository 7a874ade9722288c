# Tasks, callbacks, message loops, pumps and threads.
project_add_test(basekit_threading_tests
  SOURCES task_test.cpp message_loop_test.cpp message_pump_test.cpp thread_test.cpp
  LIBS basekit
  LABELS tsan
  TIMEOUT 60)

if(WIN32)
  project_add_test(basekit_win_pump_tests
    SOURCES win_message_pump_test.cpp
    LIBS basekit
    TIMEOUT 60)
endif()

# Tasks and callbacks, message loops and pumps, threads.
target_sources(basekit PRIVATE
  loop/default_message_pump.cpp
  loop/message_loop.cpp
  loop/monotonic_clock.cpp
  thread/thread.cpp)
if(WIN32)
  target_sources(basekit PRIVATE
    thread/lock_win.cpp
    thread/platform_thread_win.cpp
    thread/waitable_event_win.cpp
    win/win_message_loop.cpp
    win/win_message_pump.cpp)
  # timeGetTime
  target_link_libraries(basekit PUBLIC winmm)
else()
  find_package(Threads REQUIRED)
  target_sources(basekit PRIVATE
    thread/create_loop_posix.cpp
    thread/lock_posix.cpp
    thread/platform_thread_posix.cpp
    thread/waitable_event_posix.cpp)
  target_link_libraries(basekit PUBLIC Threads::Threads)
endif()

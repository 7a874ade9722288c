#pragma once

// The Windows loop types: UIMessageLoop runs on window messages (the thread
// may own windows and modal dialogs), IOMessageLoop on a completion port.
//
// Thread affinity: as MessageLoop; construct on the thread that runs it.

#include "basekit/loop/message_loop.h"
#include "basekit/win/win_message_pump.h"

namespace basekit {

class UIMessageLoop : public MessageLoop {
 public:
  UIMessageLoop();
  WinUIMessagePump* ui_pump() const {
    return static_cast<WinUIMessagePump*>(pump());
  }
};

class IOMessageLoop : public MessageLoop {
 public:
  IOMessageLoop();
  WinIOMessagePump* io_pump() const {
    return static_cast<WinIOMessagePump*>(pump());
  }
  bool RegisterIOHandler(HANDLE file, CompletionHandler* handler) {
    return io_pump()->RegisterIOHandler(file, handler);
  }
};

}  // namespace basekit

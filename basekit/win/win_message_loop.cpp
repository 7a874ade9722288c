#include "basekit/win/win_message_loop.h"

#include "basekit/thread/thread.h"

namespace basekit {

UIMessageLoop::UIMessageLoop()
    : MessageLoop(kLoopTypeUI, RefPtr<MessagePump>(new WinUIMessagePump)) {}

IOMessageLoop::IOMessageLoop()
    : MessageLoop(kLoopTypeIO, RefPtr<MessagePump>(new WinIOMessagePump)) {}

MessageLoop* CreateMessageLoop(LoopType type) {
  switch (type) {
    case kLoopTypeIO:
      return new IOMessageLoop();
    case kLoopTypeUI:
      return new UIMessageLoop();
    default:
      return new MessageLoop();
  }
}

}  // namespace basekit

#include "basekit/loop/message_loop.h"
#include "basekit/thread/thread.h"

namespace basekit {

// The UI and IO loops need window messages and completion ports; without
// them every type gets a default loop.
MessageLoop* CreateMessageLoop(LoopType) { return new MessageLoop(); }

}  // namespace basekit

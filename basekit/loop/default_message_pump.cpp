#include "basekit/loop/default_message_pump.h"

#include "basekit/loop/monotonic_clock.h"

namespace basekit {

void DefaultMessagePump::Run(Delegate* delegate) {
  for (;;) {
    bool did_work = delegate->RunReadyWork();
    if (quit_) break;
    did_work |= delegate->RunTimerWork(&wake_time_);
    if (quit_) break;
    if (did_work) continue;

    did_work = delegate->RunIdleWork();
    if (quit_) break;
    if (did_work) continue;

    if (wake_time_ == 0) {
      wake_event_.Wait();
    } else {
      int64_t delay_ms = DelayMsUntil(wake_time_);
      if (delay_ms > 0) {
        wake_event_.TimedWait(delay_ms);
      } else {
        wake_time_ = 0;
      }
    }
  }
  quit_ = false;
}

}  // namespace basekit

// What a hand-over between two threads costs: tasks posted from this thread
// to a worker's loop, in bursts, and the wake-ups each burst needs.

#include <benchmark/benchmark.h>

#include <atomic>

#include "basekit/loop/default_message_pump.h"
#include "basekit/loop/message_loop.h"
#include "basekit/thread/thread.h"
#include "basekit/thread/waitable_event.h"

namespace {

using basekit::MessageLoop;
using basekit::RefPtr;

class CountingPump : public basekit::DefaultMessagePump {
 public:
  void WakeUp() override {
    wake_ups.fetch_add(1, std::memory_order_relaxed);
    DefaultMessagePump::WakeUp();
  }
  std::atomic<int64_t> wake_ups{0};
};

// A worker thread whose loop uses a CountingPump.
class Worker : public basekit::Thread {
 public:
  Worker() {
    Create();
    ready_.Wait();
  }
  ~Worker() override {
    loop_->PostTask(new basekit::ThreadQuitTask);
    JoinAndClose();
  }
  void Run() override {
    MessageLoop loop(basekit::kLoopTypeDefault, pump_);
    loop_ = &loop;
    ready_.Signal();
    loop.Run();
  }
  MessageLoop* loop() const { return loop_; }
  CountingPump* pump() const { return pump_.get(); }

 private:
  RefPtr<CountingPump> pump_{new CountingPump};
  MessageLoop* loop_ = nullptr;
  basekit::WaitableEvent ready_;
};

class CountTask : public basekit::Task {
 public:
  CountTask(std::atomic<int64_t>* counter, basekit::WaitableEvent* done, int64_t target)
      : counter_(counter), done_(done), target_(target) {}
  void Run() override {
    if (counter_->fetch_add(1, std::memory_order_relaxed) + 1 == target_) done_->Signal();
  }

 private:
  std::atomic<int64_t>* counter_;
  basekit::WaitableEvent* done_;
  int64_t target_;
};

// Posts bursts of range(0) tasks and waits until the worker has run each
// burst, so every burst starts with an idle worker.
void BM_PostBurstAcrossThreads(benchmark::State& state) {
  const int64_t burst = state.range(0);
  Worker worker;
  std::atomic<int64_t> ran{0};
  basekit::WaitableEvent done;
  int64_t bursts = 0;
  const int64_t wake_ups_before = worker.pump()->wake_ups.load();
  for (auto _ : state) {
    const int64_t target = ran.load() + burst;
    for (int64_t i = 0; i < burst; ++i) {
      worker.loop()->PostTask(new CountTask(&ran, &done, target));
    }
    done.Wait();
    ++bursts;
  }
  const double wake_ups = static_cast<double>(worker.pump()->wake_ups.load() - wake_ups_before);
  state.SetItemsProcessed(state.iterations() * burst);
  state.counters["tasks/s"] =
      benchmark::Counter(static_cast<double>(state.iterations() * burst), benchmark::Counter::kIsRate);
  state.counters["wakeups/burst"] = wake_ups / static_cast<double>(bursts);
}
BENCHMARK(BM_PostBurstAcrossThreads)->Arg(1)->Arg(16)->Arg(256)->Arg(4096)->UseRealTime();

// Posting alone, with the worker draining concurrently.
void BM_PostStream(benchmark::State& state) {
  Worker worker;
  std::atomic<int64_t> ran{0};
  basekit::WaitableEvent done;
  int64_t posted = 0;
  for (auto _ : state) {
    worker.loop()->PostTask(new CountTask(&ran, &done, -1));
    ++posted;
  }
  while (ran.load() < posted) {
  }
  state.SetItemsProcessed(posted);
  state.counters["wakeups/task"] = static_cast<double>(worker.pump()->wake_ups.load()) / static_cast<double>(posted);
}
BENCHMARK(BM_PostStream)->UseRealTime();

}  // namespace

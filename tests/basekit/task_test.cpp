#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "basekit/task/callback.h"
#include "basekit/task/observer_list.h"
#include "basekit/task/task.h"

namespace basekit {
namespace {

class CountedTask : public Task {
 public:
  explicit CountedTask(std::atomic<int>* deletions) : deletions_(deletions) {}
  void Run() override {}

 protected:
  ~CountedTask() override { deletions_->fetch_add(1); }

 private:
  std::atomic<int>* deletions_;
};

TEST(RefCountTest, RaiseAndDropOnceDeletesOnce) {
  std::atomic<int> deletions{0};
  auto* task = new CountedTask(&deletions);
  EXPECT_EQ(task->ref_count_for_testing(), 0);
  {
    RefPtr<Task> holder(task);
    EXPECT_EQ(task->ref_count_for_testing(), 1);
    RefPtr<Task> copy = holder;
    EXPECT_EQ(task->ref_count_for_testing(), 2);
    copy = nullptr;
    EXPECT_EQ(deletions.load(), 0);
  }
  EXPECT_EQ(deletions.load(), 1);
}

TEST(RefCountTest, ConcurrentLastReleasesDeleteOnce) {
  constexpr int kRounds = 2000;
  std::atomic<int> deletions{0};
  std::vector<Task*> tasks;
  for (int i = 0; i < kRounds; ++i) {
    tasks.push_back(new CountedTask(&deletions));
    tasks.back()->AddRef();
    tasks.back()->AddRef();
  }
  // Both threads drop one of the two references of every task, racing on
  // the same objects in the same order.
  std::atomic<int> ready{0};
  auto release_all = [&] {
    ready.fetch_add(1);
    while (ready.load() < 2) {
    }
    for (Task* task : tasks) task->Release();
  };
  std::thread a(release_all);
  std::thread b(release_all);
  a.join();
  b.join();
  EXPECT_EQ(deletions.load(), kRounds);
}

class Target {
 public:
  void Step() { ++steps; }
  void Add(int amount, std::string label) {
    total += amount;
    last_label = label;
  }
  int steps = 0;
  int total = 0;
  std::string last_label;
};

TEST(RunnableMethodTest, RunsCancelsAndIgnoresNullObject) {
  Target target;
  struct Case {
    const char* name;
    Target* object;
    bool cancel;
    int expected_steps;
  } cases[] = {
      {"runs", &target, false, 1},
      {"cancelled before run", &target, true, 0},
      {"null object", nullptr, false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    target.steps = 0;
    RefPtr<CancelableTask> task(MakeRunnableMethod(c.object, &Target::Step));
    if (c.cancel) task->Cancel();
    task->Run();
    EXPECT_EQ(target.steps, c.expected_steps);
  }
}

TEST(RunnableMethodTest, CopiesItsArgumentsAndTakesNoReferenceOnTheObject) {
  Target target;
  std::string label = "first";
  RefPtr<Task> task(MakeRunnableMethod(&target, &Target::Add, 5, label));
  label = "changed";
  task->Run();
  EXPECT_EQ(target.total, 5);
  EXPECT_EQ(target.last_label, "first");
}

// A receiver whose method lives in its second base: the call must reach
// that sub-object, not the start of the object.
class FirstBase {
 public:
  virtual ~FirstBase() = default;
  int padding[4] = {1, 2, 3, 4};
};
class Listener {
 public:
  virtual ~Listener() = default;
  void OnReport(int* value) {
    seen = *value;
    self = this;
  }
  int seen = 0;
  Listener* self = nullptr;
};
class Form : public FirstBase, public Listener {};

TEST(CallbackTest, InvokesOnTheRightSubObjectWithoutRetainingIt) {
  Form form;
  Callback<void(int*)> callback = BindMethod(&Listener::OnReport, &form);
  EXPECT_EQ(callback.storage_for_testing()->ref_count_for_testing(), 1);
  {
    Callback<void(int*)> copy = callback;
    EXPECT_EQ(callback.storage_for_testing(), copy.storage_for_testing());
    EXPECT_EQ(callback.storage_for_testing()->ref_count_for_testing(), 2);
    int value = 42;
    Invoke(copy, &value);
  }
  EXPECT_EQ(callback.storage_for_testing()->ref_count_for_testing(), 1);
  EXPECT_EQ(form.seen, 42);
  EXPECT_EQ(form.self, static_cast<Listener*>(&form));
}

TEST(CallbackTest, NullCallbackDoesNothing) {
  Callback<void(int*)> callback;
  EXPECT_TRUE(callback.is_null());
  int value = 1;
  Invoke(callback, &value);  // must not crash
  Callback<int(int*)> with_result;
  EXPECT_EQ(Invoke(with_result, &value), 0);
}

class Observer {
 public:
  virtual ~Observer() = default;
  virtual void Notify() = 0;
};

class RecordingObserver : public Observer {
 public:
  RecordingObserver(int id, std::vector<int>* log) : id_(id), log_(log) {}
  void Notify() override {
    log_->push_back(id_);
    if (on_notify) on_notify();
  }
  std::function<void()> on_notify;

 private:
  int id_;
  std::vector<int>* log_;
};

TEST(ObserverListTest, RemovalDuringNotificationSkipsAndCompactsAfterwards) {
  std::vector<int> log;
  RecordingObserver a(1, &log), b(2, &log), c(3, &log), d(4, &log);
  ObserverList<Observer> list;
  list.AddObserver(&a);
  list.AddObserver(&b);
  list.AddObserver(&c);
  // a removes itself and c; b adds d, which is notified in the same pass.
  a.on_notify = [&] {
    list.RemoveObserver(&a);
    list.RemoveObserver(&c);
    EXPECT_EQ(list.size(), 1u);
  };
  b.on_notify = [&] { list.AddObserver(&d); };
  list.ForEach([](Observer* o) { o->Notify(); });
  EXPECT_EQ(log, (std::vector<int>{1, 2, 4}));

  log.clear();
  b.on_notify = nullptr;
  list.ForEach([](Observer* o) { o->Notify(); });
  EXPECT_EQ(log, (std::vector<int>{2, 4}));
  EXPECT_FALSE(list.HasObserver(&a));
  EXPECT_FALSE(list.HasObserver(nullptr));  // compacted: no null entries left
}

}  // namespace
}  // namespace basekit

// The procedure on the real repair thread, driven from the test thread the
// way the wizard window drives it from the UI thread.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "fake_system.h"
#include "repair/repair_service.h"
#include "repair/repair_step_chain.h"

namespace repair {
namespace {

using fakes::FakeSystem;
using fakes::kMac1;
using fakes::LogCapture;
using fakes::MakeAdapter;

using Report = std::pair<int32_t, int32_t>;

// Stands in for the window's callback: on the repair thread it only hands
// a copy of the report over to the driving thread.
class ReportQueue {
 public:
  void OnReport(ServiceCallbackParam* param) {
    auto* report = static_cast<RepairServiceCallbackParam*>(param);
    std::lock_guard<std::mutex> lock(mutex_);
    queue_.push_back(*report);
    threads_.push_back(std::this_thread::get_id());
    ready_.notify_one();
  }

  std::optional<RepairServiceCallbackParam> Next(std::chrono::milliseconds timeout) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!ready_.wait_for(lock, timeout, [this] { return !queue_.empty(); })) return std::nullopt;
    RepairServiceCallbackParam report = queue_.front();
    queue_.pop_front();
    return report;
  }

  std::vector<std::thread::id> threads() {
    std::lock_guard<std::mutex> lock(mutex_);
    return threads_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable ready_;
  std::deque<RepairServiceCallbackParam> queue_;
  std::vector<std::thread::id> threads_;
};

class PickSecond : public AdapterChooser {
 public:
  int32_t ChooseAdapter(const IP_ADAPTER_INFO*, int32_t) override { return 1; }
};

TEST(RepairThread, PostStepNeedsTheThread) {
  LogCapture log;
  FakeSystem system;
  RepairService service(system.platform());
  ReportQueue reports;
  service.RegisterCallback(kRepairCallbackStepFinished, basekit::BindMethod(&ReportQueue::OnReport, &reports));
  EXPECT_FALSE(service.PostStep(kStepQuery));
  EXPECT_FALSE(reports.Next(std::chrono::milliseconds(50)));
  EXPECT_TRUE(system.processes.started.empty());
  EXPECT_TRUE(log.Contains("repair thread not running, step not posted"));

  ASSERT_TRUE(service.StartThread());
  EXPECT_NE(service.repair_thread().thread_id(), 0u);
  EXPECT_TRUE(service.StartThread()) << "already running";
  EXPECT_EQ(service.repair_thread().name(), "repair thread");
  EXPECT_TRUE(service.Shutdown());
  EXPECT_EQ(service.repair_thread().thread_id(), 0u);
  EXPECT_TRUE(service.Shutdown()) << "a second shutdown does nothing";
  EXPECT_FALSE(service.PostStep(kStepQuery));
  EXPECT_FALSE(reports.Next(std::chrono::milliseconds(50)));
}

TEST(RepairThread, WholeRepairRunsStepByStepOnTheRepairThread) {
  FakeSystem system;
  system.AddAdapter(MakeAdapter("{0A}", "Ethernet", kMac1), L"Ethernet");
  system.AddAdapter(MakeAdapter("{0B}", "Ethernet 2", {0x02, 0, 0, 0, 0, 2}), L"Ethernet 2");
  RepairService service(system.platform());
  ReportQueue reports;
  PickSecond chooser;
  RepairStepChain chain(&service, &chooser);
  ASSERT_TRUE(service.StartThread());
  service.RegisterCallback(kRepairCallbackStepFinished, basekit::BindMethod(&ReportQueue::OnReport, &reports));
  ASSERT_TRUE(chain.Start());

  std::vector<Report> seen;
  while (chain.state() == RepairStepChain::State::kRunning) {
    std::optional<RepairServiceCallbackParam> report = reports.Next(std::chrono::seconds(10));
    ASSERT_TRUE(report) << "no report after " << seen.size() << " steps";
    seen.emplace_back(report->result, report->step);
    chain.OnStepReported(*report);
  }
  service.Shutdown();

  EXPECT_EQ(chain.state(), RepairStepChain::State::kComplete);
  EXPECT_EQ(seen, (std::vector<Report>{{1, 1}, {1, 6}, {1, 0}, {1, 2}, {1, 3}, {1, 4}, {1, 5}}));
  EXPECT_EQ(FieldText(service.selected_adapter().AdapterName), "{0B}");
  EXPECT_EQ(service.connection_name(), L"Ethernet 2");
  EXPECT_EQ(system.processes.started.back(), L"netsh interface ip set address name=\"Ethernet 2\" dhcp");
  for (std::thread::id id : reports.threads()) {
    EXPECT_NE(id, std::this_thread::get_id()) << "steps and reports belong to the repair thread";
  }
}

// Closing the window while the repair waits for the cable ends the wait:
// Shutdown returns, nothing was changed, and the step says it was closed.
TEST(RepairThread, ShutdownEndsTheWaitForTheCable) {
  FakeSystem system;
  system.AddAdapter(MakeAdapter("{0A}", "Ethernet", kMac1), L"Ethernet").state.link_up = false;
  // The fake sleeper does not wait; give the repair thread's polling a
  // real pause so the test thread gets to run.
  system.sleeper.on_sleep = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1)); };
  RepairService service(system.platform());
  ReportQueue reports;
  RepairStepChain chain(&service, nullptr);
  ASSERT_TRUE(service.StartThread());
  service.RegisterCallback(kRepairCallbackStepFinished, basekit::BindMethod(&ReportQueue::OnReport, &reports));
  ASSERT_TRUE(chain.Start());
  std::optional<RepairServiceCallbackParam> query = reports.Next(std::chrono::seconds(10));
  ASSERT_TRUE(query);
  chain.OnStepReported(*query);  // posts the wait for the link
  service.Shutdown();
  std::optional<RepairServiceCallbackParam> link = reports.Next(std::chrono::seconds(1));
  ASSERT_TRUE(link);
  EXPECT_EQ(Report(link->result, link->step), Report(0, kStepLink));
  EXPECT_EQ(link->failure.cause, RepairCause::kCancelled);
  EXPECT_TRUE(system.processes.started.empty());
  EXPECT_FALSE(service.has_pending_changes());
}

TEST(RepairThread, ProcessWideInstance) {
  RepairService* service = RepairService::GetInstance();
  EXPECT_EQ(service, RepairService::GetInstance());
  EXPECT_EQ(service->adapter_count(), 0);
  EXPECT_TRUE(service->connection_name().empty());
  // Never started here, so this must not run anything on the real machine.
  EXPECT_FALSE(service->PostStep(kStepQuery));
  EXPECT_EQ(service->repair_thread().thread_id(), 0u);
}

}  // namespace
}  // namespace repair

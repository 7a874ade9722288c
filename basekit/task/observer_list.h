#pragma once

// A list of observer pointers that tolerates removal while it notifies:
// a removed entry becomes null, is skipped, and is erased (order kept) once
// the outermost notification has finished. Observers added during a
// notification are notified in that same pass.
//
// Thread affinity: one thread (the owner's); not synchronised.

#include <algorithm>
#include <vector>

namespace basekit {

class LazyEraser {
 public:
  virtual ~LazyEraser() = default;
  // Erases the null entries; does nothing while a notification runs.
  virtual void Compact() = 0;
};

template <typename Observer>
class ObserverList : public LazyEraser {
 public:
  void AddObserver(Observer* observer) {
    if (observer != nullptr && !HasObserver(observer)) {
      observers_.push_back(observer);
    }
  }

  void RemoveObserver(Observer* observer) {
    auto it = std::find(observers_.begin(), observers_.end(), observer);
    if (it == observers_.end()) return;
    if (notify_depth_ > 0) {
      *it = nullptr;
    } else {
      observers_.erase(it);
    }
  }

  bool HasObserver(const Observer* observer) const {
    return std::find(observers_.begin(), observers_.end(), observer) !=
           observers_.end();
  }

  // Number of live (non-null) entries.
  size_t size() const {
    return observers_.size() -
           std::count(observers_.begin(), observers_.end(), nullptr);
  }

  template <typename Function>
  void ForEach(Function&& function) {
    ++notify_depth_;
    // By index: observers added meanwhile may reallocate the vector.
    for (size_t i = 0; i < observers_.size(); ++i) {
      if (Observer* observer = observers_[i]) function(observer);
    }
    if (--notify_depth_ < 1) Compact();
  }

  void Compact() override {
    if (notify_depth_ > 0) return;
    observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr),
                     observers_.end());
  }

  void Clear() {
    if (notify_depth_ > 0) {
      std::fill(observers_.begin(), observers_.end(), nullptr);
    } else {
      observers_.clear();
    }
  }

 private:
  int notify_depth_ = 0;
  std::vector<Observer*> observers_;
};

}  // namespace basekit

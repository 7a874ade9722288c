#pragma once

// Thread affinity: UI thread only.

#include <cstdint>

namespace Veneer {

// Sees native messages before the host handles them (a window object, or
// the window base as a pre-message filter).
class IMessageFilterUI {
 public:
  virtual intptr_t MessageHandler(uint32_t message, uintptr_t wparam, intptr_t lparam, bool& handled) = 0;

 protected:
  ~IMessageFilterUI() = default;
};

}  // namespace Veneer

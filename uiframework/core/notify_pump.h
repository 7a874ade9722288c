#pragma once

// Dispatch of notifications through message maps: each window class lists
// (notification type, control name, handler) entries and names the map of
// its base class. An entry with an empty control name matches any sender
// of its type and is used only when no entry names the sender. Virtual
// windows (pumps registered under a name, compared ignoring case) get the
// first chance at a notification that carries their name.
//
//   class MyForm : public CNotifyPump {
//     void OnClick(NotifyMsg& msg);
//     const NotifyMap* GetNotifyMap() const override {
//       static const NotifyMapEntry entries[] = {NotifyEntry<&MyForm::OnClick>(L"click", L"")};
//       static const NotifyMap map = MakeNotifyMap(CNotifyPump::GetNotifyMap(), entries);
//       return &map;
//     }
//   };
//
// Thread affinity: UI thread only.

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <type_traits>

#include "uiframework/core/ui_event.h"

namespace Veneer {

class CNotifyPump;

struct NotifyMapEntry {
  const wchar_t* type;
  const wchar_t* control;  // "" matches any sender
  void (*handler)(CNotifyPump* pump, NotifyMsg& msg);
};

struct NotifyMap {
  const NotifyMap* base;
  const NotifyMapEntry* entries;
  size_t count;
};

template <size_t N>
constexpr NotifyMap MakeNotifyMap(const NotifyMap* base, const NotifyMapEntry (&entries)[N]) {
  return NotifyMap{base, entries, N};
}

namespace internal {
template <typename T>
struct MemberOf;
template <typename C>
struct MemberOf<void (C::*)(NotifyMsg&)> {
  using Class = C;
};
template <typename C>
struct MemberOf<void (C::*)(uintptr_t, intptr_t)> {
  using Class = C;
};

template <auto Method>
void NotifyThunk(CNotifyPump* pump, NotifyMsg& msg) {
  using Class = typename MemberOf<decltype(Method)>::Class;
  auto* self = static_cast<Class*>(pump);
  if constexpr (std::is_invocable_v<decltype(Method), Class*, NotifyMsg&>) {
    (self->*Method)(msg);
  } else {
    (self->*Method)(msg.wparam, msg.lparam);
  }
}
}  // namespace internal

// An entry for a member function taking the message, or its wParam and
// lParam.
template <auto Method>
constexpr NotifyMapEntry NotifyEntry(const wchar_t* type, const wchar_t* control) {
  return NotifyMapEntry{type, control, &internal::NotifyThunk<Method>};
}

class CNotifyPump {
 public:
  CNotifyPump() = default;
  virtual ~CNotifyPump() = default;

  // False when the name is taken (ignoring case) or the pump is null.
  bool AddVirtualWnd(const std::wstring& name, CNotifyPump* pump);
  bool RemoveVirtualWnd(const std::wstring& name);
  // The named virtual window first, then this object's map chain.
  void NotifyPump(NotifyMsg& msg);
  // This object's map chain only; true when an entry handled the message.
  bool LoopDispatch(NotifyMsg& msg);

 protected:
  // The map of this class (an empty one, without base, here).
  virtual const NotifyMap* GetNotifyMap() const;

 private:
  std::map<std::wstring, CNotifyPump*> virtual_wnds_;  // keys folded to lower case
};

}  // namespace Veneer

#include "uiframework/core/notify_pump.h"

#include <cwchar>

#include "uiframework/core/control.h"

namespace Veneer {

namespace {

std::wstring FoldCase(const std::wstring& text) {
  std::wstring folded = text;
  for (wchar_t& c : folded) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return folded;
}

const NotifyMapEntry* FindEntry(const NotifyMap& map, const NotifyMsg& msg, const std::wstring& sender) {
  const NotifyMapEntry* any_sender = nullptr;
  for (size_t i = 0; i < map.count; ++i) {
    const NotifyMapEntry& entry = map.entries[i];
    if (msg.type != entry.type) continue;
    if (sender == entry.control) return &entry;
    if (entry.control[0] == L'\0' && any_sender == nullptr) any_sender = &entry;
  }
  return any_sender;
}

}  // namespace

bool CNotifyPump::AddVirtualWnd(const std::wstring& name, CNotifyPump* pump) {
  if (pump == nullptr) return false;
  return virtual_wnds_.emplace(FoldCase(name), pump).second;
}

bool CNotifyPump::RemoveVirtualWnd(const std::wstring& name) { return virtual_wnds_.erase(FoldCase(name)) > 0; }

void CNotifyPump::NotifyPump(NotifyMsg& msg) {
  if (!msg.virtual_wnd.empty()) {
    auto it = virtual_wnds_.find(FoldCase(msg.virtual_wnd));
    if (it != virtual_wnds_.end() && it->second->LoopDispatch(msg)) return;
  }
  LoopDispatch(msg);
}

bool CNotifyPump::LoopDispatch(NotifyMsg& msg) {
  const std::wstring sender = msg.sender != nullptr ? msg.sender->GetName() : std::wstring();
  for (const NotifyMap* map = GetNotifyMap(); map != nullptr; map = map->base) {
    if (const NotifyMapEntry* entry = FindEntry(*map, msg, sender)) {
      entry->handler(this, msg);
      return true;
    }
  }
  return false;
}

const NotifyMap* CNotifyPump::GetNotifyMap() const {
  static const NotifyMap map{nullptr, nullptr, 0};
  return &map;
}

}  // namespace Veneer

#include "uiframework/core/option_groups.h"

namespace Veneer {

bool COptionGroupsUI::Add(const std::wstring& group, CControlUI* option, bool selected) {
  if (group.empty() || option == nullptr || membership_.count(option) != 0) return false;
  Groups::value_type& entry = *groups_.try_emplace(group).first;
  ++entry.second.members;
  if (selected) entry.second.selected.insert(option);
  membership_.emplace(option, &entry);
  return true;
}

void COptionGroupsUI::Remove(CControlUI* option) {
  auto it = membership_.find(option);
  if (it == membership_.end()) return;
  Groups::value_type& entry = *it->second;
  membership_.erase(it);
  entry.second.selected.erase(option);
  if (--entry.second.members == 0) groups_.erase(groups_.find(entry.first));
}

void COptionGroupsUI::SetSelected(CControlUI* option, bool selected) {
  auto it = membership_.find(option);
  if (it == membership_.end()) return;
  Group& group = it->second->second;
  if (selected) {
    group.selected.insert(option);
  } else {
    group.selected.erase(option);
  }
}

std::vector<CControlUI*> COptionGroupsUI::SelectedOthers(const std::wstring& group, const CControlUI* option) const {
  std::vector<CControlUI*> others;
  auto it = groups_.find(group);
  if (it == groups_.end()) return others;
  for (CControlUI* member : it->second.selected) {
    if (member != option) others.push_back(member);
  }
  return others;
}

size_t COptionGroupsUI::MemberCount(const std::wstring& group) const {
  auto it = groups_.find(group);
  return it == groups_.end() ? 0 : it->second.members;
}

}  // namespace Veneer

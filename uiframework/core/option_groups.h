#pragma once

// The option groups of one window: which options share a group name, and
// which of them are selected. Joining, leaving and recording a selection
// take constant time, and selecting an option visits only the options of
// its group that are selected (normally one), so that a window of many
// options, in one group or in many, is built and torn down in linear time.
// An emptied group is dropped.
//
// Options are keys only: the table never calls them.
// Thread affinity: UI thread only.

#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace Veneer {

class CControlUI;

class COptionGroupsUI {
 public:
  // Joins `option` to `group`; false for an empty name, a null option or an
  // option that is in a group already.
  bool Add(const std::wstring& group, CControlUI* option, bool selected);
  // Leaves its group; nothing for an option in no group.
  void Remove(CControlUI* option);
  // Records the option's selection; nothing for an option in no group.
  void SetSelected(CControlUI* option, bool selected);
  // The selected options of `group` other than `option` (a copy: deselecting
  // them changes the table).
  std::vector<CControlUI*> SelectedOthers(const std::wstring& group, const CControlUI* option) const;

  size_t GroupCount() const { return groups_.size(); }
  // Members of `group` (0 for a group that does not exist).
  size_t MemberCount(const std::wstring& group) const;

 private:
  struct Group {
    size_t members = 0;
    std::unordered_set<CControlUI*> selected;
  };
  using Groups = std::unordered_map<std::wstring, Group>;

  Groups groups_;
  // Elements of an unordered map keep their address while the map grows.
  std::unordered_map<const CControlUI*, Groups::value_type*> membership_;
};

}  // namespace Veneer

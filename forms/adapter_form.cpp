#include "forms/adapter_form.h"

#include <cstring>

#include "basekit/log/log.h"
#include "forms/skin_archive.h"
#include "repair/display_text.h"
#include "repair/text_encoding.h"
#include "uiframework/controls/button.h"
#include "uiframework/core/container.h"

namespace forms {

namespace {

constexpr const char* kLogSource = "repair";
constexpr int kEntryHeight = 16;
constexpr int kEntryGap = 5;
constexpr uint32_t kEntryTextColor = 0xFFFFFFFF;
constexpr uint32_t kEntryHotColor = 0xFF01D7C6;
constexpr uint32_t kEntryPushedColor = 0xFF1A5A65;
constexpr uint32_t kEntryTextStyle = Veneer::kTextSingleLine | Veneer::kTextVCenter;  // 36, left aligned

// An adapter's description: code page 936, a leading byte-order mark
// dropped.
std::wstring Description(const IP_ADAPTER_INFO& adapter) {
  // The record's text is terminated within its array, but a damaged one
  // must not be read past its end.
  const size_t length = strnlen(adapter.Description, sizeof(adapter.Description));
  return repair::GbkToWide(std::string(adapter.Description, length));
}

// The entry shows the description cleaned and shortened; its tooltip, the
// whole of it cleaned.
Veneer::ControlPtr MakeEntry(const IP_ADAPTER_INFO& adapter, int32_t index) {
  const std::wstring description = Description(adapter);
  auto* entry = new Veneer::CButtonUI();
  Veneer::ControlPtr holder(entry);
  entry->SetName(L"adapter");
  entry->SetText(repair::DisplayText(description));
  entry->SetToolTip(repair::CleanDisplayText(description));
  entry->SetFixedHeight(kEntryHeight);
  entry->SetTag(static_cast<uintptr_t>(index));
  entry->SetPadding(Veneer::UiRect{0, kEntryGap, 0, 0});
  entry->SetTextColor(kEntryTextColor);
  entry->SetHotTextColor(kEntryHotColor);
  entry->SetPushedTextColor(kEntryPushedColor);
  entry->SetTextStyle(kEntryTextStyle);
  return holder;
}

}  // namespace

CAdapterForm::CAdapterForm(const IP_ADAPTER_INFO* table, int32_t count)
    : table_(table), count_(table != nullptr && count > 0 ? count : 0) {}

int CAdapterForm::GetResourceID() const { return kSkinArchiveId; }

void CAdapterForm::InitWindow() {
  Veneer::CControlUI* found = host_.FindControl(std::wstring(L"adapter_list"));
  auto* list = found != nullptr ? static_cast<Veneer::IContainerUI*>(found->GetInterface(L"IContainer")) : nullptr;
  if (list == nullptr) {
    BASEKIT_LOG(Lookup, "the picker's skin has no adapter_list");
    return;
  }
  for (int32_t i = 0; i < count_; ++i) {
    Veneer::ControlPtr entry = MakeEntry(table_[i], i);
    if (!list->Add(entry.get())) {
      BASEKIT_LOG(Failure, "the adapter list refused entry %d", static_cast<int>(i));
      continue;
    }
    entry.release();  // the list owns it now
  }
}

void CAdapterForm::Notify(Veneer::NotifyMsg& msg) {
  if (msg.type != L"click" || msg.sender == nullptr || msg.sender->GetName() != L"adapter") return;
  const uintptr_t index = msg.sender->GetTag();
  if (index < static_cast<uintptr_t>(count_)) chosen_ = static_cast<int32_t>(index);
  PostMessage(WM_CLOSE, 0, 0);
}

}  // namespace forms

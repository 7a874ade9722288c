#include "uiframework/core/control.h"

#include <cwchar>

#include "basekit/log/log.h"
#include "uiframework/core/text_conv.h"

namespace Veneer {

CControlUI::CControlUI() = default;

CControlUI::~CControlUI() = default;

void CControlUI::Delete() { delete this; }

const wchar_t* CControlUI::GetClass() const { return L"ControlUI"; }

void* CControlUI::GetInterface(const wchar_t* name) {
  if (name != nullptr && std::wcscmp(name, L"Control") == 0) return this;
  return nullptr;
}

const std::wstring& CControlUI::GetName() const { return name_; }

void CControlUI::SetName(const std::wstring& name) { name_ = name; }

const std::wstring& CControlUI::GetText() const { return text_; }

void CControlUI::SetText(const std::wstring& text) { text_ = text; }

CPaintHostUI* CControlUI::GetHost() const { return host_; }

CControlUI* CControlUI::GetParent() const { return parent_; }

void CControlUI::SetHost(CPaintHostUI* host, CControlUI* parent, bool init) {
  host_ = host;
  parent_ = parent;
  if (init && host != nullptr) Init();
}

void CControlUI::Init() {
  DoInit();
  initialized_ = true;
}

void CControlUI::DoInit() {}

void CControlUI::SetAttribute(const wchar_t* name, const wchar_t* value) {
  if (name == nullptr || value == nullptr) return;
  attributes_.emplace_back(name, value);
  if (std::wcscmp(name, L"name") == 0) {
    SetName(value);
  } else if (std::wcscmp(name, L"text") == 0) {
    SetText(value);
  }
}

void CControlUI::ApplyAttributeList(const wchar_t* list) {
  if (list == nullptr) return;
  const wchar_t* p = list;
  while (*p != L'\0') {
    const wchar_t* name_start = p;
    while (*p != L'\0' && *p != L'=') ++p;
    if (p[0] != L'=' || p[1] != L'"') break;
    std::wstring name(name_start, p);
    p += 2;
    const wchar_t* value_start = p;
    while (*p != L'\0' && *p != L'"') ++p;
    if (*p != L'"') break;
    std::wstring value(value_start, p);
    ++p;
    SetAttribute(name.c_str(), value.c_str());
    if (*p == L'\0') return;
    if (*p != L' ') break;
    ++p;
  }
  if (*p != L'\0') {
    basekit::LogPrintf(8, "control", __LINE__, "attribute list ends early at \"%s\"", ToLogText(p).c_str());
  }
}

const wchar_t* CControlUI::GetAttribute(const wchar_t* name) const {
  if (name == nullptr) return nullptr;
  for (auto it = attributes_.rbegin(); it != attributes_.rend(); ++it) {
    if (it->first == name) return it->second.c_str();
  }
  return nullptr;
}

}  // namespace Veneer

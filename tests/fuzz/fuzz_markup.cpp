// Feeds arbitrary bytes to the skin markup parser. The first byte picks the
// encoding; the tree is then walked and every attribute mapped and read.

#include <cstddef>
#include <cstdint>
#include <cwchar>
#include <vector>

#include "uiframework/markup/markup_doc.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  Veneer::CMarkupDoc doc;
  if (!doc.LoadFromMem(data + 1, size - 1, data[0] % 3)) {
    // The message and location must be readable after a failure.
    volatile size_t length = std::wcslen(doc.GetLastErrorMessage()) + std::wcslen(doc.GetLastErrorLocation());
    (void)length;
    return 0;
  }
  size_t total = 0;
  std::vector<Veneer::CMarkupElement> pending;
  if (doc.GetRoot().IsValid()) pending.push_back(doc.GetRoot());
  while (!pending.empty()) {
    Veneer::CMarkupElement element = pending.back();
    pending.pop_back();
    total += std::wcslen(element.GetName()) + std::wcslen(element.GetValue());
    for (int i = 0; i < element.GetAttributeCount(); ++i) {
      total += std::wcslen(element.GetAttributeName(i)) + std::wcslen(element.GetAttributeValue(i));
    }
    wchar_t buffer[8] = {};
    element.GetAttributeValue(L"name", buffer, 8);
    if (element.GetSibling().IsValid()) pending.push_back(element.GetSibling());
    if (element.HasChildren()) pending.push_back(element.GetChild());
  }
  volatile size_t sink = total;
  (void)sink;
  return 0;
}

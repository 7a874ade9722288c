#include "uiframework/resources/skin_resources.h"

#include <memory>

#include "basekit/log/log.h"
#include "uiframework/base/text_conv.h"
#include "uiframework/resources/file_bytes.h"

namespace Veneer {

namespace {

constexpr const char* kLogSource = "skin_resources";

struct Settings {
  ModuleHandle instance = nullptr;
  ModuleHandle resource_instance = nullptr;
  std::wstring resource_path;
  std::wstring zip_name;
  bool cached = true;
  std::unique_ptr<CZipArchive> archive;
  std::vector<uint8_t> resource_zip_bytes;  // when taken from a resource
};

Settings& GetSettings() {
  static Settings settings;
  return settings;
}

FetchStatus FromFileStatus(FileReadStatus status) {
  switch (status) {
    case FileReadStatus::kOk:
      return FetchStatus::kOk;
    case FileReadStatus::kOpenFailed:
      return FetchStatus::kOpenFailed;
    case FileReadStatus::kEmpty:
      return FetchStatus::kEmpty;
    case FileReadStatus::kTooLarge:
      return FetchStatus::kTooLarge;
    case FileReadStatus::kReadFailed:
      return FetchStatus::kReadFailed;
  }
  return FetchStatus::kReadFailed;
}

FetchStatus FetchFromArchive(const CZipArchive* archive, const wchar_t* name, size_t max_bytes,
                             std::vector<uint8_t>* out, bool quiet) {
  if (archive == nullptr) return FetchStatus::kZipOpenFailed;
  int index = 0;
  uint32_t size = 0;
  if (!archive->Find(name, &index, &size, quiet)) return FetchStatus::kNotInZip;
  if (size == 0) return FetchStatus::kEmpty;
  if (size > max_bytes) return FetchStatus::kTooLarge;
  out->resize(size);
  int result = archive->Extract(index, out->data(), out->size());
  if (result != CZipArchive::kOk && result != CZipArchive::kMoreData) {
    out->clear();
    return FetchStatus::kUnzipFailed;
  }
  return FetchStatus::kOk;
}

// The names Windows gives a device in any folder, with or without an
// extension (COM and LPT also with the superscript digits 1, 2 and 3).
bool IsDeviceName(std::wstring_view part) {
  std::wstring base(part.substr(0, part.find(L'.')));
  while (!base.empty() && base.back() == L' ') base.pop_back();
  for (wchar_t& c : base) c = static_cast<wchar_t>(c >= L'a' && c <= L'z' ? c - L'a' + L'A' : c);
  for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"}) {
    if (base == device) return true;
  }
  if (base.size() != 4 || (base.compare(0, 3, L"COM") != 0 && base.compare(0, 3, L"LPT") != 0)) return false;
  const wchar_t digit = base[3];
  return (digit >= L'1' && digit <= L'9') || digit == L'\u00B9' || digit == L'\u00B2' || digit == L'\u00B3';
}

// "..", and what Windows reads as it once it drops trailing dots and
// blanks ("... ", ". .").
bool IsParentPart(std::wstring_view part) {
  if (part.empty() || part == L".") return false;
  return part.find_first_not_of(L". ") == std::wstring_view::npos;
}

}  // namespace

const wchar_t* FetchStatusMessage(FetchStatus status) {
  switch (status) {
    case FetchStatus::kOk:
      return L"";
    case FetchStatus::kOpenFailed:
      return L"Error opening file";
    case FetchStatus::kEmpty:
      return L"File is empty";
    case FetchStatus::kTooLarge:
      return L"File too large";
    case FetchStatus::kReadFailed:
      return L"Could not read file";
    case FetchStatus::kZipOpenFailed:
      return L"Error opening zip file";
    case FetchStatus::kNotInZip:
      return L"Could not find ziped file";
    case FetchStatus::kUnzipFailed:
      return L"Could not unzip file";
  }
  return L"";
}

void CSkinResourcesUI::SetInstance(ModuleHandle instance) { GetSettings().instance = instance; }

ModuleHandle CSkinResourcesUI::GetInstance() { return GetSettings().instance; }

void CSkinResourcesUI::SetResourceInstance(ModuleHandle instance) { GetSettings().resource_instance = instance; }

ModuleHandle CSkinResourcesUI::GetResourceInstance() {
  Settings& settings = GetSettings();
  return settings.resource_instance != nullptr ? settings.resource_instance : settings.instance;
}

std::wstring CSkinResourcesUI::GetInstancePath() {
  std::wstring path = GetModuleFileName(GetSettings().instance);
  size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return std::wstring();
  return path.substr(0, separator + 1);
}

void CSkinResourcesUI::SetResourcePath(const wchar_t* path) {
  std::wstring& resource_path = GetSettings().resource_path;
  resource_path = path != nullptr ? path : L"";
  if (!resource_path.empty() && resource_path.back() != L'\\' && resource_path.back() != L'/') {
    resource_path.push_back(L'\\');
  }
}

const std::wstring& CSkinResourcesUI::GetResourcePath() { return GetSettings().resource_path; }

void CSkinResourcesUI::SetResourceZip(const wchar_t* name, bool cached) {
  Settings& settings = GetSettings();
  std::wstring new_name = name != nullptr ? name : L"";
  if (new_name == settings.zip_name && cached == settings.cached) return;
  if (settings.cached) settings.archive.reset();
  settings.zip_name = new_name;
  settings.cached = cached;
  if (cached) {
    std::wstring path = settings.resource_path + settings.zip_name;
    settings.archive = CZipArchive::OpenFile(path);
    if (!settings.archive) {
      BASEKIT_LOG(Failure, "cannot open skin archive %s", ToLogText(path.c_str()).c_str());
    }
  }
}

void CSkinResourcesUI::SetResourceZip(const uint8_t* data, size_t size) {
  Settings& settings = GetSettings();
  if (settings.zip_name == kMemoryZipName) return;
  if (settings.cached) settings.archive.reset();
  settings.zip_name = kMemoryZipName;
  if (settings.cached) {
    settings.archive = CZipArchive::OpenMemory(data, size);
    if (!settings.archive) {
      BASEKIT_LOG(Failure, "cannot open the skin archive in memory (%lu bytes)", static_cast<unsigned long>(size));
    }
  }
}

bool CSkinResourcesUI::SetResourceZipFromResource(uint32_t id, const wchar_t* type) {
  Settings& settings = GetSettings();
  if (settings.zip_name == kMemoryZipName) return settings.archive != nullptr;
  ResourceBytes bytes;
  if (!LoadModuleResource(GetResourceInstance(), id, type, &bytes)) {
    BASEKIT_LOG(Failure, "skin archive resource %u of type %s not found", id, ToLogText(type).c_str());
    return false;
  }
  settings.resource_zip_bytes.assign(bytes.data, bytes.data + bytes.size);
  SetResourceZip(settings.resource_zip_bytes.data(), settings.resource_zip_bytes.size());
  return settings.archive != nullptr;
}

const std::wstring& CSkinResourcesUI::GetResourceZip() { return GetSettings().zip_name; }

bool CSkinResourcesUI::IsCachedResourceZip() { return GetSettings().cached; }

CZipArchive* CSkinResourcesUI::GetResourceZipHandle() { return GetSettings().archive.get(); }

bool CSkinResourcesUI::IsSkinFileName(const wchar_t* name) {
  if (name == nullptr || name[0] == L'\0') return false;
  const std::wstring_view path(name);
  // Rooted ("\\server\share", "\\.\pipe\x", "/dev/zero"), with a drive
  // or a stream ("C:x", "a.png:s", "COM1:"), or with a control character.
  if (path[0] == L'/' || path[0] == L'\\') return false;
  for (wchar_t c : path) {
    if (c == L':' || c < 32) return false;
  }
  size_t start = 0;
  while (start <= path.size()) {
    size_t end = path.find_first_of(L"/\\", start);
    if (end == std::wstring_view::npos) end = path.size();
    const std::wstring_view part = path.substr(start, end - start);
    if (IsParentPart(part) || IsDeviceName(part)) return false;
    start = end + 1;
  }
  return true;
}

FetchStatus CSkinResourcesUI::FetchFolderFile(const wchar_t* name, size_t max_bytes, std::vector<uint8_t>* out,
                                              bool quiet) {
  out->clear();
  if (!IsSkinFileName(name)) {
    if (!quiet)
      BASEKIT_LOG(Failure, "skin file %s refused: not a file below the skin's folder", ToLogText(name).c_str());
    return FetchStatus::kOpenFailed;
  }
  return FromFileStatus(ReadFileBytes(GetSettings().resource_path + name, max_bytes, out));
}

FetchStatus CSkinResourcesUI::FetchFile(const wchar_t* name, size_t max_bytes, std::vector<uint8_t>* out, bool quiet) {
  Settings& settings = GetSettings();
  out->clear();
  if (name == nullptr) name = L"";
  FetchStatus status;
  if (settings.zip_name.empty()) {
    status = FetchFolderFile(name, max_bytes, out, quiet);
  } else if (settings.cached) {
    status = FetchFromArchive(settings.archive.get(), name, max_bytes, out, quiet);
  } else {
    // Opened for this one read and closed again.
    std::unique_ptr<CZipArchive> archive = CZipArchive::OpenFile(settings.resource_path + settings.zip_name);
    status = FetchFromArchive(archive.get(), name, max_bytes, out, quiet);
  }
  if (status != FetchStatus::kOk && !quiet) {
    BASEKIT_LOG(Lookup, "skin file %s: %s", ToLogText(name).c_str(), ToLogText(FetchStatusMessage(status)).c_str());
  }
  return status;
}

bool CSkinResourcesUI::LoadDocument(CMarkupDoc* doc, const wchar_t* name, int encoding) {
  std::vector<uint8_t> bytes;
  FetchStatus status = FetchFile(name, CMarkupDoc::kMaxFileBytes, &bytes);
  if (status != FetchStatus::kOk) {
    doc->SetLoadError(FetchStatusMessage(status));  // the fetch has logged the cause
    return false;
  }
  return doc->LoadFromMem(bytes.data(), bytes.size(), encoding);
}

void CSkinResourcesUI::Reset() {
  Settings& settings = GetSettings();
  settings.archive.reset();
  settings = Settings();
}

}  // namespace Veneer

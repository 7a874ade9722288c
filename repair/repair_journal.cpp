#include "repair/repair_journal.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "repair/adapter_discovery.h"
#include "repair/commands.h"
#include "repair/text_encoding.h"

namespace repair {

static_assert(static_cast<int32_t>(RepairJournal::kMaxAdapters) == kAdapterTableSize,
              "one entry per adapter the table can hold");

namespace {

constexpr char kTitle[] = "DEzed repair journal";
constexpr char kEnd[] = "end";
constexpr char kNone[] = "-";

std::string FieldOrNone(const std::string& value) { return value.empty() ? kNone : value; }

std::string SettingsText(const AdapterSettings& settings) {
  if (settings.dhcp) return "dhcp";
  return "static " + FieldOrNone(settings.address) + " " + FieldOrNone(settings.mask) + " " +
         FieldOrNone(settings.gateway);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      line.clear();
    } else {
      line += c;
    }
  }
  if (!line.empty()) lines.push_back(line);
  return lines;
}

// Words between spaces and tabs. (No string stream: it would bring the
// library's whole locale machinery into the program.)
std::vector<std::string> SplitWords(const std::string& text) {
  std::vector<std::string> words;
  size_t at = 0;
  while (true) {
    at = text.find_first_not_of(" \t", at);
    if (at == std::string::npos) break;
    const size_t end = std::min(text.find_first_of(" \t", at), text.size());
    words.push_back(text.substr(at, end - at));
    at = end;
  }
  return words;
}

bool ParseSettings(const std::string& text, AdapterSettings* settings) {
  const std::vector<std::string> words = SplitWords(text);
  if (words.size() == 1 && words[0] == "dhcp") {
    *settings = AdapterSettings();
    return true;
  }
  if (words.size() != 4 || words[0] != "static") return false;
  auto field = [](const std::string& word) { return word == kNone ? std::string() : word; };
  AdapterSettings parsed;
  parsed.dhcp = false;
  parsed.address = field(words[1]);
  parsed.mask = field(words[2]);
  parsed.gateway = field(words[3]);
  // A static restore needs an address and a mask; a gateway is optional.
  if (!IsDottedQuad(parsed.address) || MaskPrefixLength(parsed.mask) < 0) return false;
  if (!parsed.gateway.empty() && !IsDottedQuad(parsed.gateway)) return false;
  *settings = parsed;
  return true;
}

RepairJournal::ParseResult Damaged(std::string* why, const std::string& text) {
  *why = text;
  return RepairJournal::ParseResult::kDamaged;
}

}  // namespace

std::string RepairJournal::Serialize() const {
  std::string out = std::string(kTitle) + "\r\nformat=" + std::to_string(kFormatVersion) + "\r\n";
  if (firewall_rule) out += "firewall-rule=" + WideToUtf8(kFirewallRuleName) + "\r\n";
  for (const JournalAdapter& adapter : adapters) {
    out += "adapter=" + adapter.identity.guid + "\r\n";
    out += "mac=" + adapter.identity.mac + "\r\n";
    if (!adapter.connection_name.empty()) out += "connection=" + WideToUtf8(adapter.connection_name) + "\r\n";
    out += "before=" + SettingsText(adapter.before) + "\r\n";
    if (!adapter.backup_path.empty()) out += "backup=" + WideToUtf8(adapter.backup_path) + "\r\n";
  }
  out += std::string(kEnd) + "\r\n";
  return out;
}

RepairJournal::ParseResult RepairJournal::Parse(const std::string& text, RepairJournal* journal, std::string* why) {
  if (text.empty()) {
    *why = "no bytes";
    return ParseResult::kEmpty;
  }
  if (text.size() > kMaxBytes) return Damaged(why, "larger than " + std::to_string(kMaxBytes) + " bytes");
  const std::vector<std::string> lines = SplitLines(text);
  if (lines.empty() || lines[0] != kTitle) return Damaged(why, "no title line");
  if (lines.size() < 2 || lines[1].rfind("format=", 0) != 0) return Damaged(why, "no format line");
  const std::string version = lines[1].substr(7);
  if (version.empty() || version.size() > 6 || version.find_first_not_of("0123456789") != std::string::npos) {
    return Damaged(why, "format '" + version + "'");
  }
  if (std::atoi(version.c_str()) > kFormatVersion) {
    *why = "format " + version;
    return ParseResult::kNewerFormat;
  }
  if (std::atoi(version.c_str()) != kFormatVersion) return Damaged(why, "format " + version);
  if (lines.back() != kEnd) return Damaged(why, "no end line (torn)");

  RepairJournal parsed;
  for (size_t i = 2; i + 1 < lines.size(); ++i) {
    const std::string& line = lines[i];
    const size_t equals = line.find('=');
    if (equals == std::string::npos) return Damaged(why, "line " + std::to_string(i + 1) + " without '='");
    const std::string key = line.substr(0, equals);
    const std::string value = line.substr(equals + 1);
    JournalAdapter* current = parsed.adapters.empty() ? nullptr : &parsed.adapters.back();
    if (key == "firewall-rule") {
      if (Utf8ToWide(value) != kFirewallRuleName) return Damaged(why, "a firewall rule not ours");
      parsed.firewall_rule = true;
    } else if (key == "adapter") {
      if (!IsAdapterGuid(value)) return Damaged(why, "adapter '" + value + "'");
      if (parsed.adapters.size() == kMaxAdapters) {
        return Damaged(why, "more than " + std::to_string(kMaxAdapters) + " adapters");
      }
      parsed.adapters.emplace_back();
      parsed.adapters.back().identity.guid = value;
      parsed.adapters.back().before.dhcp = false;  // until its "before" line
      parsed.adapters.back().before.address = kNone;
    } else if (current == nullptr) {
      return Damaged(why, "'" + key + "' outside an adapter");
    } else if (key == "mac") {
      if (!IsHardwareAddress(value)) return Damaged(why, "mac '" + value + "'");
      current->identity.mac = value;
    } else if (key == "connection") {
      current->connection_name = Utf8ToWide(value);
      if (!IsSafeConnectionName(current->connection_name)) return Damaged(why, "connection name");
    } else if (key == "before") {
      if (!ParseSettings(value, &current->before)) return Damaged(why, "before '" + value + "'");
    } else if (key == "backup") {
      current->backup_path = Utf8ToWide(value);
    } else {
      return Damaged(why, "unknown key '" + key + "'");
    }
  }
  for (const JournalAdapter& adapter : parsed.adapters) {
    if (adapter.identity.mac.empty() || adapter.before.address == kNone) {
      return Damaged(why, "adapter " + adapter.identity.guid + " incomplete");
    }
  }
  *journal = parsed;
  return ParseResult::kOk;
}

JournalAdapter* RepairJournal::FindAdapter(const AdapterIdentity& identity) {
  for (JournalAdapter& adapter : adapters) {
    if (adapter.identity.guid == identity.guid) return &adapter;
  }
  for (JournalAdapter& adapter : adapters) {
    if (SameAdapter(adapter.identity, identity)) return &adapter;
  }
  return nullptr;
}

void RepairJournal::RemoveAdapter(const AdapterIdentity& identity) {
  for (auto it = adapters.begin(); it != adapters.end(); ++it) {
    if (SameAdapter(it->identity, identity)) {
      adapters.erase(it);
      return;
    }
  }
}

bool SameAdapter(const AdapterIdentity& a, const AdapterIdentity& b) {
  if (!a.guid.empty() && a.guid == b.guid) return true;
  // A reinstalled driver gives the device a new GUID; its address stays.
  return IsHardwareAddress(a.mac) && a.mac == b.mac && a.mac != "00-00-00-00-00-00";
}

bool IsDottedQuad(const std::string& text) {
  int octets = 0;
  size_t i = 0;
  while (i <= text.size()) {
    size_t end = text.find('.', i);
    if (end == std::string::npos) end = text.size();
    const std::string part = text.substr(i, end - i);
    if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != std::string::npos ||
        std::atoi(part.c_str()) > 255) {
      return false;
    }
    ++octets;
    i = end + 1;
  }
  return octets == 4;
}

int MaskPrefixLength(const std::string& mask) {
  if (!IsDottedQuad(mask)) return -1;
  uint32_t value = 0;
  size_t i = 0;
  for (int k = 0; k < 4; ++k) {
    size_t end = mask.find('.', i);
    if (end == std::string::npos) end = mask.size();
    value = (value << 8) | static_cast<uint32_t>(std::atoi(mask.substr(i, end - i).c_str()));
    i = end + 1;
  }
  const uint32_t inverse = ~value;
  if ((inverse & (inverse + 1)) != 0) return -1;  // ones must come first
  int length = 0;
  while (value & 0x80000000u) {
    ++length;
    value <<= 1;
  }
  return length;
}

bool IsAdapterGuid(const std::string& text) {
  if (text.size() < 3 || text.size() > 64 || text.front() != '{' || text.back() != '}') return false;
  for (size_t i = 1; i + 1 < text.size(); ++i) {
    if (!std::isxdigit(static_cast<unsigned char>(text[i])) && text[i] != '-') return false;
  }
  return true;
}

bool IsHardwareAddress(const std::string& text) {
  if (text.size() != 17) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool separator = i % 3 == 2;
    if (separator ? text[i] != '-' : !std::isxdigit(static_cast<unsigned char>(text[i]))) return false;
  }
  return true;
}

bool IsSafeConnectionName(const std::wstring& name) {
  if (name.empty() || name.size() > 255) return false;
  for (wchar_t c : name) {
    if (c < 0x20 || c == 0x7F || c == L'"' || c == 0xFFFD) return false;
  }
  return true;
}

}  // namespace repair

#include "repair/journal_key_check.h"

#include <cstdio>

namespace repair {

namespace {

bool Trusted(KeyTrustee trustee) { return trustee != KeyTrustee::kOther; }

}  // namespace

std::string WhyKeyIsForeign(const KeySecurity& key) {
  if (key.link) return "a link to another key";
  if (!Trusted(key.owner)) return "owned by another account";
  if (!key.has_access_list) return "no access list: anyone may change it";
  if (!key.access_list_protected) return "its access list is inherited, not the program's own";
  for (const KeyAccessEntry& entry : key.entries) {
    // Entries the program never writes (object, callback, audit) are not
    // weighed: their presence alone says another hand set the list.
    if (entry.kind == KeyAccessEntry::Kind::kOther) return "an access entry of a kind the program never sets";
    if (entry.kind == KeyAccessEntry::Kind::kAllow && !Trusted(entry.trustee) && (entry.mask & kKeyChangeRights)) {
      return "another account may change it";
    }
  }
  return std::string();
}

std::string LoggableBytes(const std::string& bytes, size_t limit) {
  std::string text;
  const size_t shown = bytes.size() < limit ? bytes.size() : limit;
  for (size_t i = 0; i < shown; ++i) {
    const auto c = static_cast<unsigned char>(bytes[i]);
    if (c == '\r') {
      text += "\\r";
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\\') {
      text += "\\\\";
    } else if (c >= 0x20 && c < 0x7F) {
      text += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof(escaped), "\\x%02X", c);
      text += escaped;
    }
  }
  if (shown < bytes.size()) text += "... (" + std::to_string(bytes.size()) + " bytes)";
  return text;
}

}  // namespace repair

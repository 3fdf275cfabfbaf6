// Host API for svpconf diff: two backups, archives, .gpfm files or the live
// configuration compared entry by entry (by size and content digest), and
// the fields of the records the system knows told in words.
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "backupfile/CnfBakCnfReader.h"
#include "backupfile/GpfmFormat.h"
#include "common/CnfFunc.h"
#include "host/HostInspect.h"
#include "host/talver_host.h"
#include "validate/CnfChkMedia.h"
#include "validate/CnfProcess2.h"

namespace inspect {
namespace {

std::string FirstLine(const std::vector<char>& bytes) {
  std::string line(bytes.begin(), bytes.end());
  return line.substr(0, line.find_first_of("\r\n"));
}

void DescribeConfigInf(const Item& a, const Item& b, std::vector<std::string>* out) {
  const std::string la = FirstLine(a.bytes), lb = FirstLine(b.bytes);
  char va[kVersionTextSize] = "----", vb[kVersionTextSize] = "----";
  if (la.size() >= 16) BuildVersionText(la.c_str() + 8, va);
  if (lb.size() >= 16) BuildVersionText(lb.c_str() + 8, vb);
  if (std::strcmp(va, vb) != 0)
    out->push_back(Printf("CONFIG.INF version %s -> %s", va, vb));
  else if (la != lb)
    out->push_back("CONFIG.INF first line \"" + la + "\" -> \"" + lb + "\"");
}

void DescribeConfig4(const Item& a, const Item& b, std::vector<std::string>* out) {
  if (a.bytes.size() < sizeof(Config4Record) || b.bytes.size() < sizeof(Config4Record)) {
    out->push_back(Printf("config4 length %zu -> %zu bytes", a.bytes.size(), b.bytes.size()));
    return;
  }
  Config4Record ra, rb;
  std::memcpy(&ra, a.bytes.data(), sizeof ra);
  std::memcpy(&rb, b.bytes.data(), sizeof rb);
  auto field = [out](const char* what, unsigned long x, unsigned long y, const char* form) {
    if (x == y) return;
    char text[160];
    std::snprintf(text, sizeof text, form, what, x, y);
    out->push_back(text);
  };
  field("type", ra.Config4TypeWord, rb.Config4TypeWord, "config4 %s 0x%04lX -> 0x%04lX");
  field("volume count", ra.volumeCount, rb.volumeCount, "config4 %s %lu -> %lu");
  field("volume number", ra.volumeNumber, rb.volumeNumber, "config4 %s %lu -> %lu");
  field("serial number", ra.serialNumber, rb.serialNumber, "config4 %s %lu -> %lu");
  field("archive time (high)", ra.archiveTimeHigh, rb.archiveTimeHigh,
        "config4 %s 0x%08lX -> 0x%08lX");
  field("archive time (low)", ra.archiveTimeLow, rb.archiveTimeLow,
        "config4 %s 0x%08lX -> 0x%08lX");
  if (std::memcmp(ra.head, rb.head, sizeof ra.head) ||
      std::memcmp(ra.tail, rb.tail, sizeof ra.tail))
    out->push_back("config4 bytes not interpreted (0..9, 26..31) differ");
}

// KEY=VALUE lines, keys without regard to case, [section] before a key.
std::map<std::string, std::string> KeyValues(const std::vector<char>& bytes) {
  std::map<std::string, std::string> values;
  std::string section, line;
  std::string text(bytes.begin(), bytes.end());
  std::size_t at = 0;
  while (at <= text.size()) {
    std::size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      section = line;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) values[section + Upper(line.substr(0, eq))] = line.substr(eq + 1);
  }
  return values;
}

void DescribeKeyValues(const std::string& file, const Item& a, const Item& b,
                       std::vector<std::string>* out) {
  auto va = KeyValues(a.bytes), vb = KeyValues(b.bytes);
  for (const auto& [key, value] : va) {
    auto other = vb.find(key);
    const std::string now = other == vb.end() ? "(none)" : other->second;
    if (now != value) out->push_back(file + " " + key + " " + value + " -> " + now);
  }
  for (const auto& [key, value] : vb)
    if (!va.count(key)) out->push_back(file + " " + key + " (none) -> " + value);
}

void DescribeDkcf(const Item& a, const Item& b, std::vector<std::string>* out) {
  if (a.bytes.size() < kDkcfSize || b.bytes.size() < kDkcfSize) {
    out->push_back("DKCF shorter than its 13088 bytes");
    return;
  }
  if (std::strcmp(a.entry.version, b.entry.version) != 0)
    out->push_back(Printf("DKCF version %s -> %s", a.entry.version, b.entry.version));
  DWORD sa = 0, sb = 0;
  std::memcpy(&sa, a.bytes.data() + kDkcfSerialOffset, sizeof sa);
  std::memcpy(&sb, b.bytes.data() + kDkcfSerialOffset, sizeof sb);
  if (sa != sb)
    out->push_back(Printf("DKCF serial number %lu -> %lu",
                          static_cast<unsigned long>(sa + kDkcfSerialBase),
                          static_cast<unsigned long>(sb + kDkcfSerialBase)));
}

std::vector<std::string> DescribeFields(const Item& a, const Item& b) {
  std::vector<std::string> out;
  if (!a.kept || !b.kept) return out;
  if (SameName(a.name, kConfigInfEntry))
    DescribeConfigInf(a, b, &out);
  else if (SameName(a.name, kConfig4Entry))
    DescribeConfig4(a, b, &out);
  else if (a.name == kDkcfTable)
    DescribeDkcf(a, b, &out);
  else if (IsCheckFile(a.name))
    DescribeKeyValues(a.name.substr(a.name.rfind('/') + 1), a, b, &out);
  return out;
}

int Collect(const char* what, std::map<std::string, Item>* items, std::string* why) {
  Target target;
  if (!Resolve(what, &target, why)) return -1;
  return Read(
      target, true,
      [items](Item& item) {
        std::string key = item.key.empty() ? Upper(item.name) : item.key;
        (*items)[key] = std::move(item);
        return true;
      },
      why);
}

void Emit(talver_change_fn each, void* context, char kind, const std::string& name, const Item* a,
          const Item* b, const char* detail) {
  talver_change change{kind, name.c_str(), a ? &a->entry : nullptr, b ? &b->entry : nullptr,
                       detail};
  if (each) each(&change, context);
}

}  // namespace
}  // namespace inspect

using namespace inspect;

int TalverHost_Diff(const char* a, const char* b, talver_change_fn each, void* context, char* why,
                    std::size_t whySize) {
  std::map<std::string, Item> left, right;
  std::string reason;
  int result = Collect(a, &left, &reason);
  if (result == 1) result = Collect(b, &right, &reason);
  CopyWhy(result == 1 ? "" : reason, why, whySize);
  if (result != 1) return result;
  for (auto& [key, item] : left) item.entry.name = item.name.c_str();
  for (auto& [key, item] : right) item.entry.name = item.name.c_str();
  auto l = left.begin();
  auto r = right.begin();
  while (l != left.end() || r != right.end()) {
    if (r == right.end() || (l != left.end() && l->first < r->first)) {
      Emit(each, context, '-', l->second.name, &l->second, nullptr, "");
      ++l;
    } else if (l == left.end() || r->first < l->first) {
      Emit(each, context, '+', r->second.name, nullptr, &r->second, "");
      ++r;
    } else {
      const Item& x = l->second;
      const Item& y = r->second;
      if (x.entry.size != y.entry.size || std::strcmp(x.entry.digest, y.entry.digest) != 0) {
        Emit(each, context, '~', y.name, &x, &y, "");
        for (const std::string& field : DescribeFields(x, y))
          Emit(each, context, '=', y.name, nullptr, nullptr, field.c_str());
      }
      ++l;
      ++r;
    }
  }
  return 1;
}

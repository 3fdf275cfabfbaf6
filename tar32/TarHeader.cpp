// Tar header blocks: ustar, with a pax or GNU long-name extension only for an
// entry that needs one (see TarHeader.h).
#include "TarHeader.h"

#include <algorithm>
#include <cstring>

namespace tar32 {
namespace {

constexpr std::size_t kNameField = 100;
constexpr std::size_t kPrefixField = 155;
// The largest value of an 11-digit octal field (size, mtime).
constexpr std::uint64_t kOctal11 = 077777777777ull;

struct Block {
  unsigned char b[kTarBlock] = {};
};

// Writes `value` as `width - 1` octal digits and a NUL (the value fits).
void PutOctal(unsigned char* field, std::size_t width, std::uint64_t value) {
  field[width - 1] = 0;
  for (std::size_t i = width - 1; i > 0; --i) {
    field[i - 1] = static_cast<unsigned char>('0' + (value & 7));
    value >>= 3;
  }
}

void PutText(unsigned char* field, std::size_t width, const std::string& text) {
  std::memcpy(field, text.data(), std::min(width, text.size()));
}

// A header block with every field but the checksum; `gnu` takes GNU's magic.
Block MakeBlock(const std::string& name, const std::string& prefix, std::uint64_t size,
                std::uint64_t mtime, unsigned mode, char type, bool gnu) {
  Block h;
  PutText(h.b, kNameField, name);
  PutOctal(h.b + 100, 8, mode & 07777);
  PutOctal(h.b + 108, 8, 0);
  PutOctal(h.b + 116, 8, 0);
  PutOctal(h.b + 124, 12, size);
  PutOctal(h.b + 136, 12, mtime);
  h.b[156] = static_cast<unsigned char>(type);
  std::memcpy(h.b + 257,
              gnu ? "ustar  \0"
                  : "ustar\0"
                    "00",
              8);
  PutText(h.b + 345, kPrefixField, prefix);
  std::memset(h.b + 148, ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : h.b) sum += c;
  PutOctal(h.b + 148, 7, sum);  // six digits, a NUL, and the space left
  return h;
}

void Append(const void* data, std::size_t size, std::vector<unsigned char>* out) {
  const auto* p = static_cast<const unsigned char*>(data);
  out->insert(out->end(), p, p + size);
}

// Appends an extension entry: its header block and its data, padded.
void AppendExtension(const std::string& name, char type, bool gnu, const std::string& data,
                     std::vector<unsigned char>* out) {
  Block h = MakeBlock(name, "", data.size(), 0, 0644, type, gnu);
  Append(h.b, kTarBlock, out);
  Append(data.data(), data.size(), out);
  out->insert(out->end(), PadToBlock(data.size()), 0);
}

// One pax record, "LEN key=value\n", LEN counting the whole record.
std::string PaxRecord(const std::string& key, const std::string& value) {
  std::size_t body = key.size() + value.size() + 3;  // blank, "=", newline
  std::size_t length = body + 1;
  while (std::to_string(length).size() + body > length) ++length;
  return std::to_string(length) + " " + key + "=" + value + "\n";
}

bool IsAscii(const std::string& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
}

// Splits a name into ustar's prefix and name fields; false when it cannot.
bool SplitUstarName(const std::string& full, std::string* prefix, std::string* name) {
  if (full.size() <= kNameField) {
    *name = full;
    return true;
  }
  // The slash closest to the start that leaves at most 100 bytes after it.
  std::size_t from = full.size() - kNameField - 1;
  std::size_t slash = full.find('/', from);
  if (slash == std::string::npos || slash > kPrefixField || slash + 1 >= full.size()) return false;
  *prefix = full.substr(0, slash);
  *name = full.substr(slash + 1);
  return true;
}

// The extension entry's own name, which readers do not use: plain ASCII.
std::string ExtensionName(const std::string& full) {
  std::string last = full;
  while (!last.empty() && last.back() == '/') last.pop_back();
  const std::size_t slash = last.rfind('/');
  if (slash != std::string::npos) last.erase(0, slash + 1);
  if (last.size() > 80) last.resize(80);
  for (char& c : last)
    if ((c & 0x80) || c < ' ') c = '_';
  return "PaxHeader/" + last;
}

}  // namespace

void AppendTarHeader(const TarHeaderFields& fields, std::vector<unsigned char>* out) {
  const std::string& full = fields.name;
  std::string prefix, name;
  const bool fits = SplitUstarName(full, &prefix, &name);
  if (!fits) {
    prefix.clear();
    name = full.substr(0, kNameField);
  }
  std::string pax;
  if (!fits && IsAscii(full)) pax += PaxRecord("path", full);
  if (!fits && !IsAscii(full)) AppendExtension("././@LongLink", 'L', true, full + '\0', out);
  if (fields.size > kOctal11) pax += PaxRecord("size", std::to_string(fields.size));
  const bool timeFits = fields.mtime >= 0 && static_cast<std::uint64_t>(fields.mtime) <= kOctal11;
  if (!timeFits) pax += PaxRecord("mtime", std::to_string(fields.mtime));
  if (!pax.empty()) AppendExtension(ExtensionName(full), 'x', false, pax, out);
  const std::uint64_t size = fields.size > kOctal11 ? 0 : fields.size;
  const std::uint64_t mtime = timeFits ? static_cast<std::uint64_t>(fields.mtime) : 0;
  Block h = MakeBlock(name, prefix, size, mtime, fields.mode, fields.directory ? '5' : '0', false);
  Append(h.b, kTarBlock, out);
}

}  // namespace tar32

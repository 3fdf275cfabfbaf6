// The readers the inspection calls share (verify, list, diff, media): what a
// name given by the caller means, and the walk over its entries or tables.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "host/talver_host.h"
#include "platform/WinTypes.h"

namespace inspect {

constexpr const char kConfig4Entry[] = "CONFIG/config4";
constexpr const char kConfigInfEntry[] = "CONFIG/CONFIG.INF";
constexpr const char kDkcfTable[] = "table 63";
constexpr DWORD kReadBlock = 1u << 20;

// One entry or table as read, with the bytes of a known record.
struct Item {
  std::string name;
  std::string key;  // the order of a diff: names without regard to case, tables by number
  talver_entry entry{};
  std::vector<char> bytes;
  bool kept = false;
};
using ItemFn = std::function<bool(Item&)>;

enum class Kind { kArchive, kGpfm, kLive };
struct Target {
  Kind kind = Kind::kArchive;
  std::string path;
};

std::string Upper(std::string text);
bool SameName(const std::string& a, const char* b);
bool EndsWithIgnoringCase(const std::string& text, const char* end);
std::string Printf(const char* format, ...) __attribute__((format(printf, 1, 2)));
// One of the records the identity check compares.
bool IsCheckFile(const std::string& name);
// What `what` names: "live", "DIFF", a backup's timestamp, an archive or a
// .gpfm file. False with the reason when it names nothing.
bool Resolve(const char* what, Target* target, std::string* why);
// Each entry or table of the target in turn (with its digest when asked):
// 1 read whole, 0 damaged (`why` says where), -1 not there.
int Read(const Target& target, bool digests, const ItemFn& each, std::string* why);
// An archive read whole, the entries a backup must hold and the identity
// check of this SVP: 1 sound, 0 damaged, -1 not checked.
int VerifyOpenArchive(const std::string& path, std::string* why);
int VerifyArchive(const Target& target, std::string* why);
// The reason into the caller's buffer, cut with "..." when it does not fit.
void CopyWhy(const std::string& text, char* why, std::size_t size);

}  // namespace inspect

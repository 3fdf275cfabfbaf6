// svpconf ls and svpconf diff: what a backup, an archive or a .gpfm file
// holds, and what changed between two of them. The reading is the host's
// (TalverHost_List, TalverHost_Diff); this file only prints.
#include <cstdio>
#include <ctime>
#include <string>

#include "Json.h"
#include "Tool.h"
#include "host/talver_host.h"

namespace {

std::string ModeText(unsigned mode) {
  std::string text;
  for (int shift = 6; shift >= 0; shift -= 3) {
    text += (mode >> shift) & 4 ? 'r' : '-';
    text += (mode >> shift) & 2 ? 'w' : '-';
    text += (mode >> shift) & 1 ? 'x' : '-';
  }
  return text;
}

JsonDoc EntryJson(const talver_entry& e) {
  JsonDoc j = {{"name", e.name}, {"size", e.size}, {"digest", e.digest}};
  if (e.kind == 3) {
    j["segments"] = e.segments;
    j["unpacked_size"] = e.unpackedSize;
    if (*e.version) j["version"] = e.version;
  } else {
    j["modified"] = e.modified;
    j["kind"] = e.kind == 1 ? "folder" : e.kind == 2 ? "other" : "file";
    j["mode"] = ModeText(e.mode);
  }
  return j;
}

struct ListOutput {
  bool json = false;
  JsonDoc entries = JsonDoc::array();
};

void PrintEntry(const talver_entry* e, void* context) {
  auto* out = static_cast<ListOutput*>(context);
  if (out->json) {
    out->entries.push_back(EntryJson(*e));
    return;
  }
  if (e->kind == 3) {
    std::printf("%-10s %3d segments %10llu stored %10llu unpacked  %s%s%s\n", e->name, e->segments,
                static_cast<unsigned long long>(e->size),
                static_cast<unsigned long long>(e->unpackedSize), e->digest,
                *e->version ? "  version " : "", e->version);
    return;
  }
  char when[32] = "";
  std::time_t t = static_cast<std::time_t>(e->modified);
  std::tm tm{};
  if (localtime_r(&t, &tm)) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", &tm);
  const char type = e->kind == 1 ? 'd' : e->kind == 2 ? '?' : '-';
  std::printf("%c%s 0/0 %12llu %s %s  %s\n", type, ModeText(e->mode).c_str(),
              static_cast<unsigned long long>(e->size), when, e->name, e->digest);
}

struct DiffOutput {
  bool json = false;
  int changes = 0;
  JsonDoc list = JsonDoc::array();
};

void PrintChange(const talver_change* c, void* context) {
  auto* out = static_cast<DiffOutput*>(context);
  if (c->kind != '=') ++out->changes;
  if (out->json) {
    if (c->kind == '=') {
      if (!out->list.empty()) out->list.back()["fields"].push_back(c->detail);
      return;
    }
    JsonDoc change = {{"change", c->kind == '+'   ? "added"
                                 : c->kind == '-' ? "removed"
                                                  : "changed"},
                      {"name", c->name}};
    if (c->a) change["a"] = EntryJson(*c->a);
    if (c->b) change["b"] = EntryJson(*c->b);
    change["fields"] = JsonDoc::array();
    out->list.push_back(change);
    return;
  }
  if (c->kind == '=') {
    std::printf("    %s\n", c->detail);
    return;
  }
  const talver_entry* shown = c->b ? c->b : c->a;
  if (c->kind == '~')
    std::printf("~ %s  %llu -> %llu bytes\n", c->name, static_cast<unsigned long long>(c->a->size),
                static_cast<unsigned long long>(c->b->size));
  else
    std::printf("%c %s  %llu bytes\n", c->kind, c->name,
                static_cast<unsigned long long>(shown->size));
}

void RegisterInspectCommands(CLI::App& app, ToolContext& ctx) {
  static std::string what, a, b;
  auto* ls = app.add_subcommand(
      "ls", "List what a backup (stamp or DIFF), an archive or a .gpfm file holds");
  ls->add_option("WHAT", what, "a backup's stamp, DIFF, an archive or a .gpfm file")->required();
  ls->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    ListOutput out;
    out.json = ctx.json;
    char why[512] = "";
    const int result = TalverHost_List(what.c_str(), PrintEntry, &out, why, sizeof why);
    JsonDoc& doc = JsonOut();
    doc["what"] = what;
    doc["entries"] = out.entries;
    doc["whole"] = result == 1;
    if (result != 1) {
      doc["why"] = why;
      std::fprintf(stderr, "svpconf: %s: %s\n", what.c_str(), why);
      ctx.exitCode = 1;
    }
  });

  auto* diff = app.add_subcommand(
      "diff", "What changed from A to B: two backups, an archive and live, two .gpfm files");
  diff->add_option("A", a, "a backup's stamp, DIFF, live, an archive or a .gpfm file")->required();
  diff->add_option("B", b, "the same kinds")->required();
  diff->callback([&ctx] {
    if (!LoadWorld(ctx)) return;
    DiffOutput out;
    out.json = ctx.json;
    char why[512] = "";
    const int result = TalverHost_Diff(a.c_str(), b.c_str(), PrintChange, &out, why, sizeof why);
    JsonDoc& doc = JsonOut();
    doc["a"] = a;
    doc["b"] = b;
    if (result != 1) {
      doc["why"] = why;
      std::fprintf(stderr, "svpconf: %s\n", why);
      ctx.exitCode = 1;
      return;
    }
    doc["changes"] = out.list;
    doc["changed"] = out.changes;
    std::printf("%d changed entries\n", out.changes);
  });
}

}  // namespace

SVPCONF_COMMAND(RegisterInspectCommands);

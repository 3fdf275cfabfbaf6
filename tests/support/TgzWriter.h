// Writes gzip-compressed tar archives for the tests, the way another tool
// would, independently of the archiver under test.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <map>
#include <string>
#include <vector>

// One entry: a file with its bytes, or a symbolic or hard link to `link`.
struct TgzEntry {
  std::string name;  // a folder's ends in "/"
  std::string data;
  std::string link;
  bool hardlink = false;
};

// Writes hostPath with the entries in their order; false on failure.
inline bool WriteTgzEntries(const std::string& hostPath, const std::vector<TgzEntry>& entries) {
  archive* a = archive_write_new();
  archive_write_add_filter_gzip(a);
  archive_write_set_format_pax_restricted(a);
  if (archive_write_open_filename(a, hostPath.c_str()) != ARCHIVE_OK) {
    archive_write_free(a);
    return false;
  }
  for (const TgzEntry& entry : entries) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, entry.name.c_str());
    const bool symlink = !entry.link.empty() && !entry.hardlink;
    const bool folder = !entry.name.empty() && entry.name.back() == '/';
    archive_entry_set_filetype(e, symlink ? AE_IFLNK : folder ? AE_IFDIR : AE_IFREG);
    if (symlink) archive_entry_set_symlink(e, entry.link.c_str());
    if (entry.hardlink) archive_entry_set_hardlink(e, entry.link.c_str());
    archive_entry_set_size(e, static_cast<la_int64_t>(entry.data.size()));
    archive_entry_set_perm(e, 0644);
    archive_write_header(a, e);
    if (!entry.data.empty()) archive_write_data(a, entry.data.data(), entry.data.size());
    archive_entry_free(e);
  }
  bool ok = archive_write_close(a) == ARCHIVE_OK;
  archive_write_free(a);
  return ok;
}

// Files only (name -> bytes), in the order of their names.
inline bool WriteTgz(const std::string& hostPath, const std::map<std::string, std::string>& files) {
  std::vector<TgzEntry> entries;
  for (const auto& [name, data] : files) entries.push_back({name, data, "", false});
  return WriteTgzEntries(hostPath, entries);
}

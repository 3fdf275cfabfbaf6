// Writes gzip-compressed tar archives for the tests, the way another tool
// would, independently of the archiver under test.
#pragma once

#include <archive.h>
#include <archive_entry.h>

#include <map>
#include <string>

// Writes hostPath with the given entries (name -> content); false on failure.
inline bool WriteTgz(const std::string& hostPath,
                     const std::map<std::string, std::string>& entries) {
  archive* a = archive_write_new();
  archive_write_add_filter_gzip(a);
  archive_write_set_format_pax_restricted(a);
  if (archive_write_open_filename(a, hostPath.c_str()) != ARCHIVE_OK) {
    archive_write_free(a);
    return false;
  }
  for (const auto& [name, content] : entries) {
    archive_entry* e = archive_entry_new();
    archive_entry_set_pathname(e, name.c_str());
    archive_entry_set_size(e, static_cast<la_int64_t>(content.size()));
    archive_entry_set_filetype(e, AE_IFREG);
    archive_entry_set_perm(e, 0644);
    archive_write_header(a, e);
    archive_write_data(a, content.data(), content.size());
    archive_entry_free(e);
  }
  bool ok = archive_write_close(a) == ARCHIVE_OK;
  archive_write_free(a);
  return ok;
}

// The command lines the archiver stand-in understands (docs/archiver.md).
#pragma once

#include <string>
#include <vector>

namespace tar32 {

struct TarCommand {
  int display = 0;                 // --display-dialog=N
  bool useDirectory = true;        // --use-directory=0: extract without directories
  char operation = 0;              // 'c' create, 'x' extract
  bool verbose = false;            // v
  bool compress = false;           // Z (gzip; extraction detects it)
  bool keepOwners = true;          // o: do not restore owners
  std::string archive;             // f ARCHIVE
  std::string directory;           // names are relative to it / extraction target
  std::string listFile;            // @LIST (empty when none)
  std::vector<std::string> names;  // further names or wildcards ("*.*")
};

// Splits and checks a command line; false when it is malformed.
bool ParseTarCommand(const char* line, TarCommand* out);

// Splits list-file text into names: lines ended by CR LF or LF, empty lines
// skipped, surrounding blanks kept out.
std::vector<std::string> SplitListText(const std::string& text);

// Case-insensitive wildcard match with '*' and '?'; "*.*" and "*" match all.
bool WildcardMatch(const char* pattern, const char* name);

}  // namespace tar32

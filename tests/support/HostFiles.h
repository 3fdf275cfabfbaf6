// Host files and commands for the tests that run svpconf or look at its
// files from outside the platform: whole-file reads and writes, a command's
// output and exit code, and a fresh folder removed with its owner.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace hostfiles {

inline std::string Read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

inline void Write(const std::filesystem::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

// The command's stdout and stderr; *status its exit code (-1: it did not exit).
inline std::string Run(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buffer[512];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
  const int code = ::pclose(pipe);
  *status = WIFEXITED(code) ? WEXITSTATUS(code) : -1;
  return out;
}

// A new folder below the temporary one, "talver-NAME-" and six characters.
class TempDir {
 public:
  explicit TempDir(const std::string& name) {
    std::string templ = (std::filesystem::temp_directory_path() / ("talver-" + name + "-XXXXXX"));
    if (::mkdtemp(templ.data())) path_ = templ;
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace hostfiles

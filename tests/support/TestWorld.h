// A temporary SVP world for a test: drive C (fixed) with the \PLAXON tree,
// A (a 1.44 MB floppy) and E (removable), all in a fresh host folder; the
// POSIX platform under a fault-injecting one is installed while it lives,
// and trace lines are captured. On Windows the same world is drive letters
// of the Wine prefix over the Windows half (tests/windows/WineWorld.cpp).
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/testing/FaultPlatform.h"
#if defined(_WIN32)
#include "platform/posix/World.h"
namespace plat {
class WineWorldPlatform;
}
#else
#include "platform/posix/PosixPlatform.h"
#endif

// A test of what only the POSIX half has (host links, fork, the host's own
// programs) skips itself on Windows, saying why.
#if defined(_WIN32)
#define SKIP_ON_WINDOWS(why) GTEST_SKIP() << (why)
#else
#define SKIP_ON_WINDOWS(why) static_cast<void>(0)
#endif

class TestWorld {
 public:
  TestWorld();
  ~TestWorld();
  TestWorld(const TestWorld&) = delete;
  TestWorld& operator=(const TestWorld&) = delete;

  // The host folder of the world and of a drive.
  const std::string& Dir() const { return dir_; }
  std::string DriveDir(char letter) const;
  // The host path of a path below a drive root, written with "/" ("PLAXON/TMP/x").
  std::string HostOf(char letter, const std::string& relative) const;

  // Host-side helpers (they bypass the platform, as a person preparing a disk would).
  void WriteHostFile(char letter, const std::string& relative, const std::string& bytes);
  std::string ReadHostFile(char letter, const std::string& relative) const;
  bool HostExists(char letter, const std::string& relative) const;
  void MakeHostDir(char letter, const std::string& relative);
  // A host symbolic link at a path below a drive root, pointing at a host path.
  void MakeHostLink(char letter, const std::string& relative, const std::string& hostTarget);
  // True when the path below a drive root is a link (whatever it points at).
  bool HostLinkExists(char letter, const std::string& relative) const;
  // A host folder beside the drives: outside the world, with one file "kept".
  std::string MakeOutsideDir(const std::string& name);
  // The bytes of a host file ("" when it cannot be read).
  static std::string ReadHost(const std::string& hostPath);
  // Every entry below a host folder by its relative path: a file's bytes, a
  // link's "-> target", a folder "/".
  static std::map<std::string, std::string> Snapshot(const std::string& hostDir);

  plat::FaultPlatform& Faults() { return *fault_; }
#if defined(_WIN32)
  plat::World& MutableWorld();
#else
  plat::PosixPlatform& Posix() { return *posix_; }
  plat::World& MutableWorld() { return posix_->MutableWorld(); }
#endif

  // Trace lines written since the world was made (or since the last take).
  std::vector<std::string> TakeTrace();
  // True when some captured line holds the text as whole words: the text
  // starts a line or follows a space, and ends a line or stands before a
  // space. "ErrCode=0x20" does not match "ErrCode=0x2000", nor "ERR Copy"
  // the line "ERR Copy File". A final "*" lets the last word go on:
  // "ERR *" is any line from "ERR ", "ErrCode=*" any error code.
  static bool Contains(const std::vector<std::string>& lines, const std::string& text);
  // True when some line was written at a place of the source file NAME
  // ("File=.\NAME(N)").
  static bool TracedAt(const std::vector<std::string>& lines, const std::string& name);

 private:
  // The world every test starts from, its folders made.
  plat::World StandardWorld() const;
  // Installs the fault half over a half and starts from a clean system state.
  void InstallOver(std::shared_ptr<plat::Platform> half);

  std::string dir_;
#if defined(_WIN32)
  std::shared_ptr<plat::WineWorldPlatform> posix_;
#else
  std::shared_ptr<plat::PosixPlatform> posix_;
#endif
  std::shared_ptr<plat::FaultPlatform> fault_;
  std::shared_ptr<plat::Platform> previous_;
};

#include "TestWorld.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string_view>

#include "common/CnfFunc.h"
#include "common/Globals.h"
#include "svpsvc/SvpServices.h"

namespace fs = std::filesystem;

#if !defined(_WIN32)
// On Windows: tests/windows/WineWorld.cpp.
TestWorld::TestWorld() {
  std::string templ = (fs::temp_directory_path() / "talver-test-XXXXXX").string();
  if (!::mkdtemp(templ.data())) throw std::runtime_error("mkdtemp failed");
  dir_ = templ;
  posix_ = std::make_shared<plat::PosixPlatform>(StandardWorld());
  InstallOver(posix_);
}

TestWorld::~TestWorld() {
  plat::Install(previous_);
  std::error_code ec;
  // Read-only files and folders must not stop the clean-up.
  for (auto it = fs::recursive_directory_iterator(dir_, ec); !ec && it != fs::end(it);
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(dir_, ec);
}

std::string TestWorld::DriveDir(char letter) const {
  return dir_ + "/drives/" + static_cast<char>(std::tolower(letter));
}

#endif

std::string TestWorld::HostOf(char letter, const std::string& relative) const {
  return DriveDir(letter) + "/" + relative;
}

void TestWorld::WriteHostFile(char letter, const std::string& relative, const std::string& bytes) {
  fs::path p = HostOf(letter, relative);
  fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TestWorld::ReadHostFile(char letter, const std::string& relative) const {
  return ReadHost(HostOf(letter, relative));
}

std::string TestWorld::ReadHost(const std::string& hostPath) {
  std::ifstream in(hostPath, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::map<std::string, std::string> TestWorld::Snapshot(const std::string& hostDir) {
  std::map<std::string, std::string> entries;
  for (const auto& e : fs::recursive_directory_iterator(hostDir)) {
    std::string& entry = entries[fs::relative(e.path(), hostDir).string()];
    if (e.is_symlink())
      entry = "-> " + fs::read_symlink(e.path()).string();
    else
      entry = e.is_directory() ? "/" : ReadHost(e.path().string());
  }
  return entries;
}

bool TestWorld::HostExists(char letter, const std::string& relative) const {
  return fs::exists(HostOf(letter, relative));
}

void TestWorld::MakeHostDir(char letter, const std::string& relative) {
  fs::create_directories(HostOf(letter, relative));
}

void TestWorld::MakeHostLink(char letter, const std::string& relative,
                             const std::string& hostTarget) {
  fs::path p = HostOf(letter, relative);
  fs::create_directories(p.parent_path());
  fs::create_symlink(hostTarget, p);
}

bool TestWorld::HostLinkExists(char letter, const std::string& relative) const {
  return fs::is_symlink(fs::symlink_status(HostOf(letter, relative)));
}

std::string TestWorld::MakeOutsideDir(const std::string& name) {
  std::string dir = dir_ + "/" + name;
  fs::create_directories(dir);
  std::ofstream(dir + "/kept", std::ios::binary) << "outside";
  return dir;
}

plat::World TestWorld::StandardWorld() const {
  plat::World w = plat::World::Empty();
  w.baseDir = dir_;
  w.root = "C:";
  w.identity = "DKC-TEST";
  auto addDrive = [&](char letter, UINT type, std::uint64_t size) {
    plat::Drive& d = w.drive(letter);
    d.present = true;
    d.type = type;
    d.totalBytes = size;
    d.hostDir = DriveDir(letter);
    fs::create_directories(d.hostDir + "/");
  };
  addDrive('C', DRIVE_FIXED, 0);
  addDrive('A', DRIVE_REMOVABLE, 1457664);
  addDrive('E', DRIVE_REMOVABLE, 0);
  w.settings["services.trace_file"] = "trace.log";
  w.settings["services.audit_file"] = "audit.log";
  w.settings["services.wait_ms"] = "5";
  w.settings["platform.terminate_wait_ms"] = "2000";
  for (const char* d : {"PLAXON/CONFIG", "PLAXON/TMP", "PLAXON/OTHERS/BACKUP",
                        "PLAXON/OTHERS/INTDATA", "PLAXON/HOME/DIFF", "PLAXON/DIFF", "PLAXON/MP/PC"})
    fs::create_directories(DriveDir('C') + "/" + d);
  return w;
}

void TestWorld::InstallOver(std::shared_ptr<plat::Platform> half) {
  fault_ = std::make_shared<plat::FaultPlatform>(std::move(half));
  previous_ = plat::Install(fault_);
  RefreshRootPath();
  ResetSerialNumberCache();
  svc::ResetExclusiveCounts();
  svc::StartTraceCapture();
  plat::TakeDebugOutput();
}

std::vector<std::string> TestWorld::TakeTrace() {
  std::vector<std::string> lines = svc::TakeCapturedTrace();
  // TALVER_TEST_TRACE=1 shows the lines a test's checks look at.
  if (std::getenv("TALVER_TEST_TRACE"))
    for (const std::string& l : lines) std::fprintf(stderr, "trace| %s\n", l.c_str());
  return lines;
}

namespace {

bool Boundary(const std::string& record, std::size_t at) {
  return at == record.size() || record[at] == ' ' || record[at] == '\n';
}

// The text at a word boundary of the record on both sides (only before it
// when `open`: the text is the start of a word).
bool HoldsWords(const std::string& record, std::string_view text, bool open) {
  for (std::size_t at = record.find(text); at != std::string::npos; at = record.find(text, at + 1))
    if ((at == 0 || Boundary(record, at - 1)) && (open || Boundary(record, at + text.size())))
      return true;
  return false;
}

}  // namespace

bool TestWorld::Contains(const std::vector<std::string>& lines, const std::string& text) {
  std::string_view words = text;
  const bool open = !words.empty() && words.back() == '*';
  if (open) words.remove_suffix(1);
  if (words.empty()) throw std::invalid_argument("an empty trace match");
  for (const std::string& record : lines)
    if (HoldsWords(record, words, open)) return true;
  return false;
}

bool TestWorld::TracedAt(const std::vector<std::string>& lines, const std::string& name) {
  const std::string place = "File=.\\" + name + "(";
  for (const std::string& record : lines)
    if (record.rfind(place, 0) == 0) return true;
  return false;
}

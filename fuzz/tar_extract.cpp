// libFuzzer target: the archiver's extraction of hostile archives, through
// the real reader, into C:\T\ of a fuzz world.
//
// The first input byte chooses the form of the archive:
//   even: the rest of the input is the archive file as it stands;
//   odd:  a compact description of tar entries, written as tar blocks with
//         true checksums so the reader gets to the entries: byte 1 holds
//         flags (1 gzip, 2 cut the archive short, 4 --use-directory=0,
//         8 extract the names of a list file, 16 no end blocks), byte 2 the
//         number of entries, then per entry a kind, a name and a link name
//         (from a table of hostile names, or bytes of the input), a size
//         field of the input's own bytes for kind 9, and the data.
// Checked: the call ends with a known code; nothing outside C:\T\ changes
// (the rest of drive C and a folder beside the drive); no temporary file is
// left and no link is made in C:\T\ (where a link to the outside folder
// waits for entries that would go through it); the count of entries agrees
// with an enumeration of the same archive.
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "FuzzWorld.h"
#include "tar32/Tar32.h"

namespace {

namespace fs = std::filesystem;

fuzz::World gWorld;
std::string gTarget;

const char* const kNames[] = {"x",
                              "d/",
                              "d/f",
                              "d/e/f",
                              "../x",
                              "../../outside/kept",
                              "/abs",
                              "\\abs",
                              "C:\\x",
                              "C:x",
                              "c:/x",
                              "a/../../x",
                              "a\\..\\..\\x",
                              "./x",
                              ".",
                              "..",
                              "",
                              "a//b",
                              "\\\\srv\\share\\x",
                              "PLAXON/CONFIG/keep.dat",
                              "x/../y",
                              "d/./f",
                              "a:b",
                              "X",
                              "d",
                              "d/f/g",
                              "x.~tv00000001",
                              "../T/x",
                              "..\\IN\\in.tgz",
                              "d\\..\\..\\..\\outside\\kept",
                              "...",
                              "d/..",
                              "..d",
                              "d../x",
                              "linked/kept",
                              "linked/new",
                              "LINKED\\d\\f",
                              "linked"};
constexpr std::size_t kNameCount = sizeof kNames / sizeof kNames[0];

struct Input {
  const std::uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
  std::uint8_t Byte() { return pos < size ? data[pos++] : 0; }
  std::string Bytes(std::size_t n) {
    n = std::min(n, size - std::min(pos, size));
    std::string s(reinterpret_cast<const char*>(data + pos), n);
    pos += n;
    return s;
  }
};

std::string Name(Input& in) {
  const std::uint8_t b = in.Byte();
  if (b < 0xC0) return kNames[b % kNameCount];
  if (b < 0xE0) return std::string(100 + (b & 0x1F) * 8, 'n');  // long names
  std::string deep;
  if (b < 0xF0) {
    for (int i = 0; i < 40 + (b & 0x0F) * 4; ++i) deep += "d/";
    return deep + "f";
  }
  return in.Bytes(in.Byte() % 120);
}

void Octal(char* field, std::size_t width, std::uint64_t value) {
  std::snprintf(field, width, "%0*llo", static_cast<int>(width - 1),
                static_cast<unsigned long long>(value));
}

// One 512-byte header with its checksum.
std::string Header(const std::string& name, char type, const std::string& link, std::uint64_t size,
                   const std::string* rawSize) {
  char h[512] = {};
  std::memcpy(h, name.data(), std::min<std::size_t>(name.size(), 100));
  Octal(h + 100, 8, type == '5' ? 0755 : 0644);
  Octal(h + 108, 8, 0);
  Octal(h + 116, 8, 0);
  Octal(h + 124, 12, size);
  if (rawSize) std::memcpy(h + 124, rawSize->data(), std::min<std::size_t>(rawSize->size(), 12));
  Octal(h + 136, 12, 1700000000);
  h[156] = type;
  std::memcpy(h + 157, link.data(), std::min<std::size_t>(link.size(), 100));
  std::memcpy(h + 257, "ustar", 6);
  std::memcpy(h + 263, "00", 2);
  std::memset(h + 148, ' ', 8);
  unsigned sum = 0;
  for (unsigned char c : h) sum += c;
  std::snprintf(h + 148, 8, "%06o", sum);
  return std::string(h, sizeof h);
}

std::string Padded(std::string data) {
  data.resize((data.size() + 511) / 512 * 512, '\0');
  return data;
}

// A pax extended header whose records are given.
std::string Pax(const std::string& records) {
  return Header("PaxHeader", 'x', "", records.size(), nullptr) + Padded(records);
}

std::string PaxRecord(const std::string& key, const std::string& value) {
  const std::string body = " " + key + "=" + value + "\n";
  std::size_t length = body.size() + 1;
  while (std::to_string(length).size() + body.size() != length) ++length;
  return std::to_string(length) + body;
}

std::string Gzip(const std::string& raw) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK) std::abort();
  std::string out(deflateBound(&z, raw.size()) + 64, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  z.avail_in = static_cast<uInt>(raw.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// The tar stream of a gzip archive (the first megabyte), or the bytes as
// they are when they are not gzip.
std::string Gunzip(const std::string& bytes) {
  z_stream z{};
  if (inflateInit2(&z, 15 + 32) != Z_OK) std::abort();
  std::string out(1u << 20, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
  z.avail_in = static_cast<uInt>(bytes.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&z, Z_SYNC_FLUSH);
  out.resize(z.total_out);
  inflateEnd(&z);
  return rc == Z_OK || rc == Z_STREAM_END || rc == Z_BUF_ERROR ? out : bytes;
}

struct Built {
  std::string archive;
  std::string tar;  // the archive's tar stream, for the names it holds
  bool useDirectory = true;
  bool list = false;
};

Built Compact(Input& in) {
  Built b;
  const std::uint8_t flags = in.Byte();
  b.useDirectory = !(flags & 4);
  b.list = flags & 8;
  std::string tar;
  const int entries = in.Byte() % 9;
  for (int i = 0; i < entries; ++i) {
    const int kind = in.Byte() % 10;
    const std::string name = Name(in);
    const std::string link = Name(in);
    std::string rawSize;
    if (kind == 9) rawSize = in.Bytes(12);
    const std::string data(static_cast<std::size_t>(in.Byte()) * 8, static_cast<char>(in.Byte()));
    switch (kind) {
      case 1:
        tar += Header(name, '5', "", 0, nullptr);
        break;
      case 2:
        tar += Header(name, '2', link, 0, nullptr);
        break;
      case 3:
        tar += Header(name, '1', link, 0, nullptr);
        break;
      case 4:
        tar += Header(name, '6', "", 0, nullptr);
        break;
      case 5:  // a pax name and link of any length
        tar += Pax(PaxRecord("path", name) + PaxRecord("linkpath", link));
        tar += Header("pax", '0', "", data.size(), nullptr) + Padded(data);
        break;
      case 6:  // a GNU long name
        tar += Header("././@LongLink", 'L', "", name.size() + 1, nullptr) + Padded(name + '\0');
        tar += Header("gnu", '0', "", data.size(), nullptr) + Padded(data);
        break;
      case 7:  // pax records of the input's own bytes
        tar += Pax(PaxRecord(link, name));
        tar += Header("rec", '0', "", data.size(), nullptr) + Padded(data);
        break;
      case 8:
        tar += Header(name, '3', "", 0, nullptr);
        break;
      case 9:
        tar += Header(name, '0', "", data.size(), &rawSize) + Padded(data);
        break;
      default:
        tar += Header(name, '0', "", data.size(), nullptr) + Padded(data);
        break;
    }
  }
  if (!(flags & 16)) tar += std::string(1024, '\0');
  b.archive = (flags & 1) ? Gzip(tar) : tar;
  b.tar = tar;
  if ((flags & 2) && !b.archive.empty()) {
    const std::size_t cut = (in.Byte() << 8 | in.Byte()) % b.archive.size();
    b.archive.resize(cut);
  }
  return b;
}

void ResetTarget() {
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(gTarget, ec); !ec && it != fs::end(it);
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(gTarget, ec);
  fs::create_directories(gTarget);
  // A link in the target to the folder outside the drive: no entry may go
  // through it.
  fs::create_directory_symlink(gWorld.outside, gTarget + "/linked", ec);
}

// Entries of the archive by the enumeration calls; -1 when it cannot be read.
int Enumerate(const char* path) {
  HARC handle = TarOpenArchive(0, path, 0x200);
  if (!handle) return -1;
  static TarEntryRecord record;
  int count = 0;
  int rc = TarFindFirst(handle, "*.*", &record);
  while (rc == 0 && count < 100000) {
    ++count;
    fuzz::Check(std::memchr(record.fileName, 0, sizeof record.fileName) != nullptr,
                "an entry name is not terminated");
    rc = TarFindNext(handle, &record);
  }
  TarCloseArchive(handle);
  return rc == -1 ? count : -1;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  gWorld = fuzz::SetUpWorld("fuzz-untar", 16u << 20);
  gTarget = gWorld.c + "/T";
  fs::create_directories(gWorld.c + "/IN");
  fuzz::WriteBytes(gWorld.c + "/PLAXON/CONFIG/keep.dat", "keep", 4);
  fuzz::WriteBytes(gWorld.c + "/x", "x", 1);
  const char list[] = "x\r\nd/f\r\n../x\r\nPLAXON/CONFIG/keep.dat\r\n";
  fuzz::WriteBytes(gWorld.c + "/IN/list", list, sizeof list - 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  Built built;
  if (data[0] % 2 == 0) {
    built.archive.assign(reinterpret_cast<const char*>(data + 1), size - 1);
    built.tar = Gunzip(built.archive);
  } else {
    Input in{data + 1, size - 1};
    built = Compact(in);
  }
  fuzz::WriteBytes(gWorld.c + "/IN/in.tgz", built.archive.data(), built.archive.size());
  ResetTarget();
  const auto drive = fuzz::Snapshot(gWorld.c, "T");
  const auto outside = fuzz::Snapshot(gWorld.outside);

  std::string command = "--display-dialog=0 ";
  if (!built.useDirectory) command += "--use-directory=0 ";
  command += "xvfo C:\\IN\\in.tgz C:\\T\\ ";
  command += built.list ? "@C:\\IN\\list" : "*.*";
  char output[256];
  const int code = Tar(0, command.c_str(), output, sizeof output);
  switch (code) {
    case 0:
    case kTarErrorArchive:
    case kTarErrorWrite:
    case kTarErrorFormat:
    case kTarErrorUnsafe:
    case kTarErrorResources:
    case kTarErrorTarget:
    case kTarErrorNotFound:
    case kTarErrorPath:
      break;
    default:
      fuzz::Fail("the extraction ended with an unexpected code");
  }
  fuzz::Check(fuzz::Snapshot(gWorld.c, "T") == drive, "the extraction changed drive C outside T");
  fuzz::Check(fuzz::Snapshot(gWorld.outside) == outside, "the extraction wrote outside the drive");
  // A name with the temporary suffix is a leftover unless an entry has it.
  for (const auto& [path, kind] : fuzz::Snapshot(gTarget)) {
    fuzz::Check(kind != -2 || path == "linked", "the extraction made a link");
    const std::size_t mark = path.find(".~tv");
    fuzz::Check(mark == std::string::npos || built.tar.find(".~tv") != std::string::npos,
                "the extraction left a temporary file");
  }

  // The count and the enumeration read the same entries.
  const int count = TarGetFileCount("C:\\IN\\in.tgz");
  const int listed = Enumerate("C:\\IN\\in.tgz");
  if (count >= 0 && listed >= 0) fuzz::Check(count == listed, "count and enumeration disagree");
  plat::TakeDebugOutput();
  return 0;
}

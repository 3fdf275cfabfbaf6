// The generated configuration of the benchmarks: table files (fixed records,
// some as text rows) and incompressible blobs in nested folders.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <string>
#include <vector>

namespace bench {

namespace fs = std::filesystem;

struct Random {
  std::uint64_t s;
  std::uint64_t Next() {
    s ^= s << 13;
    s ^= s >> 7;
    s ^= s << 17;
    return s;
  }
};

// A table file: fixed 64-byte records as the controller's configuration
// tables hold them (an index, a kind, a few small fields, a name, padding),
// with every eighth record in a file given as text rows.
inline void WriteTable(const fs::path& path, std::size_t bytes, Random& r) {
  std::ofstream out(path, std::ios::binary);
  static const char* const kNames[] = {"LDEV", "PORT", "HOSTGRP", "POOL", "JNL", "PARITY", "CLPR"};
  std::size_t done = 0;
  std::uint32_t index = 0;
  bool text = (r.Next() % 8) == 0;
  while (done < bytes) {
    std::uint64_t v = r.Next();
    char record[64] = {};
    int n = 0;
    if (text) {
      n = std::snprintf(record, sizeof record, "%08u,%s,%u,%u,0x%04X\r\n", index, kNames[v % 7],
                        static_cast<unsigned>((v >> 8) % 16), static_cast<unsigned>((v >> 20) % 3),
                        static_cast<unsigned>((v >> 32) & 0xFF0F));
    } else {
      std::memcpy(record, &index, 4);
      record[4] = static_cast<char>(v % 7);
      record[5] = static_cast<char>((v >> 8) % 4);
      std::uint16_t capacity = static_cast<std::uint16_t>((v >> 16) % 2048);
      std::memcpy(record + 8, &capacity, 2);
      std::snprintf(record + 16, 24, "%s-%04u", kNames[v % 7], index % 4096);
      if ((v >> 40) % 4 == 0) std::memcpy(record + 40, &v, 8);
      n = sizeof record;
    }
    out.write(record, n);
    done += static_cast<std::size_t>(n);
    ++index;
  }
}

inline void WriteBlob(const fs::path& path, std::size_t bytes, Random& r) {
  std::ofstream out(path, std::ios::binary);
  std::vector<std::uint64_t> block(8192);
  std::size_t done = 0;
  while (done < bytes) {
    for (auto& w : block) w = r.Next();
    std::size_t n = std::min(bytes - done, block.size() * 8);
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
    done += n;
  }
}

// The tree below `config`: `files` files of about `totalBytes` in all, a
// fifth of them blobs, some tiny, in folders up to three levels deep. Each
// file's name relative to config's parent ("CONFIG/...") goes to `list`
// with CR LF when given. The bytes written.
inline std::uint64_t GenerateConfigTree(const fs::path& config, int files, std::uint64_t totalBytes,
                                        std::ostream* list) {
  Random r{0x9E3779B97F4A7C15ull};
  fs::create_directories(config);
  std::uint64_t written = 0;
  std::uint64_t average = totalBytes / static_cast<std::uint64_t>(files);
  for (int i = 0; i < files; ++i) {
    // Nested folders: CONFIG/Dnn/Snn/... up to three levels.
    std::string rel;
    int depth = i % 4;
    for (int d = 0; d < depth; ++d) rel += "D" + std::to_string((i / (d + 3)) % 12) + "/";
    fs::create_directories(config / rel);
    bool blob = (i % 5) == 0;  // a fifth of the files are blobs
    std::uint64_t size = (average / 2) + r.Next() % average;
    if (blob) size *= 2;
    if (i % 37 == 0) size = r.Next() % 100;  // small files too
    std::string name =
        rel + (blob ? "blob" : "table") + std::to_string(i) + (blob ? ".bin" : ".dat");
    if (blob)
      WriteBlob(config / name, size, r);
    else
      WriteTable(config / name, size, r);
    written += size;
    if (list) *list << "CONFIG/" << name << "\r\n";
  }
  return written;
}

}  // namespace bench

namespace bench_tree {

// The tree below root/PLAXON/CONFIG and the backup list naming its files
// (root/PLAXON/TMP/cnfbaklist).
inline std::uint64_t Generate(const bench::fs::path& root, int files, std::uint64_t totalBytes) {
  bench::fs::create_directories(root / "PLAXON" / "TMP");
  std::ofstream list(root / "PLAXON" / "TMP" / "cnfbaklist", std::ios::binary);
  return bench::GenerateConfigTree(root / "PLAXON" / "CONFIG", files, totalBytes, &list);
}

}  // namespace bench_tree

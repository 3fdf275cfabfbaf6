// The reader of ".gpfm" backup configuration files.
#pragma once

#include <cstdint>

// Checks the headers of the backup file gpfmPath, verifies every segment of
// every present table against its stored sum and writes each table as
// "<outDir>\<table>.lz4" (the stored bytes, padding left out). outDir must
// exist. 1 when every present table was checked and written; 0 at the first
// failure, leaving the tables finished before it in outDir.
int ParseGpfmFile(const char* gpfmPath, const char* outDir);

struct PfmHeader;

// One segment as the walk read it: its table (0..1023), its number within
// the table (from 1), where it starts in the file, its length (a padding
// byte follows an odd one) and both sums.
struct GpfmSegmentSeen {
  int table;
  int segment;
  std::uint64_t offset;
  std::uint32_t size;
  std::uint32_t storedSum;
  std::uint32_t computedSum;
};

// What a walk of a backup file hands on, table by table, segment by
// segment, each segment checked against its sum first. A sink that returns
// false ends the walk as a failure.
class GpfmTableSink {
 public:
  virtual ~GpfmTableSink() = default;
  virtual bool BeginTable(int table, std::uint64_t storedSize, int segments) = 0;
  // segment is 1-based; data stays valid until the call returns.
  virtual bool TableData(const std::uint8_t* data, std::uint32_t size, int segment) = 0;
  virtual bool EndTable() = 0;

  // What a look inside the file sees besides the tables' bytes; the
  // reader's own sinks leave these alone. The GUM header's targetCFM, before
  // it is checked:
  virtual void Target(std::uint32_t) {}
  // The table directory targetCFM names, read at offset, before its valid
  // word is checked:
  virtual void Directory(const PfmHeader&, std::uint64_t) {}
  // Every segment read whole, before its sums are compared:
  virtual void Segment(const GpfmSegmentSeen&) {}
  // After a sum that differs (the walk's failure, traced): true reads on
  // to the end to show the rest, and the walk still fails.
  virtual bool ReadOnAfterMismatch() { return false; }
};
// Reads and checks gpfmPath as ParseGpfmFile does (the same trace lines),
// handing every present table to sink instead of writing it. 1 when every
// table was checked and taken.
int WalkGpfmFile(const char* gpfmPath, GpfmTableSink& sink);
// The first failure of the last walk on this thread, as traced ("" when none).
const char* LastGpfmFailure();

// The reader of ".gpfm" backup configuration files.
#pragma once

#include <cstdint>

// Checks the headers of the backup file gpfmPath, verifies every segment of
// every present table against its stored sum and writes each table as
// "<outDir>\<table>.lz4" (the stored bytes, padding left out). outDir must
// exist. 1 when every present table was checked and written; 0 at the first
// failure, leaving the tables finished before it in outDir.
int ParseGpfmFile(const char* gpfmPath, const char* outDir);

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
};
// Reads and checks gpfmPath as ParseGpfmFile does (the same trace lines),
// handing every present table to sink instead of writing it. 1 when every
// table was checked and taken.
int WalkGpfmFile(const char* gpfmPath, GpfmTableSink& sink);
// The first failure of the last walk on this thread, as traced ("" when none).
const char* LastGpfmFailure();

// The gzip layer of the archiver stand-in.
//
// Writing: the tar stream is cut into blocks that worker threads compress
// into independent gzip members (libdeflate when present, zlib otherwise);
// the members are written in order. Each member carries an extra field "SM"
// with its own length, so that our reader can take a member whole. Any gzip
// reader (GNU gzip, GNU tar, libarchive) reads the result as one stream.
//
// Reading: a producer thread reads the archive file and decompresses it
// ahead of the consumer: whole "SM" members with libdeflate, anything else
// (a single long member written by another tool, plain tar) by streaming.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/WinTypes.h"

namespace tar32 {

// Bytes of the tar stream per gzip member.
constexpr std::size_t kMemberBytes = 1u << 20;

// Our archives end with an empty gzip member whose extra subfield "EC" holds
// the number of entries and the archive's whole length, so that the count
// is read from the last bytes without decompressing anything. Readers that
// do not know it pass over an empty member.
constexpr std::size_t kCountRecordBytes = 42;
void MakeCountRecord(std::uint32_t entries, std::uint64_t archiveLength, unsigned char* record);
// The count of a record that ends an archive of `archiveLength` bytes;
// false when the bytes are no such record or name another length (an
// archive cut short, joined from wrong pieces or padded after the end).
bool ReadCountRecord(const unsigned char* record, std::uint64_t archiveLength,
                     std::uint32_t* entries);

// A worker on one of the platform's threads, waited for by Join.
class Worker {
 public:
  Worker() = default;
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;
  ~Worker() { Join(); }
  // False when no thread could be had (the work is not run then).
  bool Start(std::function<void()> work);
  void Join();

 private:
  static void Run(void* self);
  std::function<void()> work_;
  HANDLE thread_ = nullptr;
};

class GzipWriter {
 public:
  // Writes to an open platform file; level 1..9; threads >= 1.
  GzipWriter(HANDLE out, int level, int threads);
  ~GzipWriter();
  GzipWriter(const GzipWriter&) = delete;
  GzipWriter& operator=(const GzipWriter&) = delete;

  bool Start();  // false when the workers cannot be started
  bool Write(const void* data, std::size_t size);
  // The bytes of the tar stream written so far.
  std::uint64_t BytesIn() const { return bytesIn_; }
  // Compresses and writes what is left and the count record of `entries`;
  // false on a write or compress failure.
  bool Finish(std::uint32_t entries);
  // Stops the workers without writing further output.
  void Abort();
  // The last platform error of a failed write (0 when none).
  DWORD WriteError() const { return writeError_; }

 private:
  struct Slot;
  bool Submit();
  bool Drain(Slot& slot);
  bool Put(const unsigned char* data, std::size_t size);
  void Work();

  HANDLE out_;
  int level_;
  int threadCount_;
  std::vector<std::unique_ptr<Slot>> slots_;
  std::vector<std::unique_ptr<Worker>> threads_;
  std::mutex mutex_;
  std::condition_variable work_;
  std::condition_variable done_;
  std::deque<Slot*> queue_;
  std::uint64_t nextSequence_ = 0;
  Slot* current_ = nullptr;
  bool stopping_ = false;
  bool failed_ = false;
  DWORD writeError_ = 0;
  std::uint64_t bytesIn_ = 0;
  std::uint64_t bytesOut_ = 0;
};

// Failure kinds of the reader.
enum class ReadFailure { kNone, kRead, kFormat, kMemory };

class GzipReader {
 public:
  explicit GzipReader(HANDLE in);
  ~GzipReader();
  GzipReader(const GzipReader&) = delete;
  GzipReader& operator=(const GzipReader&) = delete;

  bool Start();
  // The next block of decompressed bytes; false at the end or on failure
  // (Failure() tells which). The block stays valid until the next call.
  bool Next(const void** data, std::size_t* size);
  void Stop();
  ReadFailure Failure() const { return failure_; }
  // Where the reading failed, in words: "gzip member 3 at byte 2097152 is
  // damaged", "truncated at byte 5000", "read failed at byte N" ("" when
  // nothing failed). Valid once Next has returned false.
  const std::string& FailureText() const { return failureText_; }

 private:
  void Produce();
  bool Fill(std::size_t wanted);
  bool Push(std::vector<unsigned char>&& block);
  std::vector<unsigned char> TakeBlock(std::size_t size);
  bool DecodeMembers();
  bool DecodeStream();
  bool PassThrough();
  bool ZeroTail();
  void Fail(ReadFailure failure);
  // Fail with the place in words: what went wrong at the member in hand.
  void FailAt(ReadFailure failure, const char* what);
  void FailTruncated();

  HANDLE in_;
  Worker thread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<unsigned char>> ready_;
  std::vector<unsigned char> current_;
  // Blocks the reader has done with, for the producer's next ones.
  std::vector<std::vector<unsigned char>> spare_;
  bool finished_ = false;
  bool stop_ = false;
  ReadFailure failure_ = ReadFailure::kNone;
  // Producer-side input window.
  std::vector<unsigned char> input_;
  std::size_t inputPos_ = 0;
  std::size_t inputLen_ = 0;
  bool inputEof_ = false;
  // File offset of input_[0], and the number of the member being decoded.
  std::uint64_t inputBase_ = 0;
  std::uint64_t memberStart_ = 0;
  unsigned memberNumber_ = 0;
  std::string failureText_;
};

}  // namespace tar32

// The gzip layer of the archiver stand-in, reading: decompression ahead of
// the reader on a thread of its own (see TarGzip.h).
#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "TarGzip.h"
#include "TarGzipFormat.h"
#include "platform/Platform.h"

#ifdef TALVER_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif
#ifdef TALVER_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace tar32 {
namespace {

using namespace gzip;

constexpr std::size_t kSmallestWindow = 64 * 1024;
constexpr std::size_t kInputWindow = kLargestWholeMember + kSmallestWindow;
constexpr std::size_t kStreamBlock = 1u << 20;
constexpr std::size_t kFirstStreamBlock = 64u << 10;
constexpr std::size_t kReadAhead = 3;
constexpr std::size_t kSpareBlocks = 2;

}  // namespace

bool ReadCountRecord(const unsigned char* record, std::uint64_t archiveLength,
                     std::uint32_t* entries) {
  if (std::memcmp(record, kCountHeader, sizeof kCountHeader) != 0 ||
      std::memcmp(record + 32, kEmptyBody, sizeof kEmptyBody) != 0)
    return false;
  if (GetLe32(record + 28) != static_cast<std::uint32_t>(crc32(0, record + 16, 12))) return false;
  if (GetLe64(record + 20) != archiveLength) return false;
  *entries = GetLe32(record + 16);
  return true;
}

GzipReader::GzipReader(HANDLE in) : in_(in) {}

GzipReader::~GzipReader() { Stop(); }

bool GzipReader::Start() {
  // A small archive gets a window of its size: a fresh window of the
  // largest faults its pages in as it is cleared, some milliseconds.
  std::uint64_t size = kInputWindow;
  if (!plat::GetFileSizeEx(in_, &size)) size = kInputWindow;
  try {
    input_.resize(
        static_cast<std::size_t>(std::min<std::uint64_t>(size + kSmallestWindow, kInputWindow)));
  } catch (...) {
    failure_ = ReadFailure::kMemory;
    return false;
  }
  if (!thread_.Start([this] { Produce(); })) {
    failure_ = ReadFailure::kMemory;
    return false;
  }
  return true;
}

void GzipReader::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  thread_.Join();
}

bool GzipReader::Next(const void** data, std::size_t* size) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return !ready_.empty() || finished_; });
  if (ready_.empty()) {
    current_.clear();
    return false;
  }
  if (current_.capacity() > 0 && spare_.size() < kSpareBlocks)
    spare_.push_back(std::move(current_));
  current_ = std::move(ready_.front());
  ready_.pop_front();
  lock.unlock();
  changed_.notify_all();
  *data = current_.data();
  *size = current_.size();
  return true;
}

void GzipReader::Fail(ReadFailure failure) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (failure_ == ReadFailure::kNone) failure_ = failure;
}

void GzipReader::FailAt(ReadFailure failure, const char* what) {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failure_ == ReadFailure::kNone && failureText_.empty())
      failureText_ = "gzip member " + std::to_string(memberNumber_) + " at byte " +
                     std::to_string(memberStart_) + " " + what;
  }
  Fail(failure);
}

void GzipReader::FailTruncated() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (failure_ == ReadFailure::kNone && failureText_.empty())
      failureText_ = "truncated at byte " + std::to_string(inputBase_ + inputLen_) +
                     " (inside gzip member " + std::to_string(memberNumber_) + ")";
  }
  Fail(ReadFailure::kFormat);
}

bool GzipReader::Push(std::vector<unsigned char>&& block) {
  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return stop_ || ready_.size() < kReadAhead; });
  if (stop_) return false;
  ready_.push_back(std::move(block));
  lock.unlock();
  changed_.notify_all();
  return true;
}

// A block of `size` bytes, one the reader has done with where there is one:
// a member's bytes then neither fault fresh pages in nor are cleared first
// (a block grows cleared only by what it lacks). Throws when out of memory.
std::vector<unsigned char> GzipReader::TakeBlock(std::size_t size) {
  std::vector<unsigned char> block;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!spare_.empty()) {
      block = std::move(spare_.back());
      spare_.pop_back();
    }
  }
  block.resize(size);
  return block;
}

bool GzipReader::Fill(std::size_t wanted) {
  if (wanted > input_.size() && input_.size() < kInputWindow) {
    try {
      input_.resize(kInputWindow);  // the archive grew since it was opened
    } catch (...) {
      Fail(ReadFailure::kMemory);
      return false;
    }
  }
  wanted = std::min(wanted, input_.size());
  while (inputLen_ - inputPos_ < wanted && !inputEof_) {
    if (inputPos_ > 0) {
      std::memmove(input_.data(), input_.data() + inputPos_, inputLen_ - inputPos_);
      inputBase_ += inputPos_;
      inputLen_ -= inputPos_;
      inputPos_ = 0;
    }
    DWORD got = 0;
    DWORD room = static_cast<DWORD>(input_.size() - inputLen_);
    if (!plat::ReadFile(in_, input_.data() + inputLen_, room, &got)) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (failureText_.empty())
          failureText_ = "read failed at byte " + std::to_string(inputBase_ + inputLen_);
      }
      Fail(ReadFailure::kRead);
      return false;
    }
    if (got == 0) inputEof_ = true;
    inputLen_ += got;
  }
  return true;
}

void GzipReader::Produce() {
  bool ok = Fill(2);
  if (ok) {
    std::size_t avail = inputLen_ - inputPos_;
    if (avail == 0) {
      FailTruncated();  // an empty file is no archive
      ok = false;
    } else if (avail >= 2 && input_[0] == 0x1f && input_[1] == 0x8b) {
      ok = DecodeMembers();
    } else {
      ok = PassThrough();
    }
  }
  (void)ok;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    finished_ = true;
  }
  changed_.notify_all();
}

bool GzipReader::DecodeMembers() {
#ifdef TALVER_HAVE_LIBDEFLATE
  std::unique_ptr<libdeflate_decompressor, void (*)(libdeflate_decompressor*)> d(
      libdeflate_alloc_decompressor(), libdeflate_free_decompressor);
  if (!d) {
    Fail(ReadFailure::kMemory);
    return false;
  }
  for (;;) {
    if (!Fill(kHeaderBytes)) return false;
    std::size_t avail = inputLen_ - inputPos_;
    if (avail == 0) return true;
    const unsigned char* p = input_.data() + inputPos_;
    if (avail >= kCountRecordBytes && std::memcmp(p, kCountHeader, sizeof kCountHeader) == 0 &&
        std::memcmp(p + 32, kEmptyBody, sizeof kEmptyBody) == 0) {
      inputPos_ += kCountRecordBytes;  // the count record holds no data
      continue;
    }
    if (p[0] == 0) return ZeroTail();
    if (memberNumber_ > 0 && (avail < 2 || p[0] != 0x1f || p[1] != 0x8b)) {
      memberStart_ = inputBase_ + inputPos_;
      ++memberNumber_;
      FailAt(ReadFailure::kFormat, "is no gzip member (bytes after the last one)");
      return false;
    }
    std::size_t member = OwnMemberSize(p, avail);
    if (member == 0) break;  // another writer's member: stream from here
    memberStart_ = inputBase_ + inputPos_;
    ++memberNumber_;
    if (!Fill(member)) return false;
    if (inputLen_ - inputPos_ < member) {
      FailTruncated();
      return false;
    }
    p = input_.data() + inputPos_;
    std::uint32_t isize = GetLe32(p + member - 4);
    if (isize > kLargestWholeMember) {
      FailAt(ReadFailure::kFormat, "is damaged (stated length)");
      return false;
    }
    std::vector<unsigned char> out;
    try {
      out = TakeBlock(isize);
    } catch (...) {
      Fail(ReadFailure::kMemory);
      return false;
    }
    std::size_t used = 0, produced = 0;
    if (libdeflate_gzip_decompress_ex(d.get(), p, member, out.data(), out.size(), &used,
                                      &produced) != LIBDEFLATE_SUCCESS ||
        used != member || produced != isize) {
      FailAt(ReadFailure::kFormat, "is damaged");
      return false;
    }
    inputPos_ += member;
    if (!out.empty() && !Push(std::move(out))) return false;
  }
#endif
  return DecodeStream();
}

#ifdef TALVER_HAVE_ISAL
// Streams the members through ISA-L, which checks each member's CRC.
bool GzipReader::DecodeStream() {
  std::unique_ptr<inflate_state> state;
  std::vector<unsigned char> out;
  try {
    // The state is set up below, not cleared first; a fresh block faults
    // its pages in as it is cleared, so the first one (all that a small
    // archive needs) is small.
    state.reset(new inflate_state);
    out.resize(kFirstStreamBlock);
  } catch (...) {
    Fail(ReadFailure::kMemory);
    return false;
  }
  isal_inflate_init(state.get());
  state->crc_flag = ISAL_GZIP;
  std::size_t outLen = 0;
  memberStart_ = inputBase_ + inputPos_;
  ++memberNumber_;
  for (;;) {
    if (inputPos_ == inputLen_ && !Fill(64 * 1024)) return false;
    state->next_in = input_.data() + inputPos_;
    state->avail_in = static_cast<std::uint32_t>(inputLen_ - inputPos_);
    state->next_out = out.data() + outLen;
    state->avail_out = static_cast<std::uint32_t>(out.size() - outLen);
    const bool noInput = state->avail_in == 0;
    const std::size_t before = outLen;
    const int rc = isal_inflate(state.get());
    inputPos_ = inputLen_ - state->avail_in;
    outLen = out.size() - state->avail_out;
    if (rc < 0) {
      FailAt(ReadFailure::kFormat, "is damaged");
      return false;
    }
    if (outLen == out.size()) {
      if (!Push(std::move(out))) return false;
      out = TakeBlock(kStreamBlock);
      outLen = 0;
    }
    if (state->block_state == ISAL_BLOCK_FINISH) {
      if (!Fill(2)) return false;
      const unsigned char* p = input_.data() + inputPos_;
      if (inputLen_ - inputPos_ >= 2 && p[0] == 0x1f && p[1] == 0x8b) {
        isal_inflate_reset(state.get());
        state->crc_flag = ISAL_GZIP;
        memberStart_ = inputBase_ + inputPos_;
        ++memberNumber_;
        continue;
      }
      if (!ZeroTail()) return false;
      break;
    }
    if (noInput && inputEof_ && outLen == before) {
      FailTruncated();
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) return false;
  }
  out.resize(outLen);
  if (!out.empty() && !Push(std::move(out))) return false;
  return true;
}
#else
bool GzipReader::DecodeStream() {
  z_stream z{};
  if (inflateInit2(&z, 15 + 16) != Z_OK) {
    Fail(ReadFailure::kMemory);
    return false;
  }
  struct End {
    z_stream* z;
    ~End() { inflateEnd(z); }
  } end{&z};
  std::vector<unsigned char> out(kStreamBlock);
  std::size_t outLen = 0;
  memberStart_ = inputBase_ + inputPos_;
  ++memberNumber_;
  for (;;) {
    if (inputPos_ == inputLen_ && !Fill(64 * 1024)) return false;
    z.next_in = input_.data() + inputPos_;
    z.avail_in = static_cast<uInt>(inputLen_ - inputPos_);
    z.next_out = out.data() + outLen;
    z.avail_out = static_cast<uInt>(out.size() - outLen);
    bool noInput = z.avail_in == 0;
    int rc = inflate(&z, Z_NO_FLUSH);
    inputPos_ = inputLen_ - z.avail_in;
    outLen = out.size() - z.avail_out;
    if (outLen == out.size()) {
      if (!Push(std::move(out))) return false;
      out = TakeBlock(kStreamBlock);
      outLen = 0;
    }
    if (rc == Z_STREAM_END) {
      if (!Fill(2)) return false;
      std::size_t avail = inputLen_ - inputPos_;
      const unsigned char* p = input_.data() + inputPos_;
      if (avail >= 2 && p[0] == 0x1f && p[1] == 0x8b) {
        inflateReset(&z);
        memberStart_ = inputBase_ + inputPos_;
        ++memberNumber_;
        continue;
      }
      if (!ZeroTail()) return false;
      break;
    }
    if (rc == Z_BUF_ERROR && noInput && inputEof_) {
      FailTruncated();
      return false;
    }
    if (rc != Z_OK && rc != Z_BUF_ERROR) {
      FailAt(rc == Z_MEM_ERROR ? ReadFailure::kMemory : ReadFailure::kFormat, "is damaged");
      return false;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (stop_) return false;
  }
  out.resize(outLen);
  if (!out.empty() && !Push(std::move(out))) return false;
  return true;
}
#endif

// Only zero padding may follow the last member.
bool GzipReader::ZeroTail() {
  for (;;) {
    std::size_t avail = inputLen_ - inputPos_;
    if (!AllZero(input_.data() + inputPos_, avail)) {
      memberStart_ = inputBase_ + inputPos_;
      ++memberNumber_;
      FailAt(ReadFailure::kFormat, "is no gzip member (bytes after the last one)");
      return false;
    }
    inputPos_ = inputLen_;
    if (!Fill(64 * 1024)) return false;
    if (inputLen_ == inputPos_) return true;
  }
}

bool GzipReader::PassThrough() {
  for (;;) {
    if (inputPos_ == inputLen_ && !Fill(kStreamBlock)) return false;
    std::size_t avail = inputLen_ - inputPos_;
    if (avail == 0) return true;
    std::vector<unsigned char> block(input_.begin() + static_cast<std::ptrdiff_t>(inputPos_),
                                     input_.begin() + static_cast<std::ptrdiff_t>(inputLen_));
    inputPos_ = inputLen_;
    if (!Push(std::move(block))) return false;
  }
}

}  // namespace tar32

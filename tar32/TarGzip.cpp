// The gzip layer of the archiver stand-in: parallel member compression and
// read-ahead decompression (see TarGzip.h).
#include "TarGzip.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>

#include "platform/Platform.h"

#ifdef TALVER_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif
#ifdef TALVER_HAVE_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace tar32 {
namespace {

// Gzip member header with one extra subfield "SM" holding the member's
// total length: ID1 ID2 CM FLG(FEXTRA) MTIME(4) XFL OS XLEN(2) SI1 SI2 LEN(2) SIZE(4).
constexpr std::size_t kHeaderBytes = 20;
constexpr std::size_t kTrailerBytes = 8;
// Our members never hold more than kMemberBytes; a larger claim is read by streaming.
constexpr std::size_t kLargestWholeMember = 4u << 20;
constexpr std::size_t kSmallestWindow = 64 * 1024;
constexpr std::size_t kInputWindow = kLargestWholeMember + kSmallestWindow;
constexpr std::size_t kStreamBlock = 1u << 20;
constexpr std::size_t kFirstStreamBlock = 64u << 10;
constexpr std::size_t kReadAhead = 3;
constexpr std::size_t kSpareBlocks = 2;

void PutLe32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}
std::uint32_t GetLe32(const unsigned char* p) {
  return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
         static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

void PutHeader(unsigned char* h, std::uint32_t memberSize) {
  const unsigned char fixed[16] = {0x1f, 0x8b, 8, 4, 0, 0, 0, 0, 0, 3, 8, 0, 'S', 'M', 4, 0};
  std::memcpy(h, fixed, sizeof fixed);
  PutLe32(h + 16, memberSize);
}

// The total length of a member written by GzipWriter, or 0.
[[maybe_unused]] std::size_t OwnMemberSize(const unsigned char* p, std::size_t avail) {
  if (avail < kHeaderBytes || p[0] != 0x1f || p[1] != 0x8b || p[2] != 8) return 0;
  if ((p[3] & 4) == 0 || p[10] != 8 || p[11] != 0) return 0;
  if (p[12] != 'S' || p[13] != 'M' || p[14] != 4 || p[15] != 0) return 0;
  std::size_t size = GetLe32(p + 16);
  if (size < kHeaderBytes + kTrailerBytes || size > kLargestWholeMember) return 0;
  return size;
}

constexpr unsigned char kCountHeader[16] = {0x1f, 0x8b, 8,  4, 0,   0,   0,  0,
                                            0,    3,    20, 0, 'E', 'C', 16, 0};
// An empty deflate stream (one final fixed block), then CRC 0 and length 0.
constexpr unsigned char kEmptyBody[10] = {3, 0, 0, 0, 0, 0, 0, 0, 0, 0};

void PutLe64(unsigned char* p, std::uint64_t v) {
  PutLe32(p, static_cast<std::uint32_t>(v));
  PutLe32(p + 4, static_cast<std::uint32_t>(v >> 32));
}
std::uint64_t GetLe64(const unsigned char* p) {
  return GetLe32(p) | static_cast<std::uint64_t>(GetLe32(p + 4)) << 32;
}

bool AllZero(const unsigned char* p, std::size_t n) {
  return std::all_of(p, p + n, [](unsigned char c) { return c == 0; });
}

// One compressor per worker thread.
class Compressor {
 public:
  explicit Compressor(int level) {
#ifdef TALVER_HAVE_LIBDEFLATE
    c_ = libdeflate_alloc_compressor(level);
#else
    level_ = level;
#endif
  }
  ~Compressor() {
#ifdef TALVER_HAVE_LIBDEFLATE
    if (c_) libdeflate_free_compressor(c_);
#endif
  }
  bool ok() const {
#ifdef TALVER_HAVE_LIBDEFLATE
    return c_ != nullptr;
#else
    return true;
#endif
  }
  std::size_t Bound(std::size_t n) const {
#ifdef TALVER_HAVE_LIBDEFLATE
    return libdeflate_deflate_compress_bound(c_, n);
#else
    return compressBound(static_cast<uLong>(n)) + 64;
#endif
  }
  // True when the piece at `in` (of n bytes) is packed or compressed data,
  // which gains nothing from a thorough search for matches; always false
  // without ISA-L.
  bool Incompressible(const unsigned char* in, std::size_t n) {
#ifdef TALVER_HAVE_ISAL
    constexpr std::size_t kSample = 4 * 1024;
    if (n < kSample) return false;
    std::vector<unsigned char>& out = sampleOut_;
    out.resize(kSample + kSample / 8);
    std::size_t done = FastDeflate(in, kSample, out.data(), out.size());
    return done == 0 || done >= kSample - kSample / 20;
#else
    (void)in;
    (void)n;
    return false;
#endif
  }
  // Raw deflate; 0 on failure. An incompressible piece goes to ISA-L's
  // fastest level (libdeflate's size, ten times faster).
  std::size_t Deflate(const unsigned char* in, std::size_t n, unsigned char* out, std::size_t cap,
                      bool incompressible) {
#ifdef TALVER_HAVE_ISAL
    if (incompressible)
      if (std::size_t done = FastDeflate(in, n, out, cap)) return done;
#else
    (void)incompressible;
#endif
#ifdef TALVER_HAVE_LIBDEFLATE
    return libdeflate_deflate_compress(c_, in, n, out, cap);
#else
    z_stream z{};
    if (deflateInit2(&z, level_, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
    z.next_in = const_cast<unsigned char*>(in);
    z.avail_in = static_cast<uInt>(n);
    z.next_out = out;
    z.avail_out = static_cast<uInt>(cap);
    int rc = deflate(&z, Z_FINISH);
    std::size_t produced = cap - z.avail_out;
    deflateEnd(&z);
    return rc == Z_STREAM_END ? produced : 0;
#endif
  }
  static std::uint32_t Crc(const unsigned char* in, std::size_t n) {
#ifdef TALVER_HAVE_LIBDEFLATE
    return libdeflate_crc32(0, in, n);
#else
    return static_cast<std::uint32_t>(crc32(0, in, static_cast<uInt>(n)));
#endif
  }

 private:
#ifdef TALVER_HAVE_ISAL
  // ISA-L level 1; 0 when the output does not fit or the call fails.
  std::size_t FastDeflate(const unsigned char* in, std::size_t n, unsigned char* out,
                          std::size_t cap) {
    levelBuffer_.resize(ISAL_DEF_LVL1_DEFAULT);
    isal_zstream z;
    isal_deflate_stateless_init(&z);
    z.level = 1;
    z.level_buf = levelBuffer_.data();
    z.level_buf_size = static_cast<std::uint32_t>(levelBuffer_.size());
    z.next_in = const_cast<unsigned char*>(in);
    z.avail_in = static_cast<std::uint32_t>(n);
    z.next_out = out;
    z.avail_out = static_cast<std::uint32_t>(cap);
    z.end_of_stream = 1;
    z.flush = NO_FLUSH;
    return isal_deflate_stateless(&z) == COMP_OK ? z.total_out : 0;
  }
  std::vector<std::uint8_t> levelBuffer_;
  std::vector<unsigned char> sampleOut_;
#endif
#ifdef TALVER_HAVE_LIBDEFLATE
  libdeflate_compressor* c_ = nullptr;
#else
  int level_;
#endif
};

}  // namespace

void MakeCountRecord(std::uint32_t entries, std::uint64_t archiveLength, unsigned char* record) {
  std::memcpy(record, kCountHeader, sizeof kCountHeader);
  PutLe32(record + 16, entries);
  PutLe64(record + 20, archiveLength);
  PutLe32(record + 28, static_cast<std::uint32_t>(crc32(0, record + 16, 12)));
  std::memcpy(record + 32, kEmptyBody, sizeof kEmptyBody);
}

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

// ------------------------------------------------------------------ writer

struct GzipWriter::Slot {
  enum State { kFree, kQueued, kDone };
  std::vector<unsigned char> in;
  std::size_t inLen = 0;
  std::vector<unsigned char> out;
  std::size_t outLen = 0;
  State state = kFree;
  bool ok = true;
};

bool Worker::Start(std::function<void()> work) {
  work_ = std::move(work);
  thread_ = plat::CreateThread(&Worker::Run, this);
  return thread_ != nullptr;
}

void Worker::Run(void* self) { static_cast<Worker*>(self)->work_(); }

void Worker::Join() {
  if (!thread_) return;
  plat::WaitForSingleObject(thread_, INFINITE);
  plat::CloseHandle(thread_);
  thread_ = nullptr;
}

GzipWriter::GzipWriter(HANDLE out, int level, int threads)
    : out_(out), level_(level), threadCount_(std::max(1, threads)) {}

GzipWriter::~GzipWriter() { Abort(); }

bool GzipWriter::Start() {
  try {
    std::size_t count = static_cast<std::size_t>(threadCount_) * 2 + 1;
    for (std::size_t i = 0; i < count; ++i) {
      auto slot = std::make_unique<Slot>();
      slot->in.resize(kMemberBytes);
      slots_.push_back(std::move(slot));
    }
    for (int i = 0; i < threadCount_; ++i) {
      threads_.push_back(std::make_unique<tar32::Worker>());
      if (!threads_.back()->Start([this] { Work(); })) {
        Abort();
        return false;
      }
    }
  } catch (...) {
    Abort();
    return false;
  }
  return true;
}

namespace {

// Pieces of a block are told apart at this grain: a run of packed data
// inside a block of tables (a blob beside a table in the tar stream) is
// compressed apart from them, as its own member.
constexpr std::size_t kPieceBytes = 64 * 1024;

// The length of the run of pieces of one kind from `at`.
std::size_t RunOfOneKind(Compressor& compressor, const unsigned char* in, std::size_t n,
                         std::size_t at, bool* incompressible) {
  *incompressible = compressor.Incompressible(in + at, std::min(kPieceBytes, n - at));
  std::size_t end = std::min(n, at + kPieceBytes);
  while (end < n &&
         compressor.Incompressible(in + end, std::min(kPieceBytes, n - end)) == *incompressible)
    end = std::min(n, end + kPieceBytes);
  return end - at;
}

// Appends one whole gzip member of in[0, n) to out at *used.
bool AppendMember(Compressor& compressor, const unsigned char* in, std::size_t n,
                  bool incompressible, std::vector<unsigned char>* out, std::size_t* used) {
  try {
    std::size_t bound = compressor.Bound(n) + kHeaderBytes + kTrailerBytes;
    if (out->size() < *used + bound) out->resize(*used + bound);
  } catch (...) {
    return false;
  }
  unsigned char* o = out->data() + *used;
  std::size_t body = compressor.Deflate(
      in, n, o + kHeaderBytes, out->size() - *used - kHeaderBytes - kTrailerBytes, incompressible);
  if (body == 0) return false;
  std::size_t total = kHeaderBytes + body + kTrailerBytes;
  PutHeader(o, static_cast<std::uint32_t>(total));
  PutLe32(o + kHeaderBytes + body, Compressor::Crc(in, n));
  PutLe32(o + kHeaderBytes + body + 4, static_cast<std::uint32_t>(n));
  *used += total;
  return true;
}

// The block in[0, n) as one member per run of pieces of one kind, at out[0, *used).
bool CompressBlock(Compressor& compressor, const unsigned char* in, std::size_t n,
                   std::vector<unsigned char>* out, std::size_t* used) {
  *used = 0;
  for (std::size_t at = 0; at < n;) {
    bool incompressible = false;
    std::size_t run = RunOfOneKind(compressor, in, n, at, &incompressible);
    if (!AppendMember(compressor, in + at, run, incompressible, out, used)) return false;
    at += run;
  }
  return true;
}

}  // namespace

void GzipWriter::Work() {
  Compressor compressor(level_);
  for (;;) {
    Slot* slot = nullptr;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
      if (stopping_) return;
      slot = queue_.front();
      queue_.pop_front();
    }
    bool ok = compressor.ok() &&
              CompressBlock(compressor, slot->in.data(), slot->inLen, &slot->out, &slot->outLen);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      slot->ok = ok;
      slot->state = Slot::kDone;
    }
    done_.notify_all();
  }
}

bool GzipWriter::Submit() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    current_->state = Slot::kQueued;
    queue_.push_back(current_);
  }
  work_.notify_one();
  current_ = nullptr;
  ++nextSequence_;
  return true;
}

bool GzipWriter::Drain(Slot& slot) {
  {
    std::unique_lock<std::mutex> lock(mutex_);
    done_.wait(lock, [&] { return slot.state == Slot::kDone; });
  }
  slot.state = Slot::kFree;
  slot.inLen = 0;
  if (!slot.ok) {
    failed_ = true;
    return false;
  }
  return Put(slot.out.data(), slot.outLen);
}

bool GzipWriter::Put(const unsigned char* data, std::size_t size) {
  std::size_t done = 0;
  while (done < size) {
    DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size - done, 1u << 30));
    DWORD written = 0;
    if (!plat::WriteFile(out_, data + done, piece, &written) || written != piece) {
      writeError_ = plat::GetLastError();
      if (writeError_ == 0) writeError_ = ERROR_DISK_FULL;
      failed_ = true;
      return false;
    }
    done += piece;
  }
  bytesOut_ += size;
  return true;
}

bool GzipWriter::Write(const void* data, std::size_t size) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (size > 0) {
    if (failed_) return false;
    if (!current_) {
      Slot* next = slots_[nextSequence_ % slots_.size()].get();
      if (next->state != Slot::kFree && !Drain(*next)) return false;
      current_ = next;
      current_->inLen = 0;
    }
    std::size_t take = std::min(size, kMemberBytes - current_->inLen);
    std::memcpy(current_->in.data() + current_->inLen, p, take);
    current_->inLen += take;
    bytesIn_ += take;
    p += take;
    size -= take;
    if (current_->inLen == kMemberBytes) Submit();
  }
  return !failed_;
}

bool GzipWriter::Finish(std::uint32_t entries) {
  if (current_ && current_->inLen > 0) Submit();
  current_ = nullptr;
  std::size_t n = slots_.size();
  for (std::size_t k = 0; k < n && !failed_; ++k) {
    Slot& slot = *slots_[(nextSequence_ + k) % n];
    if (slot.state != Slot::kFree) Drain(slot);
  }
  if (!failed_) {
    unsigned char record[kCountRecordBytes];
    MakeCountRecord(entries, bytesOut_ + sizeof record, record);
    Put(record, sizeof record);
  }
  bool ok = !failed_;
  Abort();
  return ok;
}

void GzipWriter::Abort() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  work_.notify_all();
  for (auto& t : threads_) t->Join();
  threads_.clear();
}

// ------------------------------------------------------------------ reader

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

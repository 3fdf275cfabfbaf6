// The gzip layer of the archiver stand-in, writing: members compressed in
// parallel, each holding at most kMemberBytes (see TarGzip.h).
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

}  // namespace tar32

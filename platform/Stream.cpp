#include "platform/Stream.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/Platform.h"

namespace plat {

struct Stream {
  HANDLE file = nullptr;
  bool text = true;
  bool canRead = false;
  bool canWrite = false;
  bool append = false;
  bool eof = false;
  bool error = false;
  std::vector<char> out;  // pending bytes to write (already translated)
  std::vector<char> in;   // bytes read ahead
  std::size_t inPos = 0;
};

namespace {

constexpr std::size_t kBufferSize = 64 * 1024;

bool FlushOut(Stream* s) {
  if (s->out.empty()) return true;
  if (s->append) SetFilePointerEx(s->file, 0, FILE_END, nullptr);
  DWORD written = 0;
  bool ok = WriteFile(s->file, s->out.data(), static_cast<DWORD>(s->out.size()), &written) &&
            written == s->out.size();
  s->out.clear();
  if (!ok) s->error = true;
  return ok;
}

// Drops read-ahead bytes by moving the file position back over them.
void DropIn(Stream* s) {
  std::size_t unread = s->in.size() - s->inPos;
  if (unread > 0)
    SetFilePointerEx(s->file, -static_cast<std::int64_t>(unread), FILE_CURRENT, nullptr);
  s->in.clear();
  s->inPos = 0;
}

int RawGet(Stream* s) {
  if (s->inPos >= s->in.size()) {
    if (!FlushOut(s)) return EOF;
    s->in.resize(kBufferSize);
    DWORD got = 0;
    if (!ReadFile(s->file, s->in.data(), static_cast<DWORD>(s->in.size()), &got)) {
      s->in.clear();
      s->inPos = 0;
      s->error = true;
      return EOF;
    }
    s->in.resize(got);
    s->inPos = 0;
    if (got == 0) {
      s->eof = true;
      return EOF;
    }
  }
  return static_cast<unsigned char>(s->in[s->inPos++]);
}

int TextGet(Stream* s) {
  int c = RawGet(s);
  if (c == '\r' && s->text) {
    int next = RawGet(s);
    if (next == '\n') return '\n';
    if (next != EOF)
      --s->inPos;
    else
      s->eof = false;  // the CR itself is still a character
  }
  return c;
}

bool Put(Stream* s, const char* data, std::size_t n) {
  if (!s->canWrite) {
    s->error = true;
    return false;
  }
  if (!s->in.empty()) DropIn(s);
  for (std::size_t i = 0; i < n; ++i) {
    if (s->text && data[i] == '\n') s->out.push_back('\r');
    s->out.push_back(data[i]);
  }
  if (s->out.size() >= kBufferSize) return FlushOut(s);
  return !s->error;
}

}  // namespace

Stream* fsopen(const char* path, const char* mode, int share) {
  if (!mode || !*mode) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool plus = std::strchr(mode, '+') != nullptr;
  bool binary = std::strchr(mode, 'b') != nullptr;
  DWORD access = 0, disposition = 0;
  switch (mode[0]) {
    case 'r':
      access = GENERIC_READ | (plus ? GENERIC_WRITE : 0);
      disposition = OPEN_EXISTING;
      break;
    case 'w':
      access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
      disposition = CREATE_ALWAYS;
      break;
    case 'a':
      access = GENERIC_WRITE | (plus ? GENERIC_READ : 0);
      disposition = OPEN_ALWAYS;
      break;
    default:
      SetLastError(ERROR_INVALID_PARAMETER);
      return nullptr;
  }
  DWORD shareFlags = share == SH_DENYRW   ? 0
                     : share == SH_DENYWR ? FILE_SHARE_READ
                     : share == SH_DENYRD ? FILE_SHARE_WRITE
                                          : FILE_SHARE_READ | FILE_SHARE_WRITE;
  HANDLE h = CreateFile(path, access, shareFlags, disposition, 0);
  if (!h) return nullptr;
  auto* s = new Stream;
  s->file = h;
  s->text = !binary;
  s->canRead = (access & GENERIC_READ) != 0;
  s->canWrite = (access & GENERIC_WRITE) != 0;
  s->append = mode[0] == 'a';
  return s;
}

Stream* fopen(const char* path, const char* mode) { return fsopen(path, mode, SH_DENYNO); }

int fclose(Stream* s) {
  if (!s) return EOF;
  bool ok = FlushOut(s);
  ok = CloseHandle(s->file) && ok;
  delete s;
  return ok ? 0 : EOF;
}

std::size_t fread(void* buffer, std::size_t size, std::size_t count, Stream* s) {
  if (!s || size == 0 || count == 0) return 0;
  if (!s->canRead) {
    s->error = true;
    return 0;
  }
  std::size_t want = size * count;
  auto* p = static_cast<char*>(buffer);
  std::size_t got = 0;
  if (!s->text) {
    std::size_t buffered = s->in.size() - s->inPos;
    std::size_t take = buffered < want ? buffered : want;
    if (take > 0) std::memcpy(p, s->in.data() + s->inPos, take);
    s->inPos += take;
    got = take;
    if (got < want) {
      if (!FlushOut(s)) return got / size;
      DWORD n = 0;
      if (!ReadFile(s->file, p + got, static_cast<DWORD>(want - got), &n)) s->error = true;
      got += n;
      if (got < want && !s->error) s->eof = true;
    }
    return got / size;
  }
  while (got < want) {
    int c = TextGet(s);
    if (c == EOF) break;
    p[got++] = static_cast<char>(c);
  }
  return got / size;
}

std::size_t fwrite(const void* buffer, std::size_t size, std::size_t count, Stream* s) {
  if (!s || size == 0 || count == 0) return 0;
  return Put(s, static_cast<const char*>(buffer), size * count) ? count : 0;
}

char* fgets(char* buffer, int size, Stream* s) {
  if (!s || size <= 0) return nullptr;
  int n = 0;
  while (n < size - 1) {
    int c = TextGet(s);
    if (c == EOF) break;
    buffer[n++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  buffer[n] = '\0';
  return n == 0 ? nullptr : buffer;
}

int fgetc(Stream* s) { return s ? TextGet(s) : EOF; }

int fputs(const char* text, Stream* s) {
  if (!s || !text) return EOF;
  return Put(s, text, std::strlen(text)) ? 0 : EOF;
}

int fprintf(Stream* s, const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0 || static_cast<std::size_t>(n) >= sizeof buffer) {
    if (s) s->error = true;
    return -1;
  }
  return fputs(buffer, s) == 0 ? n : -1;
}

int fseek(Stream* s, long offset, int origin) {
  if (!s) return -1;
  if (!FlushOut(s)) return -1;
  DropIn(s);
  DWORD method = origin == SEEK_SET ? FILE_BEGIN : origin == SEEK_CUR ? FILE_CURRENT : FILE_END;
  if (!SetFilePointerEx(s->file, offset, method, nullptr)) return -1;
  s->eof = false;
  return 0;
}

long ftell(Stream* s) {
  if (!s) return -1;
  std::uint64_t pos = 0;
  if (!SetFilePointerEx(s->file, 0, FILE_CURRENT, &pos)) return -1;
  return static_cast<long>(pos + s->out.size()) - static_cast<long>(s->in.size() - s->inPos);
}

int feof(Stream* s) { return s && s->eof ? 1 : 0; }
int ferror(Stream* s) { return s && s->error ? 1 : 0; }
int fflush(Stream* s) { return s && FlushOut(s) ? 0 : EOF; }

}  // namespace plat

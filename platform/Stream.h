// Buffered C-style streams over platform file handles, with the system's text
// mode: in a text stream "\n" is written as CR LF and CR LF reads back as "\n".
#pragma once

#include <cstdarg>
#include <cstdint>

#include "platform/WinTypes.h"

namespace plat {

struct Stream;

// Sharing modes of fsopen.
constexpr int SH_DENYRW = 0x10;
constexpr int SH_DENYWR = 0x20;
constexpr int SH_DENYRD = 0x30;
constexpr int SH_DENYNO = 0x40;

// mode as fopen: "r", "w", "a", optionally "+", and "b" (binary) or "t" (text,
// the default). Returns null with the last error set.
Stream* fsopen(const char* path, const char* mode, int share);
Stream* fopen(const char* path, const char* mode);
// 0 on success, EOF (-1) when flushing or closing failed.
int fclose(Stream* stream);
std::size_t fread(void* buffer, std::size_t size, std::size_t count, Stream* stream);
std::size_t fwrite(const void* buffer, std::size_t size, std::size_t count, Stream* stream);
// Reads at most size-1 characters up to and including "\n"; null at the end.
char* fgets(char* buffer, int size, Stream* stream);
int fgetc(Stream* stream);
int fputs(const char* text, Stream* stream);
// Formats into a bounded buffer first; returns -1 (writing nothing) when the
// text would not fit 4096 characters.
int fprintf(Stream* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));
int fseek(Stream* stream, long offset, int origin);
long ftell(Stream* stream);
int feof(Stream* stream);
int ferror(Stream* stream);
int fflush(Stream* stream);

}  // namespace plat

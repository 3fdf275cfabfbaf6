// Bounded formatting: a text that does not fit its buffer is a failure, never
// a silently shortened path.
#pragma once

#include <cstddef>

// Formats into buffer; false (with an empty buffer) when the text would not
// fit size characters including the terminating zero.
bool FormatBounded(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

// Copies text whole or fails (empty buffer) when it would not fit.
bool CopyBounded(char* buffer, std::size_t size, const char* text);

#define FORMAT_PATH(buffer, ...) FormatBounded((buffer), sizeof(buffer), __VA_ARGS__)

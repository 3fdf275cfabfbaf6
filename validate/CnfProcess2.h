// The config4 record of an SVP or a medium, its reads, the check that a
// further volume continues the previous one, and the version texts that the
// flows put into their audit records.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/WinTypes.h"

// Little-endian fields stored as bytes: the record has no padding and no
// alignment of its own, so a field can be read, written and bound to a
// reference wherever the record lies.
struct LeWord {
  BYTE b[2];
  constexpr operator WORD() const { return static_cast<WORD>(b[0] | b[1] << 8); }
  constexpr LeWord& operator=(WORD v) {
    b[0] = static_cast<BYTE>(v);
    b[1] = static_cast<BYTE>(v >> 8);
    return *this;
  }
};
struct LeDword {
  BYTE b[4];
  constexpr operator DWORD() const {
    return static_cast<DWORD>(b[0]) | static_cast<DWORD>(b[1]) << 8 |
           static_cast<DWORD>(b[2]) << 16 | static_cast<DWORD>(b[3]) << 24;
  }
  constexpr LeDword& operator=(DWORD v) {
    for (int i = 0; i < 4; ++i) b[i] = static_cast<BYTE>(v >> (8 * i));
    return *this;
  }
};

// The 32-byte config4 record, little-endian, exactly as every config4 file
// stores it. Bytes 0..9 and 26..31 are carried unchanged from the SVP's own
// record; the fields at 12..25 mean something on media only.
struct Config4Record {
  BYTE head[10];            // not interpreted
  LeWord Config4TypeWord;   // configuration type; 0xFFFF: no type
  BYTE volumeCount;         // media the archive is split over; 0xFF: no volume information
  BYTE volumeNumber;        // 0 for the first medium
  LeDword serialNumber;     // serial number of the SVP that wrote the medium
  LeDword archiveTimeHigh;  // last-write time of the archive, high 32 bits
  LeDword archiveTimeLow;   // and low 32 bits
  BYTE tail[6];             // not interpreted
};

static_assert(sizeof(Config4Record) == 32, "a config4 record is 32 bytes");
static_assert(alignof(Config4Record) == 1);
static_assert(offsetof(Config4Record, Config4TypeWord) == 10);
static_assert(offsetof(Config4Record, volumeCount) == 12);
static_assert(offsetof(Config4Record, volumeNumber) == 13);
static_assert(offsetof(Config4Record, serialNumber) == 14);
static_assert(offsetof(Config4Record, archiveTimeHigh) == 18);
static_assert(offsetof(Config4Record, archiveTimeLow) == 22);
static_assert(offsetof(Config4Record, tail) == 26);

constexpr WORD kConfig4NoType = 0xFFFF;
constexpr BYTE kConfig4NoVolumeInfo = 0xFF;

// ReadConfig4Record and ReadConfig4File read a config4 into a 32-byte
// buffer; a Config4Record is handed over as reinterpret_cast<BYTE*>(&record).
// ReadConfig4Record (what talver_ReadConfig4 does) refreshes the root path
// and succeeds when the read call does: a shorter file leaves the rest of the
// buffer as it was.
int ReadConfig4Record(const char* fileName, BYTE* record32);
// config4 of a path: 0x2000 when the path does not exist or cannot be read.
int ReadConfig4File(const char* path, BYTE* record32, WORD* resultWord);

// 1 when the new volume continues the previous one: next volume number, the
// same archive time, the same serial number or the default one. Otherwise
// result word 0x4103.
int CheckNextVolume(const Config4Record* previous, const Config4Record* next, WORD* resultWord);

// ---- version texts --------------------------------------------------------
// Eleven characters "XX-XX-XX/XX" and a terminating zero; "----" when never
// read. Callers keep them in buffers of at least kVersionTextSize bytes.
constexpr std::size_t kVersionTextSize = 12;
constexpr char kIdleVersionText[] = "----";

void ResetVersionText(char* text, std::size_t size);
// The text of eight version digits c ("01020360" -> "01-02-03/60") into text
// (kVersionTextSize bytes): what CONFIG.INF holds at 8..15 of its first line,
// a DKCF at kDkcfVersionOffset.
void BuildVersionText(const char* c, char* text);
// The version of a CONFIG.INF: characters 8..15 of its first line. 0 (text
// left empty) when the file cannot be opened or read.
int ReadVersionText(const char* path, char* text, std::size_t size);
// The version of a table container file (a DKCF): its bytes 6484..6491.
int ReadContainerVersionText(const char* path, char* text, std::size_t size);

// Size of the DKCF table file and where the identity checks find their
// fields in it.
constexpr std::size_t kDkcfSize = 13088;
constexpr std::size_t kDkcfSerialOffset = 16;
constexpr std::size_t kDkcfVersionOffset = 6484;
constexpr std::size_t kDkcfTypeOffset = 6490;

// Whole files on media and the pieces of a split archive.
#pragma once

#include "platform/WinTypes.h"

// Size of the pieces a backup archive is cut into for floppy disks.
constexpr DWORD kArchivePieceBytes = 1400000;

// Creates (or replaces) the file with exactly count bytes of buffer.
// Nonzero only when every byte was written.
int Talver_WriteWholeFile(const char* path, const void* buffer, DWORD count);
// Reads up to count bytes of an existing file into buffer, the number read
// into *read. Nonzero when the read succeeded.
int Talver_ReadWholeFile(const char* path, void* buffer, DWORD count, DWORD* read);
// Cuts the archive into RootPath\plaxon\tmp\svp_conf.0, .1, ... of pieceSize
// bytes each (the last one shorter); the number written into *pieceCount.
// An empty archive gives no piece. 1, or 0 with the result word 0x2000.
int Talver_SplitArchive(const char* archivePath, DWORD pieceSize, WORD* pieceCount,
                        WORD* resultWord);
// Joins directory + svp_conf.0 .. svp_conf.(count-1) into directory +
// svp_conf.tgz (directory ends with a backslash), deleting each piece once it
// is appended. 1, or 0 with the result word 0x2000.
int Talver_JoinArchive(const char* directory, WORD count, WORD* resultWord);
// Appends the file `piece` (a further volume) to the archive at
// `archivePath` in place: the bytes already there are not copied again.
// While it goes in the archive carries a temporary's name, so a kill leaves
// no longer archive under its name; a failed append leaves the archive as
// it was. 1, or 0 with the result word 0x2000.
int Talver_AppendToArchive(const char* archivePath, const char* piece, WORD* resultWord);

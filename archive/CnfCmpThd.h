// Archiver command lines, list files and the archive job.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

// One argument of an archiver command line: "@" and a list path, or a path.
// The archiver splits its command line at blanks, so an argument that holds a
// blank is enclosed in double quotes; otherwise it stands as it is. A double
// quote cannot be passed at all (false).
using CommandArgument = char[MAX_PATH + 3];
bool FormatArgument(CommandArgument& out, const char* prefix, const char* path);

int CompressCommand(std::int16_t mode, std::int16_t display, const char* archivePath,
                    const char* directory);
// The archive job (worker procedure; the argument is a CompressRequest).
void Talver_CompressThread(void* request);
// Writes the names of the archive's entries that contain one of the
// (upper-case) patterns into \PLAXON\TMP\cnflist; the line count or -1.
int Talver_MakeExtractList(const char* archivePath, const char* const* patterns,
                           std::int16_t count);
// The entries of the four identity files ("CONFIG/DKCPRP.DAT" ...), as the
// check-file extraction looks for them.
const char* const* CheckFileEntries(int* count);
// Unpacks the four identity files into \PLAXON\TMP\ and deletes them again.
int Talver_ExtractCheckFiles(const char* archivePath);
void Talver_DeleteCheckFiles();

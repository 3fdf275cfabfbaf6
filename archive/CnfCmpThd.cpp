// Archive commands: the archiver command lines, the extract list, the
// check-file extraction and the archive job that runs on a worker thread.
#include "CnfCmpThd.h"

#include <cctype>
#include <cstring>

#include "common/CnfFunc.h"
#include "common/CompressRequest.h"
#include "common/Format.h"
#include "common/Globals.h"
#include "common/Trace.h"
#include "platform/Stream.h"
#include "svpsvc/SvpServices.h"
#include "tar32/Tar32.h"

TALVER_SOURCE("CnfCmpThd")

namespace {

constexpr char kBackupListPath[] = "\\PLAXON\\TMP\\cnfbaklist";
constexpr char kExtractListPath[] = "\\PLAXON\\TMP\\cnflist";
constexpr char kStaleInnerArchive[] = "PLAXON\\CONFIG\\svp_conf.tgz";
constexpr DWORD kOpenArchiveMode = 0x200;
constexpr DWORD kTarOutputSize = 256;
// Length of "CONFIG/", the prefix of every check-file entry.
constexpr std::size_t kConfigPrefixLength = 7;

// The four identity files that the checks of an archive read.
const char* const CheckFileTable[] = {"CONFIG/DKCPRP.DAT", "CONFIG/CONFIG.INF", "CONFIG/LMCPT.DAT",
                                      "CONFIG/SVP_MAIN.INI"};
constexpr std::int16_t kCheckFileCount = 4;

int RunTar(const char* commandLine) {
  char output[kTarOutputSize];
  return Tar(0, commandLine, output, kTarOutputSize);
}

// The upper-case form of an entry name (the system's 8-bit code page).
void UpperCase(const char* name, char* out, std::size_t size) {
  std::size_t i = 0;
  for (; name[i] && i + 1 < size; ++i)
    out[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
  out[i] = '\0';
}

}  // namespace

bool FormatArgument(CommandArgument& out, const char* prefix, const char* path) {
  char text[MAX_PATH + 1];
  if (!FORMAT_PATH(text, "%s%s", prefix, path) || std::strchr(text, '"')) return false;
  if (!std::strpbrk(text, " \t")) return CopyBounded(out, sizeof out, text);
  return FORMAT_PATH(out, "\"%s\"", text);
}

int CompressCommand(std::int16_t mode, std::int16_t display, const char* archivePath,
                    const char* directory) {
  if (mode != kArchiveExtractAll && mode != kArchiveCreate) {
    TRACE_CODE(static_cast<std::int32_t>(mode));
    return 0;
  }
  CommandArgument archive, target, list;
  if (!FormatArgument(archive, "", archivePath) || !FormatArgument(target, "", directory)) {
    TRACE_TEXT("ERR CompressCommand(path)");
    return 0;
  }
  char commandLine[1024];
  bool formatted = false;
  if (mode == kArchiveCreate) {
    char staleArchive[MAX_PATH];
    DeleteFileForced(archivePath);
    if (FORMAT_PATH(staleArchive, "%s\\%s", RootPath, kStaleInnerArchive))
      DeleteFileForced(staleArchive);
    if (!WriteBackupListFile()) {
      TRACE_CODE(1);
      return 0;
    }
    char listPath[MAX_PATH];
    formatted = FORMAT_PATH(listPath, "%s%s", RootPath, kBackupListPath) &&
                FormatArgument(list, "@", listPath) &&
                FORMAT_PATH(commandLine, "--display-dialog=%d cvfZ %s %s %s", display, archive,
                            target, list);
  } else {
    formatted =
        FORMAT_PATH(commandLine, "--display-dialog=%d xvfo %s %s *.*", display, archive, target);
  }
  if (!formatted) {
    TRACE_TEXT("ERR CompressCommand(path)");
    return 0;
  }
  int code = RunTar(commandLine);
  if (code != 0) {
    TRACE_CODE(code);
    return 0;
  }
  return 1;
}

void Talver_CompressThread(void* param) {
  auto* request = static_cast<CompressRequest*>(param);
  CompressThreadState = 0;
  std::int16_t display = 0;
  // Every way out of a job that set the archiver's owner window clears it:
  // a later job must never report its progress to a dialog that has gone.
  auto finish = [&display](std::int32_t state) {
    if (display == 1) TarClearOwnerWindow();
    CompressThreadState = state;
  };
  if (request->displayFlag == 1) {
    if (!TarSetOwnerWindow(request->dialogWindow)) {
      TRACE_TEXT("ERR TarSetOwnerWindow");
      finish(-1);
      return;
    }
    display = 1;
  }
  if (request->mode == kArchiveExtractAll) CopyIntDataFiles(request->directory);
  if (!CompressCommand(request->mode, display, request->archivePath, request->directory)) {
    TRACE_TEXT("ERR CompressCommand");
    finish(-1);
    return;
  }
  if (request->mode == kArchiveExtractAll) {
    char unpacked[MAX_PATH];
    WORD error = 0;
    if (!FORMAT_PATH(unpacked, "%s%s", request->directory, "CONFIG\\")) {
      TRACE_TEXT("ERR Talver_CompressThread(path)");
      finish(-1);
      return;
    }
    if (!dsvp_ApiDirOperation(1, unpacked, 0, &error)) {
      TRACE_WORD(error);
      finish(-1);
      return;
    }
  }
  finish(1);
}

int Talver_MakeExtractList(const char* archivePath, const char* const* patterns,
                           std::int16_t count) {
  HARC archive = TarOpenArchive(0, archivePath, kOpenArchiveMode);
  if (!archive) {
    TRACE_TEXT("ERR TarOpenArchive");
    return -1;
  }
  char listPath[MAX_PATH];
  plat::Stream* stream = nullptr;
  if (FORMAT_PATH(listPath, "%s%s", RootPath, kExtractListPath))
    stream = OpenGuardedStream(listPath, "w", plat::SH_DENYNO);
  if (!stream) {
    TRACE_TEXT("ERR fopen");
    TarCloseArchive(archive);
    return -1;
  }
  TarEntryRecord entry;
  std::memset(&entry, 0, sizeof entry);
  TarFindFirst(archive, "*.*", &entry);
  int lines = 0;
  do {
    char upper[sizeof entry.fileName];
    UpperCase(entry.fileName, upper, sizeof upper);
    // No stop after the first match: a name with two patterns is written twice.
    for (std::int16_t i = 0; i < count; ++i) {
      if (std::strstr(upper, patterns[i])) {
        plat::fprintf(stream, "%s\n", entry.fileName);
        ++lines;
      }
    }
  } while (TarFindNext(archive, &entry) == 0);
  bool writeFailed = plat::ferror(stream) != 0;
  int closed = plat::fclose(stream);
  exf_EndOpen(closed, stream, -1);
  TarCloseArchive(archive);
  // A list that did not reach the disk whole would unpack fewer files than counted.
  if (writeFailed || closed != 0) {
    TRACE_TEXT("ERR fwrite");
    return -1;
  }
  return lines;
}

const char* const* CheckFileEntries(int* count) {
  if (count) *count = kCheckFileCount;
  return CheckFileTable;
}

int Talver_ExtractCheckFiles(const char* archivePath) {
  if (!TalVer_FindFile(archivePath, 1)) {
    TRACE_TEXT("ERR File");
    return 0;
  }
  int lines = Talver_MakeExtractList(archivePath, CheckFileTable, kCheckFileCount);
  if (lines < kCheckFileCount) {
    TRACE_CODE(lines);
    return 0;
  }
  char commandLine[1024];
  char targetPath[MAX_PATH];
  char listPath[MAX_PATH];
  CommandArgument archive, target, list;
  if (!FORMAT_PATH(targetPath, "%s\\plaxon\\tmp\\", RootPath) ||
      !FORMAT_PATH(listPath, "%s%s", RootPath, kExtractListPath) ||
      !FormatArgument(archive, "", archivePath) || !FormatArgument(target, "", targetPath) ||
      !FormatArgument(list, "@", listPath) ||
      !FORMAT_PATH(commandLine, "--display-dialog=0 --use-directory=0 xvfo %s %s %s", archive,
                   target, list)) {
    TRACE_TEXT("ERR Talver_ExtractCheckFiles(path)");
    return 0;
  }
  int code = RunTar(commandLine);
  if (code != 0) {
    TRACE_CODE(code);
    return 0;
  }
  return 1;
}

void Talver_DeleteCheckFiles() {
  for (const char* name : CheckFileTable) {
    char path[MAX_PATH];
    if (FORMAT_PATH(path, "%s\\PLAXON\\TMP\\%s", RootPath, name + kConfigPrefixLength))
      DeleteFileForced(path);
  }
}

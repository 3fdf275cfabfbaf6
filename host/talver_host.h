// The host API: what a program that loads libtalver on this machine uses to
// give the library its world and its operator, beside the exports.
#pragma once

#include <cstddef>
#include <cstdint>

#include "exports/Exports.h"

namespace plat {
class Operator;
}

// TalverHost_LoadWorld (which installs the POSIX platform over the world),
// TalverHost_HasWorld and TalverHost_Version are declared with the exports in
// the public header, for C callers too.
// The operator that answers message boxes and dialogs (not owned; null
// restores the host's own: the answers of TalverHost_SetAnswer and the asker
// of TalverHost_SetAsker, which refuses whatever they do not answer).
TALVER_EXPORT void TalverHost_SetOperator(plat::Operator* op);
// The bytes the library has written to files in this process so far.
TALVER_EXPORT unsigned long long TalverHost_BytesWritten(void);
// Echo trace lines to stderr as well.
TALVER_EXPORT void TalverHost_SetTraceEcho(int on);
// Keeps the trace lines that this process writes from now on, dropping any
// kept before; TalverHost_TakeTrace hands the kept lines, oldest first, to
// `line` and forgets them.
TALVER_EXPORT void TalverHost_StartTraceCapture(void);
TALVER_EXPORT void TalverHost_TakeTrace(void (*line)(const char* text, void* context),
                                        void* context);
// Host paths of the world's trace and audit files, and of a system path.
TALVER_EXPORT int TalverHost_TraceFile(char* out, std::size_t size);
TALVER_EXPORT int TalverHost_ResolvePath(const char* systemPath, char* out, std::size_t size);
// What a system path names as the system's own calls see it: 0 nothing,
// 1 a file, 2 a folder, 3 a link (never what it points at).
TALVER_EXPORT int TalverHost_PathKind(const char* systemPath);
// A setting of the world ("section.key"), or the fallback.
TALVER_EXPORT int TalverHost_Setting(const char* key, const char* fallback, char* out,
                                     std::size_t size);
// Checks a world file without loading it: hands each problem ("svp.ini:12:
// unknown section [drve.C]") to `problem` and returns how many there were.
TALVER_EXPORT int TalverHost_CheckWorld(const char* iniPath,
                                        void (*problem)(const char* text, void* context),
                                        void* context);
// The keys a world file may hold, one by one: section, key, the values it
// takes in words and what it means; 0 past the last.
TALVER_EXPORT int TalverHost_WorldKey(int index, const char** section, const char** key,
                                      char* allowed, std::size_t allowedSize, const char** meaning);
// The software root of the loaded world ("C:").
TALVER_EXPORT int TalverHost_Root(char* out, std::size_t size);
// The loaded world's audit file (host path), and its records one by one:
// index 0 is the oldest; 0 when there is no such record (or no file).
TALVER_EXPORT int TalverHost_AuditFile(char* out, std::size_t size);
TALVER_EXPORT int TalverHost_AuditRecord(int index, unsigned* number, char* operation,
                                         std::size_t operationSize, char* outcome,
                                         std::size_t outcomeSize, char* detail,
                                         std::size_t detailSize);
// The time the record of that index holds, as the audit file writes it.
TALVER_EXPORT int TalverHost_AuditRecordTime(int index, char* time, std::size_t timeSize);
// Where a world is looked for when none is named: the default world folder
// ($XDG_DATA_HOME/talver/world, else ~/.local/share/talver/world), and the
// world file TalverHost_LoadWorld takes for a null (or empty) path:
// $TALVER_WORLD, else svp.ini in that folder. 0 when the path does not fit.
TALVER_EXPORT int TalverHost_DefaultWorldFolder(char* out, std::size_t size);
TALVER_EXPORT int TalverHost_DefaultWorldFile(char* out, std::size_t size);

// --- backup files (svpconf gpfm) ------------------------------------------
// Installs a world without drives, in which every path is a host path, and
// writes no trace file (trace lines reach stderr with TalverHost_SetTraceEcho).
TALVER_EXPORT int TalverHost_UseHostFiles(void);
// Runs the backup-file reader: every present table of gpfmPath becomes
// "<lz4Dir>\<table>.lz4". 1 when all were checked and written.
TALVER_EXPORT int TalverHost_GpfmExtract(const char* gpfmPath, const char* lz4Dir);
// What the reader's walk of a backup file meets, in file order (svpconf gpfm
// inspect). Tables count from 0, segments from 1; a padding byte follows a
// segment of odd length.
class TalverHostGpfmView {
 public:
  virtual ~TalverHostGpfmView() = default;
  virtual void File(std::uint64_t size) = 0;
  virtual void Target(std::uint32_t targetCfm) = 0;
  virtual void Directory(int cfm, std::uint64_t offset, std::uint32_t valid) = 0;
  virtual void Table(int table, int segments, std::uint64_t bytes) = 0;
  virtual void Segment(int table, int segment, std::uint64_t offset, std::uint32_t bytes,
                       std::uint32_t storedSum, std::uint32_t computedSum) = 0;
};
// Walks gpfmPath with the reader (its checks and trace lines, nothing
// written), showing view what it meets; after a sum that differs it reads on
// to the end. 1 when the reader accepts the file; 0 with the reader's first
// failure, as traced, in why.
TALVER_EXPORT int TalverHost_GpfmInspect(const char* gpfmPath, TalverHostGpfmView& view, char* why,
                                         std::size_t whySize);
// Runs the table conversion: every file of lz4Dir becomes a table file in
// tablesDir. withDialog 1: under the progress dialog (CompressDialog2, mode
// 10), whose bar counts the files of the world's \PLAXON\TMP\LZ4\; 0: the
// worker on the calling thread without a dialog. 1 when every file was
// converted.
// A table 63 for a sample backup file: the DKCF with this serial number and
// version ("02030460": the type is its last two characters), then the CFREV.
// Its size, or 0 when the values or the buffer do not do (13,120 bytes).
TALVER_EXPORT std::size_t TalverHost_SampleTable63(unsigned long serial, const char* version,
                                                   unsigned char* out, std::size_t size);
TALVER_EXPORT int TalverHost_GpfmConvert(const char* lz4Dir, const char* tablesDir, int withDialog);
// Runs two sample dialogs with the registered operator: a progress dialog
// whose worker takes `steps` steps, pauseMs apart, then the confirmation
// dialog showing message messageId. The confirmation's result (1 OK, 2
// cancelled), or the progress dialog's when it did not end with 1.
TALVER_EXPORT int TalverHost_ShowSampleDialogs(int steps, unsigned pauseMs, int messageId);

// --- drives and media (svpconf drives, svpconf select-media) -------------------
// The SVP's drives that the media dialog offers for a drive class (1 install,
// 2 backup, 3 install from CD-R), as "C: D: E:", and the client PC's drive
// letters as "E C". The result of the client-PC enumeration (1, or 0 when the
// network enumeration failed).
TALVER_EXPORT int TalverHost_DriveLists(int driveClass, char* svpDrives, std::size_t svpSize,
                                        char* clientDrives, std::size_t clientSize);

// What a media selection starts from and ends with.
struct TalverHostMediaSelection {
  // Inputs: the model texts the flows take from the model table, and the
  // selection purpose the restore flow sets (4: a software medium).
  char modelNumberText[5];
  char sizeCodeText[16];
  unsigned selectionPurpose;
  // Input for a further volume, then the drive chosen.
  char drivePath[260];
  char archivePath[260];
  unsigned mediaKind;     // 0 none, 1 backup, 2 key-code or flat, 3 software
  unsigned typeWord;      // config4: configuration type
  unsigned volumeCount;   // config4: volume count
  unsigned volumeNumber;  // config4: volume number
  char typeHexText[3];    // the type text of software media ("xx" unread)
  unsigned resultWord;
};
// Runs the media selection for a request kind (1, 5, 6, 7, 8, 9) with its
// prompt; volumeNumber n > 0 asks for volume n+1 in drivePath (given in
// *selection). The selection's result.
TALVER_EXPORT int TalverHost_SelectMedia(int requestKind, int volumeNumber,
                                         TalverHostMediaSelection* selection);

// --- restore from a backup file (svpconf restore-gpfm) ----------------------
// Where a restore from a backup file leaves its table files (the system path
// of \PLAXON\TMP\TABLES\), the version of the DKCF there and that of the
// SVP's CONFIG.INF; a version that cannot be read is "----". 0 without a
// world or when a text does not fit.
// The system path of the newest valid HDD backup's folder
// ("C:\plaxon\others\backup\20261208035500"), by the scan the retention
// uses: after a backup under the flow's hold, the one it made. 0 without a
// world, a backup root or a valid backup.
TALVER_EXPORT int TalverHost_NewestBackup(char* folder, std::size_t size);
TALVER_EXPORT int TalverHost_RestoredTables(char* tablesDir, std::size_t tablesSize,
                                            char* newVersion, std::size_t newSize, char* oldVersion,
                                            std::size_t oldSize);

// --- result words in words (svpconf, after a failure) ------------------------
// What a result word told the operator ("message 3193: " and the catalogue
// text, inserts read "?"; for a cancel "cancelled by the operator (no
// message)") and what the operator does about it. 1 when both fit their
// buffers; 0 (both emptied) when a buffer is missing or too small, or the
// word has more than 16 bits. docs/result-words.md is the table of them.
TALVER_EXPORT int TalverHost_ExplainWord(unsigned word, char* what, std::size_t whatSize,
                                         char* todo, std::size_t todoSize);

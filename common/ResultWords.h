// The result words the system sets: what a failing operation leaves for
// its caller, and what names the message the operator sees (ResultMessageOf,
// common/Trace.cpp). Callers and stored traces rely on the values; the
// trace prints them as numbers. docs/result-words.md is their table.
#pragma once

#include "platform/WinTypes.h"

// A failure without a more precise word (no memory, a file missing, a path
// too long, a dialog that failed, an unexpected value).
constexpr WORD kWordFailure = 0x2000;
// The medium is not ready (the drive's free-space query failed with 21).
constexpr WORD kWordMediumNotReady = 0x2001;
// The medium cannot be used.
constexpr WORD kWordMediumUnusable = 0x2004;
constexpr WORD kWordWriteProtected = 0x2005;
// The medium is not a configuration disk.
constexpr WORD kWordNotConfigurationDisk = 0x2007;
// The drive's free-space query failed for another reason.
constexpr WORD kWordDriveQueryFailed = 0x2012;

constexpr WORD kWordCancelled = 0x4000;
// The medium carries no config4 record (a blank backup disk).
constexpr WORD kWordNoConfig4 = 0x4001;
constexpr WORD kWordPcmTypeMismatch = 0x4002;
// A step of a flow failed (copy, archive, conversion, file creation), or
// another flow held the configuration.
constexpr WORD kWordStepFailed = 0x4004;
// The configuration could not be processed.
constexpr WORD kWordNotProcessed = 0x4006;
constexpr WORD kWordSerialMismatch = 0x4009;
// The configuration type (CONFIG.INF) differs.
constexpr WORD kWordConfigTypeMismatch = 0x400A;
// Wrong medium or wrong SVP type: the content does not fit the request.
constexpr WORD kWordWrongMedium = 0x400B;
constexpr WORD kWordMediumUnreadable = 0x400C;
constexpr WORD kWordMediumUnwritable = 0x400D;
// The configuration of a backup file was not restored (shown, never stored).
constexpr WORD kWordBackupFileNotRestored = 0x400E;
// The configuration could not be checked.
constexpr WORD kWordNotChecked = 0x400F;
constexpr WORD kWordModelMismatch = 0x4010;
// A serial number is the default one, so the backup's cannot be compared.
constexpr WORD kWordDefaultSerial = 0x4011;

// The inserted disk does not continue the previous one (or was already
// written in this backup); the message's insert is the disk needed.
constexpr WORD kWordWrongDisk = 0x4103;
// Insert the next volume (the message's insert is its number).
constexpr WORD kWordInsertVolume = 0x4104;
// The medium's kind does not fit the setup request (a software medium).
constexpr WORD kWordWrongMediumKind = 0x4105;
// The archive is larger than a floppy disk: split it?
constexpr WORD kWordLargerThanFloppy = 0x4106;
// Not enough free space on the medium, or too many disks needed.
constexpr WORD kWordNoRoom = 0x4107;

// Result words in words: what the operator was told (the system's own
// message of the word and its catalogue text) and what to do about it. The
// table of actions below is the one place they are written; the table of
// docs/result-words.md is checked against it.
#include <cstdio>
#include <string>

#include "common/Format.h"
#include "common/ResultWords.h"
#include "common/Trace.h"
#include "host/talver_host.h"
#include "svpsvc/SvpServices.h"

namespace {

struct WordAction {
  unsigned word;
  const char* todo;
};

constexpr const char kCallSupport[] =
    "Retry once; if it fails again, call support with the trace file.";

// What the operator does about a word; a word without a row takes kCallSupport.
constexpr WordAction kActions[] = {
    {0x0000, kCallSupport},
    {0x0100,
     "Check that the controller is on and connected, then retry; call support if it "
     "answers with an error again."},
    {0x0400,
     "Check that the controller accepts maintenance requests, then retry; call support "
     "if it refuses again."},
    {0x0500,
     "A file of the SVP is missing: restore the configuration from a backup or call "
     "support."},
    {0x0600, "Free space on the SVP's disk and retry; call support if the copy fails again."},
    {0x0700, "A file of the SVP could not be read: check the SVP's disk, then call support."},
    {0x0701,
     "A file of the SVP has no valid content: restore the configuration from a backup "
     "or call support."},
    {0x0901, "The backup file lacks a table: choose another backup file or call support."},
    {0x1167, "Call support with the trace file."},
    {kWordFailure, kCallSupport},
    {kWordMediumNotReady, "Insert a medium, wait until the drive is ready, and retry."},
    {kWordMediumUnusable, "Insert another medium and retry."},
    {kWordWriteProtected, "Remove the write protection of the medium and retry."},
    {kWordNotConfigurationDisk,
     "Insert a configuration disk made by a backup of this SVP, or a blank disk, and "
     "retry."},
    {kWordDriveQueryFailed, "Check the drive and the medium; insert another medium and retry."},
    {kWordCancelled,
     "Nothing to mend: the operator cancelled. Start the operation again to do it."},
    {kWordNoConfig4,
     "Nothing to mend: the medium carries no configuration record yet (a blank "
     "disk)."},
    {kWordPcmTypeMismatch, "Use a configuration made for this controller's PCM type."},
    {kWordStepFailed,
     "Wait until no other configuration operation runs, check the medium and the "
     "free space on the SVP and on the medium, then retry; call support if it fails "
     "again."},
    {kWordNotProcessed, "Call support with the trace file."},
    {kWordSerialMismatch, "Use a backup of this controller (the same serial number)."},
    {kWordConfigTypeMismatch, "Use a configuration of this SVP's configuration type."},
    {kWordWrongMedium,
     "Insert the medium the operation asks for: a backup medium of this SVP, the "
     "software medium of this model or the configuration CD-R."},
    {kWordMediumUnreadable, "Clean or replace the medium and retry."},
    {kWordMediumUnwritable, "Replace the medium and retry."},
    {kWordBackupFileNotRestored, "Choose a backup file made on this controller and retry."},
    {kWordNotChecked, "Call support with the trace file."},
    {kWordModelMismatch, "Use a configuration made for this controller model."},
    {kWordDefaultSerial,
     "Confirm the backup only if it belongs to this controller; otherwise call "
     "support to set the serial number."},
    {kWordWrongDisk,
     "Insert the disk that is asked for; the disks of a split configuration go in "
     "order, and a disk already written in this backup is not taken again."},
    {kWordInsertVolume, "Insert the next volume of the configuration and press OK."},
    {kWordWrongMediumKind,
     "Set up from a backup medium, or from the configuration CD-R with a key code; a "
     "software medium cannot be set up from."},
    {kWordLargerThanFloppy,
     "Answer Yes to split the backup over several floppy disks, or use a larger "
     "medium."},
    {kWordNoRoom, "Free space on the medium or use a larger one, then retry."},
};

const char* ActionOf(unsigned word) {
  for (const WordAction& a : kActions)
    if (a.word == word) return a.todo;
  return kCallSupport;
}

// The message the operator saw for the word, as the message library shows
// it (an insert the word's caller would fill reads "?").
bool DescribeMessage(unsigned word, char* what, std::size_t whatSize) {
  ResultMessage m = ResultMessageOf(static_cast<WORD>(word));
  if (m.messageId == 0)
    return CopyBounded(what, whatSize, "cancelled by the operator (no message)");
  std::string text = FilledCatalogueText(m.messageId, false, 0, nullptr);
  return FormatBounded(what, whatSize, "message %d: %s", m.messageId, text.c_str());
}

}  // namespace

int TalverHost_ExplainWord(unsigned word, char* what, std::size_t whatSize, char* todo,
                           std::size_t todoSize) {
  if (!what || !whatSize || !todo || !todoSize) return 0;
  what[0] = 0;
  todo[0] = 0;
  if (word > 0xFFFF) return 0;  // result words are 16 bits
  if (!DescribeMessage(word, what, whatSize) || !CopyBounded(todo, todoSize, ActionOf(word))) {
    what[0] = 0;
    todo[0] = 0;
    return 0;
  }
  return 1;
}

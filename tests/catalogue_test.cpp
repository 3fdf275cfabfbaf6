// The message catalogue and the result words in words: every message the
// system shows has a text that is true where it is shown, and the table of
// docs/result-words.md is the host's.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "common/Trace.h"
#include "host/talver_host.h"
#include "svpsvc/SvpServices.h"

namespace {

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

// Every id the system shows: the result words' messages, the messages of
// the flows and dialogs, and the texts the dialogs draw. `buffer` is the
// byte size the caller fetches the text into (0: shown as a message box);
// `needs` and `never` are what the text must and must not say there.
struct Shown {
  int id;
  const char* where;
  int buffer;
  const char* needs;
  const char* never;
};
const Shown kShown[] = {
    {469, "model-index request answered with an error", 0, "controller", nullptr},
    {2467, "request refused, or a copy failed", 0, "copied", nullptr},
    {2515, "common-library code 0x1167", 0, "0x1167", nullptr},
    {3188, "after a backup, an installation and both restores", 0, "Remove the media", "restored"},
    {3193, "write-protected medium (Retry, Cancel)", 0, "Retry", nullptr},
    {3304, "a file of the SVP missing or unreadable", 0, "file", nullptr},
    {3332, "model or PCM type mismatch", 0, "PCM type", nullptr},
    {3333, "any failure without a precise word", 0, "call support", nullptr},
    {3351, "a backup already on the medium (Yes, No)", 0, "Overwrite it?", nullptr},
    {3383, "configuration not processed", 0, "processed", nullptr},
    {3459, "configuration type mismatch (Yes, No)", 0, "Use it anyway?", nullptr},
    {3480, "serial number mismatch (Yes, No)", 0, "Use it anyway?", nullptr},
    {3676, "wrong medium", 0, "right medium", nullptr},
    {3677, "not ready, or not a configuration disk", 0, "configuration disk", nullptr},
    {3678, "medium unusable", 0, "another medium", nullptr},
    {3679, "medium unreadable", 0, "read", nullptr},
    {3680, "medium unwritable", 0, "written", nullptr},
    {3681, "a step of a flow failed", 0, "retry", nullptr},
    {3683, "media dialog: restore and installation", 512, "choose its drive", "backup medium"},
    {3686, "media dialog: backup", 512, "backup", nullptr},
    {3695, "restore from a backup file refused", 0, "backup file", nullptr},
    {3834, "configuration not checked", 0, "checked", nullptr},
    {3835, "wrong disk in a backup, a setup or a restore", 0, "disk %d", "set up"},
    {3836, "next volume (OK, Cancel)", 0, "Insert volume %d", nullptr},
    {4033, "software medium offered to the setup", 0, "setup", nullptr},
    {4034, "split question (Yes, No)", 0, "Split", nullptr},
    {4035, "no free space on the medium", 0, "Free space", nullptr},
    {4036, "next backup medium (OK, Cancel)", 0, "next backup medium", nullptr},
    {4037, "after a setup from a backup medium", 0, "has been set up", "Choose"},
    {4040, "media dialog: setup", 512, "to set up", nullptr},
    {4053, "a valid key code (OK, Cancel)", 0, "key code %s", nullptr},
    {4054, "a wrong key code", 0, "not valid", nullptr},
    {4055, "key-code dialog", 512, "key code", nullptr},
    {4061, "setup-source dialog", 512, "CD-R", nullptr},
    {4281, "table-file lookup failed", 0, "table", nullptr},
    {4700, "backup-file dialog", 512, ".gpfm", nullptr},
    {4701, "the rancher", 0, "library", nullptr},
    {4702, "typed path not a .gpfm", 0, ".gpfm", nullptr},
    {4703, "typed path names no file", 0, "No file", nullptr},
    {4705, "confirmation dialog 117", 1024, "could not be compared", nullptr},
};

TEST(Catalogue, EveryShownMessageHasATextTrueWhereItIsShown) {
  for (const Shown& s : kShown) {
    std::string text = CatalogueText(s.id);
    SCOPED_TRACE(std::to_string(s.id) + " (" + s.where + "): " + text);
    EXPECT_NE(text, "Message " + std::to_string(s.id) + ".");
    EXPECT_TRUE(Has(text, s.needs));
    EXPECT_TRUE(!s.never || !Has(text, s.never));
    // The text reaches dialogs byte by byte as wide characters: plain ASCII.
    for (unsigned char c : text) EXPECT_TRUE(c >= 0x20 && c < 0x7F);
    // Only the inserts the system fills.
    std::size_t percent = text.find('%');
    if (percent != std::string::npos) {
      EXPECT_TRUE(s.id == 3835 || s.id == 3836 || s.id == 4053);
      EXPECT_EQ(text.find('%', percent + 1), std::string::npos);
    }
    if (s.buffer) {
      std::vector<WCHAR> buffer(static_cast<std::size_t>(s.buffer) / sizeof(WCHAR));
      EXPECT_EQ(dsvp_CreateMsgStringW(buffer.data(), s.buffer, 63, s.id, 20198, 1),
                static_cast<std::int16_t>(text.size()));
    }
  }
  // What the confirmation asks, and that OK goes on with it.
  std::string confirm = CatalogueText(4705);
  EXPECT_TRUE(Has(confirm, "serial number of the backup") && Has(confirm, "press OK"));
  EXPECT_EQ(FilledCatalogueText(3836, true, 2, nullptr).rfind("Insert volume 2 ", 0), 0u);
}

// A row of docs/result-words.md: "| word | meaning | message | to do |".
std::vector<std::string> Cells(const std::string& line) {
  std::vector<std::string> cells;
  std::size_t at = 1;
  for (std::size_t bar; (bar = line.find(" |", at)) != std::string::npos; at = bar + 2)
    cells.push_back(line.substr(at + 1, bar - at - 1));
  return cells;
}

std::string MessageCell(unsigned word) {
  ResultMessage m = ResultMessageOf(static_cast<WORD>(word));
  if (m.messageId == 0) return "none";
  return std::to_string(m.messageId) + ": \"" + CatalogueText(m.messageId) + "\"";
}

TEST(ResultWords, DocsTableIsTheHostsTable) {
  // The words that ResultMessageOf maps and those the flows set.
  std::vector<unsigned> wanted = {0x0000, 0x0100, 0x0400, 0x0500, 0x0600, 0x0700, 0x0701,
                                  0x0901, 0x1167, 0x2000, 0x2001, 0x2004, 0x2005, 0x2007,
                                  0x2012, 0x4000, 0x4001, 0x4002, 0x4004, 0x4006, 0x4009,
                                  0x400A, 0x400B, 0x400C, 0x400D, 0x400E, 0x400F, 0x4010,
                                  0x4011, 0x4103, 0x4104, 0x4105, 0x4106, 0x4107};
  std::ifstream docs(TALVER_SOURCE_DIR "/docs/result-words.md");
  ASSERT_TRUE(docs.good());
  std::vector<unsigned> seen;
  for (std::string line; std::getline(docs, line);) {
    unsigned word = 0;
    if (line.rfind("| any other |", 0) == 0)
      word = 0x1234;  // no operation sets it
    else if (std::sscanf(line.c_str(), "| 0x%4x |", &word) != 1)
      continue;
    SCOPED_TRACE(line);
    std::vector<std::string> cells = Cells(line);
    ASSERT_EQ(cells.size(), 4u);
    char what[512], todo[256];
    ASSERT_EQ(TalverHost_ExplainWord(word, what, sizeof what, todo, sizeof todo), 1);
    EXPECT_FALSE(std::string(what).empty() || Has(what, "%") || Has(what, "Message "));
    EXPECT_EQ(cells[2], MessageCell(word));
    EXPECT_EQ(cells[3], todo);
    EXPECT_FALSE(cells[1].empty());
    seen.push_back(word);
  }
  for (unsigned word : wanted)
    EXPECT_NE(std::find(seen.begin(), seen.end(), word), seen.end()) << std::hex << word;

  // Fails rather than cuts, and takes no word wider than 16 bits.
  char what[512], todo[256], tiny[8];
  EXPECT_EQ(TalverHost_ExplainWord(0x2005, tiny, sizeof tiny, todo, sizeof todo), 0);
  EXPECT_STREQ(tiny, "");
  EXPECT_EQ(TalverHost_ExplainWord(0x2005, what, sizeof what, tiny, sizeof tiny), 0);
  EXPECT_EQ(TalverHost_ExplainWord(0x12005, what, sizeof what, todo, sizeof todo), 0);
  EXPECT_EQ(TalverHost_ExplainWord(0x2005, nullptr, 0, todo, sizeof todo), 0);
  ASSERT_EQ(TalverHost_ExplainWord(0x4104, what, sizeof what, todo, sizeof todo), 1);
  EXPECT_EQ(std::string(what).rfind("message 3836: Insert volume ? ", 0), 0u);
}

}  // namespace

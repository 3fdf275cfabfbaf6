// The owned search: every search it starts is closed exactly once, on every
// way out of the code that walks it.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/CnfCmpDlg.h"
#include "platform/ForwardingPlatform.h"
#include "platform/KernelObject.h"
#include "platform/ScopedFind.h"
#include "support/TestWorld.h"

namespace {

// Counts the searches that are open: each search handed out is a wrapper
// whose deletion (FindClose) closes the real one and counts it closed.
class SearchCounter : public plat::ForwardingPlatform {
 public:
  using ForwardingPlatform::ForwardingPlatform;

  HANDLE FindFirstFile(const char* pattern, WIN32_FIND_DATA* data) override {
    HANDLE inner = Inner().FindFirstFile(pattern, data);
    if (!inner) return nullptr;
    return new Search(inner, &open_);
  }
  bool FindNextFile(HANDLE search, WIN32_FIND_DATA* data) override {
    return Inner().FindNextFile(static_cast<Search*>(search)->inner, data);
  }
  int Open() const { return open_; }

 private:
  struct Search : plat::KernelObject {
    Search(HANDLE h, int* open) : inner(h), open(open) { ++*open; }
    ~Search() override {
      plat::CloseHandle(inner);
      --*open;
    }
    HANDLE inner;
    int* open;
  };
  int open_ = 0;
};

class ScopedFindTest : public ::testing::Test {
 protected:
  ScopedFindTest() {
    counter_ = std::make_shared<SearchCounter>(plat::InstalledShared());
    previous_ = plat::Install(counter_);
    world_.WriteHostFile('C', "D/a.dat", "a");
    world_.WriteHostFile('C', "D/b.dat", "b");
    world_.WriteHostFile('C', "D/c.dat", "c");
  }
  ~ScopedFindTest() override { plat::Install(previous_); }

  TestWorld world_;
  std::shared_ptr<SearchCounter> counter_;
  std::shared_ptr<plat::Platform> previous_;
};

TEST_F(ScopedFindTest, WalksEveryEntryAndClosesAtTheEnd) {
  std::vector<std::string> names;
  {
    WIN32_FIND_DATA data;
    plat::ScopedFind search("C:\\D\\*.*", &data);
    ASSERT_TRUE(search);
    EXPECT_EQ(counter_->Open(), 1);
    do names.push_back(data.cFileName);
    while (search.Next(&data));
  }
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a.dat", "b.dat", "c.dat"}));
  EXPECT_EQ(counter_->Open(), 0);
}

TEST_F(ScopedFindTest, AssigningANewSearchClosesTheOldOne) {
  WIN32_FIND_DATA data;
  plat::ScopedFind search("C:\\D\\*.dat", &data);
  search = plat::ScopedFind("C:\\D\\c.dat", &data);
  EXPECT_EQ(counter_->Open(), 1);
  EXPECT_STREQ(data.cFileName, "c.dat");
  EXPECT_FALSE(search.Next(&data));
  // A search that cannot start holds nothing, and the old one is closed.
  search = plat::ScopedFind("C:\\NONE\\*.*", &data);
  EXPECT_FALSE(search);
  EXPECT_FALSE(search.Next(&data));
  EXPECT_EQ(counter_->Open(), 0);
}

TEST_F(ScopedFindTest, CountingAbandonedForAnOverlongNameLeavesNoSearchOpen) {
  // The outer pattern fits a path; the subdirectory's path does not.
  const std::string outer(200, 'o');
  world_.WriteHostFile('C', outer + "/" + std::string(60, 's') + "/x.dat", "x");
  std::int32_t total = 0;
  EXPECT_EQ(Talver_CountFiles(("C:\\" + outer).c_str(), &total), 0);
  EXPECT_EQ(counter_->Open(), 0);
}

}  // namespace

// The demo database: what a user finds when opening it.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "TestFiles.h"
#include "tools/writer/DemoDatabase.h"

namespace ondrel::writer {
namespace {

class DemoDatabaseTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir = new test::ScratchDir;
    layouts = new std::vector<IspecLayout>(BuildDemoDatabase(dir->path()));
  }
  static void TearDownTestSuite() {
    delete layouts;
    delete dir;
  }
  static const IspecLayout& Ispec(const std::string& name) {
    for (const IspecLayout& l : *layouts)
      if (l.files.ispec == name) return l;
    throw std::runtime_error("no ISPEC " + name);
  }
  static test::ScratchDir* dir;
  static std::vector<IspecLayout>* layouts;
};
test::ScratchDir* DemoDatabaseTest::dir = nullptr;
std::vector<IspecLayout>* DemoDatabaseTest::layouts = nullptr;

TEST_F(DemoDatabaseTest, SameBytesOnEveryBuild) {
  test::ScratchDir again;
  BuildDemoDatabase(again.path());
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir->path())) {
    ++files;
    EXPECT_EQ(test::Slurp(entry.path()), test::Slurp(again.path() / entry.path().filename())) << entry.path();
  }
  EXPECT_EQ(files, 12u);
}

TEST_F(DemoDatabaseTest, CustomersHaveHiddenDecimalAndPurgedRecords) {
  const IspecLayout& c = Ispec("CUSTOMER");
  const std::string dfn = test::Slurp(c.files.Definition());
  EXPECT_NE(dfn.find("\n[REGION] "), std::string::npos);
  EXPECT_NE(dfn.find("\ncontact "), std::string::npos);
  EXPECT_NE(dfn.find("\nBALANCE 6 N 9 2"), std::string::npos);
  const std::string data = test::Slurp(c.files.Data());
  ASSERT_EQ(data.size() % c.recordLength, 0u);
  EXPECT_EQ(data.size() / c.recordLength, static_cast<std::size_t>(kDemoCustomers));
  std::size_t purged = 0;
  for (std::size_t end = c.recordLength - 1; end < data.size(); end += c.recordLength)
    purged += data[end] != '\n';
  EXPECT_GT(purged, 0u);
  EXPECT_LT(purged, 60u);
  // Purged records are in no key.
  EXPECT_EQ(c.index.keys[1].entries, kDemoCustomers - purged);
}

TEST_F(DemoDatabaseTest, CustomerProfilesOrderDifferently) {
  const IspecLayout& c = Ispec("CUSTOMER");
  const std::string profiles = test::Slurp(c.files.Profile());
  EXPECT_EQ(profiles.find("PCUSTNO    \n"), 0u);
  EXPECT_NE(profiles.find("PBYNAME    \n"), std::string::npos);
  EXPECT_NE(profiles.find("\nC"), std::string::npos);
  EXPECT_NE(profiles.find("TF\n"), std::string::npos);  // a descending ordinate
  ASSERT_GE(c.entryRecords.size(), 3u);
  const auto& byNumber = c.entryRecords[1];
  const auto& byName = c.entryRecords[2];
  EXPECT_TRUE(std::is_sorted(byNumber.begin(), byNumber.end()));  // numbers rise with the record
  EXPECT_FALSE(std::is_sorted(byName.begin(), byName.end()));
  EXPECT_LT(byName.size(), byNumber.size());  // its condition leaves closed accounts out
  const std::set<std::uint32_t> named(byName.begin(), byName.end());
  EXPECT_EQ(named.size(), byName.size());
  EXPECT_TRUE(std::includes(byNumber.begin(), byNumber.end(), named.begin(), named.end()));
}

TEST_F(DemoDatabaseTest, OrdersNeedSeveralSections) {
  const IspecLayout& o = Ispec("ORDERS");
  EXPECT_EQ(o.index.nodeSize, 2048);
  EXPECT_GT(o.index.keys[1].entries, 70000u);
  EXPECT_GE(o.index.keys[1].depth, 3);
  EXPECT_EQ(test::Slurp(o.files.Definition()).substr(0, 13), "V002.003.001\n");
  const std::string idx = test::Slurp(o.files.Index());
  EXPECT_EQ(test::Be32(idx, 33), static_cast<std::uint32_t>(kDemoOrders));
}

}  // namespace
}  // namespace ondrel::writer

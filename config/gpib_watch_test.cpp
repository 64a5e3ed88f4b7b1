// The file-origin check over the stand-in libraries, and the watch for a replaced
// gpib-32.dll against the real system folders and registry of the test's own prefix. The
// watch's balloon goes to a recorder here; the system test sees it reach the tray.
#include <windows.h>
#include <sddl.h>

#include <optional>
#include <string>
#include <vector>

#include "base/results.h"
#include "config/file_maker.h"
#include "config/gpib_watch.h"
#include "config/testing/test_registry.h"
#include "config/testing/test_system_files.h"

namespace {

using namespace test_registry;
using namespace test_files;

// Puts a variant's gpib-32.dll into the system folder or SysWOW64 (none: removes it).
void PlaceGpib(bool wow, const char* variant) { PlaceVendorDll(wow, "gpib-32.dll", variant); }

TEST(FileMaker, StandInFilesGiveTheirMakers) {
  const struct { const char* variant; int want; } cases[] = {
      {"korvane", 1},     {"other-vendor", 2},       {"lower-case", 2}, {"german-only", 2},
      {"two-english-tables", 2}, {"no-resource", 3}, {"missing", 3},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CheckFileMaker(VendorDll(c.variant, "gpib-32.dll").c_str()), c.want) << c.variant;
  }
}

struct Balloon { std::string title; int type; };
std::vector<Balloon> balloons;

HANDLE RecordBalloon(const char*, const char* title, int type) {
  balloons.push_back({title, type});
  return nullptr;
}

class GpibWatch : public RegistryTest {
 protected:
  void SetUp() override {
    RegistryTest::SetUp();
    balloons.clear();
  }
  void TearDown() override {
    PlaceGpib(false, nullptr);
    PlaceGpib(true, nullptr);
  }
  // Several passes of the loop over one situation.
  static void CheckRepeatedly() {
    for (int i = 0; i < 3; ++i) Check488Library(RecordBalloon);
  }
};

// A status value's stored text, or "-" when it is not there.
std::string Stored(const char* name) {
  const std::optional<StoredValue> value = Suite(name);
  return !value ? "-" : value->type == REG_SZ ? std::string(value->bytes.c_str()) : "?";
}

TEST_F(GpibWatch, WarnsOnceWhereTheSuiteLibraryWasReplaced) {
  const struct {
    const char* title;
    const char* status;     // "Gpib32Status" (null: not set)
    const char* file;       // variant in the system folder (null: none)
    const char* statusWow;  // "Gpib32StatusSysWow64"
    const char* fileWow;
    const char* warningFlag;  // "Korvane488Warning"
    size_t warnings;
    const char* statusAfter;  // "-": not there
    const char* statusWowAfter;
    const char* enabledAfter;
  } cases[] = {
      {"status 1, other vendor", "1", "other-vendor", nullptr, nullptr, nullptr, 1, "2", "-", "False"},
      {"status 4, lower-case maker", "4", "lower-case", nullptr, nullptr, nullptr, 1, "2", "-", "False"},
      {"status 1, maker's file", "1", "korvane", nullptr, nullptr, nullptr, 0, "1", "-", "-"},
      {"status 1, no file", "1", nullptr, nullptr, nullptr, nullptr, 0, "1", "-", "-"},
      {"status 99", "99", "other-vendor", nullptr, nullptr, nullptr, 0, "99", "-", "-"},
      {"status not set", nullptr, "other-vendor", nullptr, nullptr, nullptr, 0, "-", "-", "-"},
      {"status 2 already warned", "2", "other-vendor", nullptr, nullptr, nullptr, 0, "2", "-", "-"},
      {"SysWOW64, flag 0", nullptr, nullptr, "1", "other-vendor", "0", 1, "-", "2", "False"},
      {"SysWOW64 status 4, flag not set", nullptr, nullptr, "4", "other-vendor", nullptr, 1, "-", "2", "False"},
      {"SysWOW64 status 99", nullptr, nullptr, "99", "other-vendor", "0", 0, "-", "99", "-"},
      {"system folder replaced, SysWOW64 maker's", "1", "other-vendor", "1", "korvane", "0", 1, "2", "1", "False"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.title);
    SetUp();
    if (c.status) SetSuiteText("Gpib32Status", c.status);
    if (c.statusWow) SetSuiteText("Gpib32StatusSysWow64", c.statusWow);
    if (c.warningFlag) SetSuiteText("Korvane488Warning", c.warningFlag);
    PlaceGpib(false, c.file);
    PlaceGpib(true, c.fileWow);

    CheckRepeatedly();

    EXPECT_EQ(balloons.size(), c.warnings);
    for (const Balloon& balloon : balloons) {
      EXPECT_EQ(balloon.title, "Korvane Ombrix Suite");
      EXPECT_EQ(balloon.type, 2);
    }
    EXPECT_EQ(Stored("Gpib32Status"), c.statusAfter);
    EXPECT_EQ(Stored("Gpib32StatusSysWow64"), c.statusWowAfter);
    EXPECT_EQ(Stored("Korvane488Enabled"), c.enabledAfter);
  }
}

// Denies everyone but reading of the suite key, as for a user without the right to
// change the suite's configuration; restores full access at the end.
class ReadOnlySuiteKey {
 public:
  ReadOnlySuiteKey() { Restrict("D:P(A;;KR;;;WD)"); }
  ~ReadOnlySuiteKey() { Restrict("D:P(A;;KA;;;WD)"); }

 private:
  static void Restrict(const char* dacl) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSuiteKey, 0, WRITE_DAC | KEY_WOW64_64KEY, &key), ERROR_SUCCESS);
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(dacl, SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, descriptor), ERROR_SUCCESS);
    LocalFree(descriptor);
    IgnoreResult(RegCloseKey(key));
  }
};

// Status values that cannot be written: the replacement is still reported only once, and
// a new replacement after the maker's file came back is reported again.
TEST_F(GpibWatch, UnwritableStatusStillWarnsOnlyOnce) {
  SetSuiteText("Gpib32Status", "1");
  SetSuiteText("Gpib32StatusSysWow64", "1");
  PlaceGpib(false, "other-vendor");
  PlaceGpib(true, "other-vendor");
  {
    ReadOnlySuiteKey readOnly;
    HKEY probe = nullptr;
    ASSERT_NE(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSuiteKey, 0, KEY_ALL_ACCESS | KEY_WOW64_64KEY, &probe),
              ERROR_SUCCESS)
        << "the suite key is still writable";
    CheckRepeatedly();
    EXPECT_EQ(balloons.size(), 1u);

    PlaceGpib(false, "korvane");
    PlaceGpib(true, "korvane");
    CheckRepeatedly();
    EXPECT_EQ(balloons.size(), 1u);

    PlaceGpib(true, "lower-case");
    CheckRepeatedly();
    EXPECT_EQ(balloons.size(), 2u) << "a new replacement in SysWOW64 was not reported";
  }
  EXPECT_EQ(Stored("Gpib32Status"), "1");
  EXPECT_EQ(Stored("Korvane488Enabled"), "-");
}

}  // namespace

#include <gtest/gtest.h>

#include <cstring>

#include "kobj/object_names.h"
#include "base/os_class.h"
#include "base/results.h"
#include "base/testing/os_class_seams.h"

namespace {

OSVERSIONINFOA Version(DWORD platform, DWORD major, DWORD minor) {
  return {sizeof(OSVERSIONINFOA), major, minor, 0, platform, {}};
}

TEST(OsClass, ClassifiesEveryRowOfTheVersionTable) {
  const struct { DWORD platform, major, minor; int expected; } cases[] = {
      {0, 3, 1, kOsWin32s},  {1, 3, 95, kOsWin95},  {1, 4, 0, kOsWin95},   {1, 4, 10, kOsWin98},
      {1, 4, 89, kOsWin98},  {1, 4, 90, kOsWinMe},  {1, 5, 0, kOsWin98},   {2, 3, 51, kOsNt4},
      {2, 4, 0, kOsNt4},     {2, 5, 0, kOsWin2000}, {2, 5, 1, kOsWinXp},   {2, 5, 2, kOsWinXp},
      {2, 6, 0, kOsVista},   {2, 6, 1, kOsWin7},    {2, 10, 0, kOsVista},  {2, 6, 2, kOsWin7},
      {3, 10, 0, kOsUnknown},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ClassifyOsVersion(Version(c.platform, c.major, c.minor)), c.expected)
        << "platform " << c.platform << " version " << c.major << "." << c.minor;
  }
}

// Plays a given Windows version for the duration of a test.
class PlayedWindows {
 public:
  PlayedWindows(DWORD platform, DWORD major, DWORD minor) {
    s_version = Version(platform, major, minor);
    s_calls = 0;
    base_testing::SetVersionSource([](OSVERSIONINFOA* out) -> BOOL {
      ++s_calls;
      *out = s_version;
      return TRUE;
    });
  }
  ~PlayedWindows() { base_testing::SetVersionSource(nullptr); }
  static int Calls() { return s_calls; }

 private:
  static inline OSVERSIONINFOA s_version{};
  static inline int s_calls = 0;
};

TEST(OsClass, PredicatesFollowTheClass) {
  const struct { DWORD platform, major, minor; bool nt, namespaces; } cases[] = {
      {1, 4, 10, false, false}, {2, 4, 0, true, false}, {2, 5, 1, true, true}};
  for (const auto& c : cases) {
    PlayedWindows played(c.platform, c.major, c.minor);
    SCOPED_TRACE(c.major);
    EXPECT_EQ(IsNtFamily(), c.nt);
    EXPECT_EQ(HasObjectNamespaces(), c.namespaces);
    EXPECT_EQ(GetNullDaclSecurityAttributes() == nullptr, !c.nt);
    EXPECT_STREQ(GetGlobalPrefix(), c.namespaces ? "Global\\" : "");
    EXPECT_STREQ(GetLocalPrefix(), c.namespaces ? "Local\\" : "");
    char buffer[32];
    EXPECT_STREQ(BuildObjectName(1, "name", buffer, sizeof buffer), c.namespaces ? "Global\\name" : "name");
  }
}

// A known class is asked for once; an unclassified system at every call.
TEST(OsClass, CacheHoldsOnlyAKnownClass) {
  {
    PlayedWindows seven(2, 6, 1);
    EXPECT_TRUE(IsNtFamily());
    EXPECT_TRUE(HasObjectNamespaces());
    EXPECT_EQ(PlayedWindows::Calls(), 1);
    EXPECT_EQ(GetCachedOsClass(), kOsWin7);
  }
  PlayedWindows odd(7, 1, 0);
  EXPECT_FALSE(IsNtFamily());
  EXPECT_FALSE(HasObjectNamespaces());
  EXPECT_EQ(PlayedWindows::Calls(), 2);
  EXPECT_EQ(GetCachedOsClass(), kOsUnknown);
}

TEST(SecurityAttributes, NullDaclInheritableAndBuiltOnce) {
  SECURITY_ATTRIBUTES* sa = GetNullDaclSecurityAttributes();
  ASSERT_NE(sa, nullptr);
  EXPECT_EQ(sa->nLength, 24u);
  EXPECT_TRUE(sa->bInheritHandle);
  BOOL present = FALSE, defaulted = TRUE;
  PACL dacl = reinterpret_cast<PACL>(1);
  ASSERT_TRUE(GetSecurityDescriptorDacl(sa->lpSecurityDescriptor, &present, &dacl, &defaulted));
  EXPECT_TRUE(present);
  EXPECT_EQ(dacl, nullptr);
  EXPECT_FALSE(defaulted);
  EXPECT_EQ(GetNullDaclSecurityAttributes(), sa);
  // The attributes work for a real creation that a child could inherit.
  HANDLE e = CreateEventA(sa, TRUE, FALSE, "Local\\kobj_sa_probe");
  ASSERT_NE(e, nullptr);
  DWORD flags = 0;
  ASSERT_TRUE(GetHandleInformation(e, &flags));
  EXPECT_TRUE(flags & HANDLE_FLAG_INHERIT);
  IgnoreResult(CloseHandle(e));
}

TEST(BuildObjectName, PutsThePrefixOfTheFlagAndCutsToTheBuffer) {
  struct Case { int global; const char* base; int size; const char* expected; } cases[] = {
      {1, "__Korvane_QuorvelRunning", 260, "Global\\__Korvane_QuorvelRunning"},
      {0, "_KorvaneQuorvelLock", 260, "Local\\_KorvaneQuorvelLock"},
      {7, "", 260, "Global\\"},
      {1, "abc", 5, "Glob"},
      {0, "abcdefgh", 10, "Local\\abc"},
      {1, "abc", 1, ""},
  };
  for (const auto& c : cases) {
    char buffer[300];
    std::memset(buffer, '#', sizeof buffer);
    EXPECT_EQ(BuildObjectName(c.global, c.base, buffer, c.size), buffer) << c.base;
    EXPECT_STREQ(buffer, c.expected) << c.base << " in " << c.size;
    EXPECT_EQ(buffer[c.size], '#') << "wrote past the buffer for " << c.base;
  }
}

TEST(BuildObjectName, NullBaseNameLeavesTheBufferUntouched) {
  char buffer[8] = "keep";
  EXPECT_EQ(BuildObjectName(1, nullptr, buffer, sizeof buffer), nullptr);
  EXPECT_STREQ(buffer, "keep");
}

TEST(GlobalObjectName, RecognisedInAnyLetterCase) {
  for (const char* name : {"Global\\x", "global\\x", "GLOBAL\\", "gLoBaL\\x"}) EXPECT_TRUE(IsGlobalObjectName(name)) << name;
  for (const char* name : {"Local\\x", "Global/x", "Global", "x"}) EXPECT_FALSE(IsGlobalObjectName(name)) << name;
  EXPECT_FALSE(IsGlobalObjectName(nullptr));
}

}  // namespace

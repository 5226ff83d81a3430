#include "common/security.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "testing/temp_dir.h"

namespace {

class GrantEveryoneAccessTest : public ::testing::Test {
protected:
    static mode_t ModeOf(const std::string& Path) {
        struct stat St {};
        EXPECT_EQ(::lstat(Path.c_str(), &St), 0) << Path;
        return St.st_mode & 07777;
    }

    TTempDir Temp;
    std::string Dir = Temp.Dir();
};

TEST_F(GrantEveryoneAccessTest, AddsReadAndWriteForEveryoneAndSearchOnDirectories) {
    std::string File = Temp.Write("f.txt", "x");
    ASSERT_EQ(::chmod(File.c_str(), 0600), 0);
    std::string Sub = Dir + "/sub";
    ASSERT_EQ(::mkdir(Sub.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(Sub.c_str(), 0700), 0);

    EXPECT_TRUE(GrantEveryoneAccess(File));
    EXPECT_EQ(ModeOf(File), 0666u);
    EXPECT_TRUE(GrantEveryoneAccess(Sub));
    EXPECT_EQ(ModeOf(Sub), 0777u);
    EXPECT_TRUE(GrantEveryoneAccess(Sub)); // nothing left to add
}

TEST_F(GrantEveryoneAccessTest, RefusesMissingPathsAndSymbolicLinks) {
    EXPECT_FALSE(GrantEveryoneAccess(Dir + "/missing"));
    EXPECT_FALSE(GrantEveryoneAccess(""));

    std::string Target = Dir + "/target";
    ASSERT_EQ(::mkdir(Target.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(Target.c_str(), 0700), 0);
    std::string Link = Dir + "/link";
    ASSERT_EQ(::symlink(Target.c_str(), Link.c_str()), 0);
    EXPECT_FALSE(GrantEveryoneAccess(Link));
    EXPECT_EQ(ModeOf(Target), 0700u);
}

} // namespace

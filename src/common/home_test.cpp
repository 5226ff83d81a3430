#include "common/home.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(Home, OptionThenEnvironmentThenExecutableDirectory) {
    ::setenv("TARNO_HOME", "/srv/tarno-env", 1);
    EXPECT_EQ(FindHome("/srv/option"), "/srv/option");
    EXPECT_EQ(FindHome(""), "/srv/tarno-env");
    ::unsetenv("TARNO_HOME");
    const std::string Exe = FindHome("");
    EXPECT_EQ(Exe.back() == '/', Exe == "/");
    EXPECT_NE(Exe.find("src/common"), std::string::npos) << Exe; // where this test program lives
}

TEST(Home, SetsTempAndTmpAndDropsTheTrailingSlash) {
    InitHome("/srv/tarno/");
    EXPECT_EQ(ExeDir(), "/srv/tarno");
    EXPECT_STREQ(std::getenv("TEMP"), "/srv/tarno");
    EXPECT_STREQ(std::getenv("TMP"), "/srv/tarno");
}

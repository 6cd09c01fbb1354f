#include "base/IniFile.h"
#include "base/Support.h"

#include <gtest/gtest.h>

TEST(Smoke, AppIniIsOpen)
{
    EXPECT_TRUE(zef::Support::GetAppIni().IsOpen());
}

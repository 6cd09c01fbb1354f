#include "base/Support.h"

#include "TestFiles.h"
#include "base/OS.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using zef::IniFile;
using zef::OS;
using zef::Result;
using zef::String;
using zef::Support;
using zef::test::ReadFile;
using zef::test::WriteFile;

namespace
{
void Split(const char* full, String& path, String& name)
{
    OS::SplitApplicationPath(full, path, name);
}
} // namespace

TEST(OSTest, SplitCutsFolderAndLowerCaseExe)
{
    String path, name;
    Split("/opt/tavik/bin/Prog.exe", path, name);
    EXPECT_EQ(path, "/opt/tavik/bin");
    EXPECT_EQ(name, "Prog");
    Split("/opt/Prog.EXE", path, name);
    EXPECT_EQ(name, "Prog.EXE");
    Split("/opt/Prog.Exe", path, name);
    EXPECT_EQ(name, "Prog.Exe");
    Split("/a.exe.exe", path, name);
    EXPECT_EQ(path, "");
    EXPECT_EQ(name, "a.exe");
    Split("Tavik", path, name);
    EXPECT_EQ(path, "");
    EXPECT_EQ(name, "Tavik");
    Split("/x/exe", path, name);
    EXPECT_EQ(name, "exe");
    Split("/x/.exe", path, name);
    EXPECT_EQ(name, "");
    Split("/dir.exe/Tool", path, name);
    EXPECT_EQ(path, "/dir.exe");
    EXPECT_EQ(name, "Tool");
}

TEST(OSTest, RunningProgram)
{
    String name, path;
    ASSERT_TRUE(OS::GetApplicationFileName(name).IsOk());
    EXPECT_EQ(name, "BaseTests");
    ASSERT_TRUE(OS::GetApplicationFilePath(path).IsOk());
    EXPECT_EQ(path.Right(4), "/bin");
    char real[4096] = {};
    ASSERT_GT(::readlink("/proc/self/exe", real, sizeof real - 1), 0);
    EXPECT_EQ(path + "/" + name, real);
    EXPECT_EQ(Support::GetAppIniFileName(), "BaseTests.ini");
}

TEST(OSTest, SystemError)
{
    const Result r = OS::GetSystemError(ENOENT);
    EXPECT_EQ(r.GetErrorCode(), ENOENT);
    EXPECT_EQ(r.GetCategory(), 0);
    EXPECT_EQ(r.GetText(), "No such file or directory");
}

TEST(AppIniTest, OneSharedOpenObject)
{
    const IniFile& ini = Support::GetAppIni();
    EXPECT_TRUE(ini.IsOpen());
    EXPECT_EQ(&ini, &Support::GetAppIni());
}

TEST(AppIniTest, MissingFileLeavesNoLogLine)
{
    std::remove("missing_app.log");
    IniFile ini;
    const Result r = Support::LoadAppIni(ini, "missing_app.ini", "missing_app.log");
    EXPECT_EQ(r.GetErrorCode(), 5);
    EXPECT_TRUE(ini.IsOpen());
    EXPECT_EQ(ReadFile("missing_app.log"), "");
}

TEST(AppIniTest, BrokenFileIsDroppedWholeAndLogged)
{
    std::remove("broken_app.log");
    WriteFile("broken_app.ini", "[A]\nk=1\nbroken\n");
    IniFile ini;
    const Result r = Support::LoadAppIni(ini, "broken_app.ini", "broken_app.log");
    EXPECT_EQ(r.GetErrorCode(), 2);
    EXPECT_TRUE(ini.IsOpen());
    std::vector<String> chapters;
    ini.GetChapters(chapters);
    EXPECT_TRUE(chapters.empty());
    Support::LoadAppIni(ini, "broken_app.ini", "broken_app.log");
    EXPECT_EQ(ReadFile("broken_app.log"),
              "Error opening inifile: Error while reading file 'broken_app.ini', line 3. "
              "Syntax error: Token '=' expected.\n"
              "Error opening inifile: Error while reading file 'broken_app.ini', line 3. "
              "Syntax error: Token '=' expected.\n");

    testing::internal::CaptureStderr();
    Support::LoadAppIni(ini, "broken_app.ini", "no_such_dir/x.log");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Error opening inifile: Error while reading file 'broken_app.ini', line 3. "
              "Syntax error: Token '=' expected.\n");
}

TEST(AppIniTest, GoodFileIsRead)
{
    WriteFile("good_app.ini", "[Default]\nSerial=FT123\n");
    IniFile ini;
    EXPECT_TRUE(Support::LoadAppIni(ini, "good_app.ini", "good_app.log").IsOk());
    String serial;
    EXPECT_TRUE(ini.GetString("Default", "Serial", serial));
    EXPECT_EQ(serial, "FT123");
}

// Runs inside a child process started by LoadTimeRead below, in a folder that holds the
// child's BaseTests.ini. It checks what the library read while it loaded.
TEST(AppIniChild, CheckLoadedIni)
{
    const char* mode = std::getenv("BASE_TESTS_APPINI_CHILD");
    if (!mode)
        GTEST_SKIP() << "runs only as child of AppIniTest.LoadTimeRead";
    // The log line was written while the library loaded, before any call here.
    const bool logged = ::access("error_opening_inifile.log", F_OK) == 0;
    const IniFile& ini = Support::GetAppIni();
    ASSERT_TRUE(ini.IsOpen());
    std::vector<String> chapters;
    ini.GetChapters(chapters);
    if (String(mode) == "good")
    {
        EXPECT_FALSE(logged);
        String value;
        EXPECT_TRUE(ini.GetString("Default", "Serial", value));
        EXPECT_EQ(value, "FT1");
        EXPECT_EQ(ini.GetFileName(), "BaseTests.ini");
    }
    else
    {
        EXPECT_EQ(logged, String(mode) == "broken");
        EXPECT_TRUE(chapters.empty());
    }
}

class AppIniLoadTime : public testing::TestWithParam<const char*>
{
};

TEST_P(AppIniLoadTime, LoadTimeRead)
{
    const std::string mode = GetParam();
    const std::string dir = "apini_" + mode;
    ::mkdir(dir.c_str(), 0755);
    std::remove((dir + "/error_opening_inifile.log").c_str());
    std::remove((dir + "/BaseTests.ini").c_str());
    if (mode == "good")
        WriteFile(dir + "/BaseTests.ini", "[Default]\nSerial=FT1\n");
    else if (mode == "broken")
        WriteFile(dir + "/BaseTests.ini", "[Default]\nSerial=FT1\nnot a key line\n");

    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0)
    {
        if (::chdir(dir.c_str()) != 0)
            ::_exit(90);
        ::setenv("BASE_TESTS_APPINI_CHILD", mode.c_str(), 1);
        char filter[] = "--gtest_filter=AppIniChild.CheckLoadedIni";
        char self[] = "/proc/self/exe";
        char* argv[] = {self, filter, nullptr};
        ::execv(self, argv);
        ::_exit(91);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    const std::string log = ReadFile(dir + "/error_opening_inifile.log");
    if (mode == "broken")
        EXPECT_EQ(log, "Error opening inifile: Error while reading file 'BaseTests.ini', line 3. "
                       "Syntax error: Token '=' expected.\n");
    else
        EXPECT_EQ(log, "");
}

INSTANTIATE_TEST_SUITE_P(Modes, AppIniLoadTime, testing::Values("good", "broken", "missing"));

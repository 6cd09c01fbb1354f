#pragma once

#include "driver/Box.h"
#include "driver/XAssertion.h"
#include "tests/fakes/FakeDevice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace DriverTest
{

struct Report
{
    std::string expression;
    std::string info;
    std::string file;
    int line;
};

// Installs a handler that records each report and returns; restores the previous
// handler when it goes.
class AssertionRecorder
{
public:
    AssertionRecorder() : m_Previous(Tavik::SetXAssertionHandler(&Record)) { Reports().clear(); }
    ~AssertionRecorder()
    {
        // Putting back "no handler" is itself reported, to this recorder, which returns.
        Tavik::SetXAssertionHandler(m_Previous);
        Reports().clear();
    }
    AssertionRecorder(const AssertionRecorder&) = delete;
    AssertionRecorder& operator=(const AssertionRecorder&) = delete;

    static std::vector<Report>& Reports()
    {
        static std::vector<Report> reports;
        return reports;
    }

private:
    static void Record(const char* expression, const char* info, const char* file, int line)
    {
        Reports().push_back({expression, info, file, line});
    }

    Tavik::XAssertionHandler m_Previous;
};

// Runs the test in a fresh, empty working directory and returns to the old one after.
class ScopedWorkDir
{
public:
    ScopedWorkDir()
        : m_Old(std::filesystem::current_path()),
          m_Dir(std::filesystem::temp_directory_path() / UniqueName())
    {
        std::filesystem::remove_all(m_Dir);
        std::filesystem::create_directories(m_Dir);
        std::filesystem::current_path(m_Dir);
    }
    ~ScopedWorkDir()
    {
        std::filesystem::current_path(m_Old);
        std::error_code ignored;
        std::filesystem::remove_all(m_Dir, ignored);
    }
    ScopedWorkDir(const ScopedWorkDir&) = delete;
    ScopedWorkDir& operator=(const ScopedWorkDir&) = delete;

    const std::filesystem::path& Path() const { return m_Dir; }

private:
    static std::string UniqueName()
    {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        std::string name = "tavik-driver-" + std::to_string(::getpid()) + "-" +
                           std::to_string(Counter()++) + "-" + test->name();
        // Parameterised test names hold a '/'.
        std::replace(name.begin(), name.end(), '/', '_');
        return name;
    }

    static int& Counter()
    {
        static int counter = 0;
        return counter;
    }

    std::filesystem::path m_Old;
    std::filesystem::path m_Dir;
};

// One fake box as the only device on the link; Open skips its 400 ms wait.
class BoxFixture : public ::testing::Test
{
protected:
    BoxFixture()
        : device(std::make_shared<LinkFake::FakeDevice>("TV100042", "Tavik SSI/SPI Box")),
          provider(std::make_shared<LinkFake::FakeProvider>(
              std::vector<std::shared_ptr<LinkFake::FakeDevice>>{device})),
          providers({provider})
    {
        previousSleep =
            Tavik::Box::SetSleepFunction([this](unsigned int ms) { sleeps.push_back(ms); });
    }
    ~BoxFixture() override { Tavik::Box::SetSleepFunction(previousSleep); }

    // Opens the box and forgets the calls that opening made.
    void OpenBox()
    {
        ASSERT_EQ(box.Open(0), Tavik::Box::OK) << box.GetStatusAsString(1);
        device->ClearCalls();
        device->ClearWrites();
    }

    const std::vector<std::string>& Calls() const { return device->Calls(); }

    std::shared_ptr<LinkFake::FakeDevice> device;
    std::shared_ptr<LinkFake::FakeProvider> provider;
    LinkFake::ScopedProviders providers;
    Tavik::Box::SleepFunction previousSleep;
    std::vector<unsigned int> sleeps;
    Tavik::Box box;
};

} // namespace DriverTest

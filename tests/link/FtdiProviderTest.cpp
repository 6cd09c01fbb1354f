#include "link/FtdiProvider.h"
#include "link/Proxy.h"

#include <gtest/gtest.h>

using namespace FTD2xx;

// No FTDI hardware is attached where the tests run; the real backend must cope with that.
TEST(FtdiProvider, ListsWithoutFailingWhenNoDeviceIsAttached)
{
    FtdiProvider provider;
    std::vector<DeviceInfo> devices{{"stale", "entry"}};
    ASSERT_EQ(provider.Enumerate(devices), STATUS_OK);
    for (const DeviceInfo& d : devices)
        EXPECT_NE(d.serial, "stale");
    ASSERT_EQ(provider.Enumerate(devices), STATUS_OK) << "a second listing uses a fresh context";
}

TEST(FtdiProvider, OpeningADeviceThatIsNotListedFailsCleanly)
{
    FtdiProvider provider;
    std::vector<DeviceInfo> devices;
    ASSERT_EQ(provider.Enumerate(devices), STATUS_OK);
    std::unique_ptr<DeviceBackend> backend;
    EXPECT_EQ(provider.Open({"NO-SUCH-SERIAL", ""}, backend), STATUS_DEVICE_NOT_FOUND);
    EXPECT_EQ(backend, nullptr);
}

TEST(FtdiProvider, ProxyWithDefaultProvidersStillListsAndRejectsBadIndices)
{
    Proxy::UseDefaultProviders();
    unsigned long count = 99;
    ASSERT_EQ(Proxy::GetConnectedDevices(count), STATUS_OK);
    Proxy proxy;
    EXPECT_EQ(proxy.Open(static_cast<int>(count)), STATUS_DEVICE_NOT_FOUND);
    EXPECT_FALSE(proxy.IsOpen());
    std::string text;
    EXPECT_EQ(Proxy::GetDeviceInformation(count, Proxy::INFO_SERIAL_NUMBER, text),
              STATUS_DEVICE_NOT_FOUND);
}

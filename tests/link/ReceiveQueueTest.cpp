#include "link/ReceiveQueue.h"
#include "link/Proxy.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <future>
#include <string>
#include <thread>

using namespace FTD2xx;
using namespace std::chrono_literals;

namespace
{

// A chip as the reader sees it. Scripted chunks become readable once the manual clock
// reaches their time; each ReadSome without data lets 1 ms pass, as the chip's latency
// timer would. It can also hold the reader inside ReadSome (a gate), fail for good, or
// stream endlessly, tagging every byte with the number of flushes so far.
class FakeByteSource : public ByteSource
{
public:
    explicit FakeByteSource(ManualClock& clock) : m_Clock(clock) {}

    void Add(Clock::Duration at, const std::string& bytes)
    {
        std::lock_guard lock(m_Mutex);
        m_Script.push_back({Clock::TimePoint{} + at, bytes});
    }
    void FailWith(int status)
    {
        std::lock_guard lock(m_Mutex);
        m_Failure = status;
    }
    void Stream(bool on) { m_Streaming = on; }
    void CloseGate(const std::string& bytesWhenOpened)
    {
        std::lock_guard lock(m_Mutex);
        m_Gated = true;
        m_GateBytes = bytesWhenOpened;
    }
    void WaitUntilInsideGate()
    {
        std::unique_lock lock(m_Mutex);
        m_Changed.wait(lock, [this] { return m_InsideGate; });
    }
    void OpenGate()
    {
        std::lock_guard lock(m_Mutex);
        m_Gated = false;
        m_Changed.notify_all();
    }
    // Idle reads no longer let time pass; the test moves the clock.
    void FreezeTime()
    {
        std::lock_guard lock(m_Mutex);
        m_Frozen = true;
    }
    int Flushes() const { return m_Flushes; }
    bool FlushedDuringRead() const { return m_FlushedDuringRead; }

    int ReadSome(unsigned char* buffer, std::size_t capacity, std::size_t& received) override
    {
        m_Reading = true;
        struct Done
        {
            std::atomic<bool>& flag;
            ~Done() { flag = false; }
        } done{m_Reading};
        received = 0;
        std::unique_lock lock(m_Mutex);
        if (m_Failure)
            return m_Failure;
        if (m_Gated)
        {
            m_InsideGate = true;
            m_Changed.notify_all();
            m_Changed.wait(lock, [this] { return !m_Gated; });
            m_InsideGate = false;
            received = std::min(capacity, m_GateBytes.size());
            std::copy_n(m_GateBytes.begin(), received, buffer);
            return STATUS_OK;
        }
        if (m_Streaming)
        {
            received = std::min<std::size_t>(capacity, 64);
            std::fill_n(buffer, received, static_cast<unsigned char>(m_Flushes));
            return STATUS_OK;
        }
        if (!m_Script.empty() && m_Script.front().at <= m_Clock.Now())
        {
            std::string& bytes = m_Script.front().bytes;
            received = std::min(capacity, bytes.size());
            std::copy_n(bytes.begin(), received, buffer);
            bytes.erase(0, received);
            if (bytes.empty())
                m_Script.pop_front();
            return STATUS_OK;
        }
        const bool frozen = m_Frozen;
        lock.unlock();
        if (!frozen)
        {
            m_Clock.Advance(1ms);
            std::this_thread::yield();
        }
        else
            std::this_thread::sleep_for(100us); // time stands still; don't hog the core
        return STATUS_OK;
    }

    int Flush() override
    {
        if (m_Reading)
            m_FlushedDuringRead = true;
        std::lock_guard lock(m_Mutex);
        ++m_Flushes;
        // The chip loses what has arrived already; later bytes still come.
        while (!m_Script.empty() && m_Script.front().at <= m_Clock.Now())
            m_Script.pop_front();
        return m_Failure ? m_Failure : STATUS_OK;
    }

private:
    struct Item
    {
        Clock::TimePoint at;
        std::string bytes;
    };
    ManualClock& m_Clock;
    std::mutex m_Mutex;
    std::condition_variable m_Changed;
    std::deque<Item> m_Script;
    int m_Failure = 0;
    std::atomic<bool> m_Streaming{false};
    std::atomic<int> m_Flushes{0};
    std::atomic<bool> m_Reading{false};
    std::atomic<bool> m_FlushedDuringRead{false};
    bool m_Gated = false;
    bool m_InsideGate = false;
    std::string m_GateBytes;
    bool m_Frozen = false;
};

std::string Text(const std::vector<unsigned char>& bytes)
{
    return {bytes.begin(), bytes.end()};
}

class ReceiveQueueTest : public ::testing::Test
{
protected:
    // Waits (without a time limit of its own: ctest's guards) until `n` bytes are queued.
    void WaitForSize(unsigned long n)
    {
        unsigned long rx = 0;
        while (queue.GetSize(rx) == STATUS_OK && rx < n)
            std::this_thread::yield();
        ASSERT_GE(rx, n);
    }

    ManualClock clock;
    FakeByteSource source{clock};
    ReceiveQueue queue{source, clock, 16};
};

} // namespace

TEST_F(ReceiveQueueTest, ReadWaitsForTheRestOfAPartialArrival)
{
    source.Add(0ms, "abcd");
    source.Add(50ms, "efghij");
    queue.Start();
    std::vector<unsigned char> buffer;
    ASSERT_EQ(queue.Read(buffer, 10, 200ms), STATUS_OK);
    EXPECT_EQ(Text(buffer), "abcdefghij");
    EXPECT_GE(clock.Now(), Clock::TimePoint{} + 50ms);
}

TEST_F(ReceiveQueueTest, ReadTakesOnlyWhatIsAskedAndKeepsTheRestInOrder)
{
    source.Add(0ms, "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ"); // more than one chunk
    queue.Start();
    WaitForSize(36);
    std::vector<unsigned char> buffer;
    ASSERT_EQ(queue.Read(buffer, 4, 200ms), STATUS_OK);
    EXPECT_EQ(Text(buffer), "0123");
    unsigned long rx = 0;
    ASSERT_EQ(queue.GetSize(rx), STATUS_OK);
    EXPECT_EQ(rx, 32u);
    ASSERT_EQ(queue.Read(buffer, 32, 200ms), STATUS_OK);
    EXPECT_EQ(Text(buffer), "456789ABCDEFGHIJKLMNOPQRSTUVWXYZ");
    ASSERT_EQ(queue.Read(buffer, 0, 200ms), STATUS_OK);
    EXPECT_TRUE(buffer.empty());
}

TEST_F(ReceiveQueueTest, DeadlineExpiryReturnsWhatArrived)
{
    source.Add(0ms, "abc");
    source.Add(100s, "late");
    source.FreezeTime();
    queue.Start();
    WaitForSize(3);
    std::vector<unsigned char> buffer(10, 'x');
    auto read = std::async(std::launch::async, [&] { return queue.Read(buffer, 10, 200ms); });
    while (read.wait_for(0s) != std::future_status::ready)
    {
        clock.Advance(10ms);
        read.wait_for(1ms);
    }
    ASSERT_EQ(read.get(), STATUS_READ_TIMEOUT);
    EXPECT_EQ(Text(buffer), "abc");
    EXPECT_GE(clock.Now(), Clock::TimePoint{} + 200ms);

    clock.SleepUntil(Clock::TimePoint{} + 100s);
    ASSERT_EQ(queue.Read(buffer, 4, 1s), STATUS_OK);
    EXPECT_EQ(Text(buffer), "late");
}

TEST_F(ReceiveQueueTest, ReadWithoutAnyArrivalTimesOutEmpty)
{
    queue.Start();
    std::vector<unsigned char> buffer(3, 'x');
    ASSERT_EQ(queue.Read(buffer, 3, 200ms), STATUS_READ_TIMEOUT);
    EXPECT_TRUE(buffer.empty());
}

TEST_F(ReceiveQueueTest, PurgeEmptiesQueueAndChipButLaterBytesStillCome)
{
    source.Add(0ms, "stale");
    queue.Start();
    WaitForSize(5);
    ASSERT_EQ(queue.Purge(), STATUS_OK);
    EXPECT_EQ(source.Flushes(), 1);
    unsigned long rx = 99;
    ASSERT_EQ(queue.GetSize(rx), STATUS_OK);
    EXPECT_EQ(rx, 0u);

    source.Add(clock.Now().time_since_epoch() + 10ms, "new");
    std::vector<unsigned char> buffer;
    ASSERT_EQ(queue.Read(buffer, 3, 200ms), STATUS_OK);
    EXPECT_EQ(Text(buffer), "new");
}

TEST_F(ReceiveQueueTest, PurgeWaitsForTheReadInFlightAndDropsItsBytes)
{
    source.CloseGate("in flight");
    queue.Start();
    source.WaitUntilInsideGate();

    auto purge = std::async(std::launch::async, [this] { return queue.Purge(); });
    while (!queue.IsPausePending())
        std::this_thread::yield();
    source.OpenGate(); // the reader's ReadSome returns its bytes only now
    ASSERT_EQ(purge.get(), STATUS_OK);

    EXPECT_FALSE(source.FlushedDuringRead());
    unsigned long rx = 99;
    ASSERT_EQ(queue.GetSize(rx), STATUS_OK);
    EXPECT_EQ(rx, 0u) << "bytes read before the purge must not survive it";
}

TEST_F(ReceiveQueueTest, PurgesRacingAStreamingReaderLeaveOnlyFreshBytes)
{
    source.Stream(true);
    queue.Start();
    std::vector<unsigned char> buffer;
    for (int i = 1; i <= 200; ++i)
    {
        ASSERT_EQ(queue.Purge(), STATUS_OK);
        ASSERT_EQ(queue.Read(buffer, 32, 200ms), STATUS_OK);
        for (unsigned char b : buffer)
            ASSERT_EQ(b, static_cast<unsigned char>(i)) << "a byte from before purge " << i;
    }
    EXPECT_FALSE(source.FlushedDuringRead());
}

TEST_F(ReceiveQueueTest, VanishedDeviceFailsEveryLaterCallWithItsText)
{
    const int gone = MakeErrorStatus("usb bulk read failed: No such device");
    source.Add(0ms, "ab");
    queue.Start();
    WaitForSize(2);
    std::vector<unsigned char> buffer;
    auto waiting = std::async(std::launch::async, [&] { return queue.Read(buffer, 10, 1000s); });
    source.FailWith(gone);
    EXPECT_EQ(waiting.get(), gone) << "a waiting read learns of it at once";
    unsigned long rx = 0;
    EXPECT_EQ(queue.GetSize(rx), gone);
    EXPECT_EQ(queue.Purge(), gone);
    EXPECT_EQ(queue.Read(buffer, 1, 0ms), gone);
    EXPECT_EQ(queue.GetFailure(), gone);
    EXPECT_EQ(Proxy::GetStatusAsString(gone), "usb bulk read failed: No such device");
}

TEST_F(ReceiveQueueTest, FullQueueHoldsTheReaderUntilDrained)
{
    ReceiveQueue small(source, clock, 16, 64);
    source.Stream(true);
    small.Start();
    unsigned long rx = 0;
    while (small.GetSize(rx) == STATUS_OK && rx < 64)
        std::this_thread::yield();
    std::vector<unsigned char> buffer;
    for (int i = 0; i < 10; ++i)
    {
        ASSERT_EQ(small.GetSize(rx), STATUS_OK);
        EXPECT_LT(rx, 64u + 16u) << "the reader went on past the limit";
        ASSERT_EQ(small.Read(buffer, 64, 200ms), STATUS_OK);
    }
    small.Stop();
}

TEST_F(ReceiveQueueTest, ActionRunsWithTheReaderPausedAndEmptiesTheQueue)
{
    source.Add(0ms, "before");
    queue.Start();
    WaitForSize(6);
    bool ran = false;
    ASSERT_EQ(queue.WithReaderPaused(
                  [&]
                  {
                      ran = true;
                      return 7;
                  }),
              7);
    EXPECT_TRUE(ran);
    unsigned long rx = 99;
    ASSERT_EQ(queue.GetSize(rx), STATUS_OK) << "a failing action is no device failure";
    EXPECT_EQ(rx, 0u);
}

TEST_F(ReceiveQueueTest, StopAndRestart)
{
    queue.Start();
    queue.Stop();
    queue.Stop();
    source.Add(0ms, "x");
    queue.Start();
    std::vector<unsigned char> buffer;
    ASSERT_EQ(queue.Read(buffer, 1, 200ms), STATUS_OK);
}

#include "link/ReceiveQueue.h"

#include "link/Proxy.h"

#include <algorithm>

namespace FTD2xx
{

namespace
{

// Read re-checks its clock at least this often (real time), so a deadline on a clock
// that others advance is noticed promptly.
constexpr auto kPollSlice = std::chrono::milliseconds(1);

} // namespace

ReceiveQueue::ReceiveQueue(ByteSource& source, Clock& clock, std::size_t chunk, std::size_t limit)
    : m_Source(source), m_Clock(clock), m_Chunk(std::max<std::size_t>(chunk, 1)),
      m_Limit(std::max<std::size_t>(limit, 1))
{
}

ReceiveQueue::~ReceiveQueue()
{
    Stop();
}

void ReceiveQueue::Start()
{
    std::lock_guard lock(m_Mutex);
    if (m_Reader.joinable())
        return;
    m_Stopping = false;
    m_Reader = std::thread([this] { ReaderLoop(); });
}

void ReceiveQueue::Stop()
{
    {
        std::lock_guard lock(m_Mutex);
        if (!m_Reader.joinable())
            return;
        m_Stopping = true;
    }
    m_Changed.notify_all();
    m_Reader.join();
    std::lock_guard lock(m_Mutex);
    m_Reader = std::thread();
}

void ReceiveQueue::ReaderLoop()
{
    std::vector<unsigned char> buffer(m_Chunk);
    std::unique_lock lock(m_Mutex);
    while (!m_Stopping && m_Failure == 0)
    {
        if (m_Pauses > 0 || m_Queue.Size() >= m_Limit)
        {
            m_Changed.wait(lock, [this]
                           { return m_Stopping || (m_Pauses == 0 && m_Queue.Size() < m_Limit); });
            continue;
        }
        m_ReaderBusy = true;
        lock.unlock();
        std::size_t received = 0;
        const int status = m_Source.ReadSome(buffer.data(), buffer.size(), received);
        lock.lock();
        m_ReaderBusy = false;
        if (status != STATUS_OK)
            m_Failure = status;
        else if (received)
            m_Queue.Append(buffer.data(), std::min(received, buffer.size()));
        // Also after an empty read: a waiting Read re-checks its deadline, a Purge
        // waiting for the reader to pause goes on.
        m_Changed.notify_all();
    }
}

int ReceiveQueue::GetSize(unsigned long& rx)
{
    std::lock_guard lock(m_Mutex);
    if (m_Failure)
        return m_Failure;
    rx = static_cast<unsigned long>(m_Queue.Size());
    return STATUS_OK;
}

int ReceiveQueue::Read(std::vector<unsigned char>& buffer, unsigned long length,
                       Clock::Duration timeout)
{
    const Clock::TimePoint deadline = m_Clock.Now() + timeout;
    std::unique_lock lock(m_Mutex);
    for (;;)
    {
        if (m_Failure)
            return m_Failure;
        if (m_Queue.Size() >= length)
        {
            const bool wasFull = m_Queue.Size() >= m_Limit;
            m_Queue.Take(length, buffer);
            if (wasFull)
                m_Changed.notify_all(); // the reader may go on
            return STATUS_OK;
        }
        const Clock::TimePoint now = m_Clock.Now();
        if (now >= deadline)
        {
            m_Queue.Take(m_Queue.Size(), buffer);
            return STATUS_READ_TIMEOUT;
        }
        const auto remaining = std::chrono::duration_cast<std::chrono::nanoseconds>(deadline - now);
        m_Changed.wait_for(lock, std::min<std::chrono::nanoseconds>(remaining, kPollSlice));
    }
}

int ReceiveQueue::WithReaderPaused(const std::function<int()>& action, bool emptyQueue)
{
    std::unique_lock lock(m_Mutex);
    if (m_Failure)
        return m_Failure;
    ++m_Pauses;
    m_Changed.notify_all();
    m_Changed.wait(lock, [this] { return !m_ReaderBusy; });
    lock.unlock();
    // Bytes that were on their way when the pause began are in the queue by now and
    // are dropped with it; the source holds nothing older than this point.
    const int status = action ? action() : STATUS_OK;
    lock.lock();
    if (emptyQueue)
        m_Queue.Clear();
    --m_Pauses;
    m_Changed.notify_all();
    return status;
}

int ReceiveQueue::Purge()
{
    return WithReaderPaused([this] { return m_Source.Flush(); });
}

int ReceiveQueue::GetFailure() const
{
    std::lock_guard lock(m_Mutex);
    return m_Failure;
}

bool ReceiveQueue::IsPausePending() const
{
    std::lock_guard lock(m_Mutex);
    return m_Pauses > 0;
}

} // namespace FTD2xx

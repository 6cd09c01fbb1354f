#pragma once

#include "link/ByteQueue.h"
#include "link/Clock.h"
#include "link/LinkExport.h"

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace FTD2xx
{

// Where a receive queue's bytes come from: the chip behind a USB link, or a test fake.
class FTD2XX_API ByteSource
{
public:
    virtual ~ByteSource() = default;
    // Waits briefly (about the chip's latency timer) for bytes and stores up to `capacity`
    // of them. A failure status means the device is gone: the queue stops reading.
    virtual int ReadSome(unsigned char* buffer, std::size_t capacity, std::size_t& received) = 0;
    // Drops what the chip and the library still hold. Only called while no ReadSome runs.
    virtual int Flush() = 0;
};

// The host receive queue of an open device. One reader thread drains the source into
// the queue without pause, so the chip's small buffer never overflows while the program
// collects only now and then. Read waits on the queue with a deadline of our own.
//
// After the source has failed, every call answers its failure status.
class FTD2XX_API ReceiveQueue
{
public:
    static constexpr std::size_t kDefaultChunk = 4096;
    // A run of 16,777,215 readings is 64 MiB; past twice that the reader stops draining.
    static constexpr std::size_t kDefaultLimit = std::size_t{128} << 20;

    explicit ReceiveQueue(ByteSource& source, Clock& clock = Clock::System(),
                          std::size_t chunk = kDefaultChunk, std::size_t limit = kDefaultLimit);
    ~ReceiveQueue(); // stops the reader
    ReceiveQueue(const ReceiveQueue&) = delete;
    ReceiveQueue& operator=(const ReceiveQueue&) = delete;

    void Start();
    void Stop(); // returns once the reader's current ReadSome has returned

    // rx = bytes waiting.
    int GetSize(unsigned long& rx);
    // Waits up to `timeout` for `length` bytes. `buffer` gets all of them with status 0,
    // or those that arrived with STATUS_READ_TIMEOUT.
    int Read(std::vector<unsigned char>& buffer, unsigned long length, Clock::Duration timeout);
    // Pauses the reader, flushes the source, empties the queue, resumes.
    int Purge();
    // Runs `action` (for instance a chip reset) with the reader paused; then empties the
    // queue as Purge does, unless told to keep it.
    int WithReaderPaused(const std::function<int()>& action, bool emptyQueue = true);

    // The source's failure, or 0.
    int GetFailure() const;
    // For tests: a pause has been asked for and the reader may not have seen it yet.
    bool IsPausePending() const;

private:
    void ReaderLoop();

    ByteSource& m_Source;
    Clock& m_Clock;
    const std::size_t m_Chunk;
    const std::size_t m_Limit;

    mutable std::mutex m_Mutex;
    std::condition_variable m_Changed;
    ByteQueue m_Queue;
    int m_Failure = 0;
    int m_Pauses = 0;          // pause requests in force
    bool m_ReaderBusy = false; // inside ReadSome
    bool m_Stopping = false;
    std::thread m_Reader;
};

} // namespace FTD2xx

#pragma once

#include "base/BaseExport.h"
#include "base/Result.h"

#include <memory>
#include <mutex>
#include <vector>

namespace zef
{

// Receives every dispatched message.
class ZEF_BASE_API MessageProcessor
{
public:
    virtual ~MessageProcessor() = default;
    virtual void Process(const Result& message) = 0;
};

// Hands each message to all its processors in the order they were added.
class ZEF_BASE_API MessageDispatcher
{
public:
    MessageDispatcher() = default;
    MessageDispatcher(const MessageDispatcher&) = delete;
    MessageDispatcher& operator=(const MessageDispatcher&) = delete;
    ~MessageDispatcher();

    MessageProcessor& AddProcessor(std::unique_ptr<MessageProcessor> processor);
    // Answers the processor, now owned by the caller; empty if it was not added here.
    std::unique_ptr<MessageProcessor> RemoveProcessor(MessageProcessor& processor);
    std::size_t GetProcessorCount() const;

    void Dispatch(const Result& message);

private:
    mutable std::recursive_mutex m_Mutex;
    std::vector<std::unique_ptr<MessageProcessor>> m_Processors;
};

} // namespace zef

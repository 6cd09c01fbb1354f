#include "base/MessageDispatcher.h"

#include <algorithm>

namespace zef
{

MessageDispatcher::~MessageDispatcher() = default;

MessageProcessor& MessageDispatcher::AddProcessor(std::unique_ptr<MessageProcessor> processor)
{
    std::lock_guard<std::recursive_mutex> lock(m_Mutex);
    m_Processors.push_back(std::move(processor));
    return *m_Processors.back();
}

std::unique_ptr<MessageProcessor> MessageDispatcher::RemoveProcessor(MessageProcessor& processor)
{
    std::lock_guard<std::recursive_mutex> lock(m_Mutex);
    auto it = std::find_if(m_Processors.begin(), m_Processors.end(),
                           [&](const auto& p) { return p.get() == &processor; });
    if (it == m_Processors.end())
        return nullptr;
    std::unique_ptr<MessageProcessor> removed = std::move(*it);
    m_Processors.erase(it);
    return removed;
}

std::size_t MessageDispatcher::GetProcessorCount() const
{
    std::lock_guard<std::recursive_mutex> lock(m_Mutex);
    return m_Processors.size();
}

void MessageDispatcher::Dispatch(const Result& message)
{
    // Recursive: a processor that fails an assertion dispatches again on the same thread.
    std::lock_guard<std::recursive_mutex> lock(m_Mutex);
    for (const auto& processor : m_Processors)
        processor->Process(message);
}

} // namespace zef

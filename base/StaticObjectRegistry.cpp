#include "base/StaticObjectRegistry.h"

namespace zef
{

StaticObjectRegistry& StaticObjectRegistry::Instance()
{
    // Constructed on first use, before any object it holds; destroyed with the library.
    static StaticObjectRegistry registry;
    return registry;
}

StaticObjectRegistry::~StaticObjectRegistry()
{
    DestroyAll();
}

void StaticObjectRegistry::Add(std::shared_ptr<void> object)
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    m_Objects.push_back(std::move(object));
}

void StaticObjectRegistry::DestroyAll()
{
    for (;;)
    {
        std::shared_ptr<void> last;
        {
            std::lock_guard<std::mutex> lock(m_Mutex);
            if (m_Objects.empty())
                return;
            last = std::move(m_Objects.back());
            m_Objects.pop_back();
        }
        // Destroyed outside the lock: a destructor may still use the registry.
        last.reset();
    }
}

std::size_t StaticObjectRegistry::GetCount() const
{
    std::lock_guard<std::mutex> lock(m_Mutex);
    return m_Objects.size();
}

} // namespace zef

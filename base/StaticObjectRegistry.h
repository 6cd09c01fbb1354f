#pragma once

#include "base/BaseExport.h"

#include <memory>
#include <mutex>
#include <vector>

namespace zef
{

// Owns the library's shared static objects and destroys them, newest first, when the library
// unloads.
class ZEF_BASE_API StaticObjectRegistry
{
public:
    static StaticObjectRegistry& Instance();

    template <class T> T& Adopt(std::unique_ptr<T> object)
    {
        T& ref = *object;
        Add(std::shared_ptr<void>(std::move(object)));
        return ref;
    }

    // Destroys every registered object, newest first.
    void DestroyAll();
    std::size_t GetCount() const;

    StaticObjectRegistry() = default;
    StaticObjectRegistry(const StaticObjectRegistry&) = delete;
    StaticObjectRegistry& operator=(const StaticObjectRegistry&) = delete;
    ~StaticObjectRegistry();

private:
    void Add(std::shared_ptr<void> object);

    mutable std::mutex m_Mutex;
    std::vector<std::shared_ptr<void>> m_Objects;
};

} // namespace zef

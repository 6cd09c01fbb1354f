#pragma once

#include <cstddef>
#include <cstring>
#include <vector>

namespace FTD2xx
{

// A FIFO of bytes that appends at the back and takes from the front without moving the
// rest on every take. Not thread-safe: its owners lock around it.
class ByteQueue
{
public:
    std::size_t Size() const { return m_Data.size() - m_Head; }
    bool Empty() const { return Size() == 0; }

    void Append(const unsigned char* bytes, std::size_t count)
    {
        m_Data.insert(m_Data.end(), bytes, bytes + count);
    }
    void Append(const std::vector<unsigned char>& bytes) { Append(bytes.data(), bytes.size()); }

    // Replaces `out` by the first min(count, Size()) bytes and drops them from the queue.
    void Take(std::size_t count, std::vector<unsigned char>& out)
    {
        count = count < Size() ? count : Size();
        out.resize(count);
        if (count)
            std::memcpy(out.data(), m_Data.data() + m_Head, count);
        m_Head += count;
        Compact();
    }

    void Clear()
    {
        m_Data.clear();
        m_Head = 0;
    }

private:
    // Moves the live bytes to the front once the consumed part dominates, so a queue
    // that is drained steadily stays bounded by what is actually waiting.
    void Compact()
    {
        if (m_Head == m_Data.size())
            Clear();
        else if (m_Head >= 4096 && m_Head * 2 >= m_Data.size())
        {
            m_Data.erase(m_Data.begin(), m_Data.begin() + static_cast<std::ptrdiff_t>(m_Head));
            m_Head = 0;
        }
    }

    std::vector<unsigned char> m_Data;
    std::size_t m_Head = 0;
};

} // namespace FTD2xx

#include "app/core/RecordSpool.h"

#include "app/core/Formats.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <unistd.h>

namespace App
{

namespace
{
namespace fs = std::filesystem;

std::string ShortHash(const std::string& text)
{
    // FNV-1a: a stable short name for a store, not a secret.
    std::uint32_t hash = 2166136261u;
    for (const unsigned char c : text)
        hash = (hash ^ c) * 16777619u;
    char out[9];
    std::snprintf(out, sizeof out, "%08x", hash);
    return out;
}

struct Fd
{
    int fd;
    ~Fd()
    {
        if (fd >= 0)
            ::close(fd);
    }
};

// A marker appears whole or not at all: a temporary file beside it, synced, renamed.
bool WriteAtomically(const std::string& path, const std::string& text)
{
    const std::string temporary = path + ".tmp";
    {
        Fd file{::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644)};
        if (file.fd < 0)
            return false;
        if (::write(file.fd, text.data(), text.size()) != ssize_t(text.size()) ||
            ::fsync(file.fd) != 0)
        {
            ::unlink(temporary.c_str());
            return false;
        }
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0)
    {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}
} // namespace

std::string RecordSpool::Marker(const std::string& uuid, const std::string& storeId,
                                const char* kind) const
{
    return (fs::path(m_Folder) / (uuid + "." + ShortHash(storeId) + "." + kind)).string();
}

std::string RecordSpool::JsonPath(const std::string& uuid) const
{
    return (fs::path(m_Folder) / (uuid + ".json")).string();
}

std::vector<std::string> RecordSpool::Records() const
{
    std::vector<std::string> uuids;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(m_Folder, error))
    {
        const fs::path& path = entry.path();
        if (path.extension() == ".json" && IsUuid(path.stem().string()))
            uuids.push_back(path.stem().string());
    }
    std::sort(uuids.begin(), uuids.end());
    return uuids;
}

std::size_t RecordSpool::Waiting(const std::string& storeId) const
{
    std::size_t waiting = 0;
    std::error_code error;
    for (const std::string& uuid : Records())
        waiting += !fs::exists(Marker(uuid, storeId, "sent"), error);
    return waiting;
}

std::string RecordSpool::Refusal(const std::string& uuid, const std::string& storeId) const
{
    std::ifstream in(Marker(uuid, storeId, "refused"));
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

SpoolForward RecordSpool::Forward(RecordStore& store) const
{
    SpoolForward result;
    std::error_code ignored;
    const std::vector<std::string> uuids = Records();
    for (const std::string& uuid : uuids)
    {
        const std::string sent = Marker(uuid, store.Id(), "sent");
        const std::string refusedMarker = Marker(uuid, store.Id(), "refused");
        if (fs::exists(sent, ignored))
            continue;
        if (!result.unreachable.empty())
        {
            ++result.waiting;
            continue;
        }
        const auto refuse = [&](const std::string& reason)
        {
            ++result.refused;
            ++result.waiting;
            result.refusals.push_back(uuid + ": " + reason);
            WriteAtomically(refusedMarker, store.Id() + "\n" + reason + "\n");
        };
        StoreRecord record;
        std::string error;
        if (!ReadStoreRecord(JsonPath(uuid), record, error))
        {
            refuse(error);
            continue;
        }
        if (record.uuid != uuid)
        {
            refuse("the file's name is not its uuid " + record.uuid);
            continue;
        }
        const RecordStore::Put put = store.Store(record, error);
        if (put == RecordStore::Put::REFUSED)
        {
            refuse(error);
            continue;
        }
        if (put == RecordStore::Put::UNREACHABLE)
        {
            ++result.waiting;
            result.unreachable = error;
            continue;
        }
        if (!WriteAtomically(sent, store.Id() + "\n"))
        {
            // Stored but not marked: the next pass finds it in the store and marks it.
            ++result.waiting;
            result.unreachable = "cannot write in " + m_Folder;
            continue;
        }
        fs::remove(refusedMarker, ignored);
        ++(put == RecordStore::Put::STORED ? result.stored : result.already);
    }
    return result;
}

SpoolForward ForwardSpool(const std::string& spoolFolder, const std::string& storeSpec)
{
    const RecordSpool spool(spoolFolder);
    std::string error;
    std::unique_ptr<RecordStore> store = MakeRecordStore(storeSpec, error);
    if (store && store->Open(error))
        return spool.Forward(*store);
    SpoolForward none;
    none.waiting = store ? spool.Waiting(store->Id()) : spool.Records().size();
    none.unreachable = error;
    return none;
}

std::size_t WaitingRecords(const std::string& spoolFolder, const std::string& storeSpec)
{
    std::string error;
    const std::unique_ptr<RecordStore> store = MakeRecordStore(storeSpec, error);
    return store ? RecordSpool(spoolFolder).Waiting(store->Id()) : 0;
}

std::string WaitingText(std::size_t waiting)
{
    if (waiting == 0)
        return {};
    return FormatCount(waiting) + (waiting == 1 ? " record" : " records") + " waiting to be sent";
}

std::vector<std::string> ForwardErrorLines(const SpoolForward& pass)
{
    std::vector<std::string> lines;
    for (const std::string& refusal : pass.refusals)
        lines.push_back("Record refused, kept in the spool: " + refusal);
    if (!pass.unreachable.empty())
        lines.push_back("Records not sent: " + pass.unreachable);
    return lines;
}

} // namespace App

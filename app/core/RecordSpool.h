#pragma once

#include "app/core/RecordStore.h"

#include <cstddef>
#include <string>
#include <vector>

namespace App
{

// What one pass over the spool did.
struct SpoolForward
{
    std::size_t stored = 0;
    std::size_t already = 0; // the store had them: marked sent, nothing written
    std::size_t refused = 0; // kept, with the reason beside them
    std::size_t waiting = 0; // not sent after the pass (refused ones included)
    // The store's answer when it could not be reached; the pass stopped there.
    std::string unreachable;
    // "<uuid>: <reason>" for each refused record.
    std::vector<std::string> refusals;
};

// The spool folder: every record is saved here first (<uuid>.json, complete once present,
// and its <uuid>.h5) and forwarded to a store from here. Nothing is ever deleted or changed:
// beside a record, <uuid>.<store>.sent says a store has it and <uuid>.<store>.refused holds
// the reason a store gave for refusing it, <store> being a short hash of the store's Id().
class RecordSpool
{
public:
    explicit RecordSpool(std::string folder) : m_Folder(std::move(folder)) {}
    const std::string& Folder() const { return m_Folder; }

    // The UUIDs of the complete records, sorted.
    std::vector<std::string> Records() const;
    std::size_t Waiting(const std::string& storeId) const;
    // Sends each record not yet marked sent to `store`, oldest name first; a record the store
    // already holds is only marked. Stops at the first record the store does not answer for.
    SpoolForward Forward(RecordStore& store) const;

    std::string JsonPath(const std::string& uuid) const;
    // The reason a store refused the record; empty when it did not.
    std::string Refusal(const std::string& uuid, const std::string& storeId) const;

private:
    std::string Marker(const std::string& uuid, const std::string& storeId, const char* kind) const;

    std::string m_Folder;
};

// One pass as a front end runs it: the store `storeSpec` names made, opened and sent the
// spool's waiting records. A store that cannot be named or opened leaves every record waiting,
// the reason in `unreachable`.
SpoolForward ForwardSpool(const std::string& spoolFolder, const std::string& storeSpec);
// The records in the spool that the store `storeSpec` names has not marked as sent; 0 for a
// store that cannot be named.
std::size_t WaitingRecords(const std::string& spoolFolder, const std::string& storeSpec);
// "1 record waiting to be sent", "1,204 records waiting to be sent"; empty for none.
std::string WaitingText(std::size_t waiting);
// The history's lines on a pass: an error line for each refused record and for a store out
// of reach; nothing when all went.
std::vector<std::string> ForwardErrorLines(const SpoolForward& pass);

} // namespace App

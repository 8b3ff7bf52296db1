// What a run lost, mailbox by mailbox: the Zarafa schema ties every object (store, folder,
// message, attachment) to a store through `hierarchy`, so the rows that survived and the key
// ranges of the pages that did not tell whose mail is gone, even when the rows themselves are.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace job {

// hierarchy.type of the objects the report counts.
enum class ObjectType : std::uint8_t { Unknown = 0, Store = 1, Folder = 3, Message = 5, Attachment = 7 };

struct ObjectLossCounts
{
    std::uint64_t lost = 0; // their own hierarchy row is gone
    std::uint64_t incomplete = 0; // their row survived, some of their properties did not
};

// One object the report names: lost, incomplete, or an orphan (its parent's row is gone).
struct LostObject
{
    enum class Loss { Row, Properties, Parent };
    std::uint32_t id = 0; // hierarchy id
    ObjectType type = ObjectType::Unknown;
    Loss loss = Loss::Row;
    std::uint32_t folder = 0; // a lost message's folder when known, else 0
};

struct FolderLoss
{
    std::uint32_t folder = 0; // hierarchy id; 0 when not known
    std::string name; // its PR_DISPLAY_NAME, empty when that is lost too
    std::uint64_t messages = 0;
};

struct MailboxLoss
{
    std::string user; // stores.user_name; empty when the mailbox cannot be told
    std::uint32_t store = 0; // the store's hierarchy id; 0 when not known
    ObjectLossCounts messages;
    ObjectLossCounts folders;
    ObjectLossCounts attachments;
    bool storeRowLost = false; // the store's own hierarchy row is gone
    std::uint64_t otherObjectsLost = 0; // lost objects whose type no surviving row tells
    std::uint64_t orphans = 0; // objects whose parent's row is gone
    std::vector<FolderLoss> messagesLostIn; // by folder, most first
    std::vector<LostObject> objects; // by id
};

struct MailboxLosses
{
    bool zarafa = false; // the definitions are Zarafa's: the section is given at all
    // Why the mailboxes could not be told apart (hierarchy or stores not read); empty when they
    // could.
    std::string unavailable;
    std::uint64_t hierarchyRangesLost = 0; // key ranges of `hierarchy` whose rows are gone
    std::uint64_t propertyRangesLost = 0; // the same of `properties`
    std::vector<MailboxLoss> mailboxes; // affected mailboxes only, by user name; unknown last
};

// "user anna: 12 messages lost in Inbox, 3 attachments incomplete".
std::string mailboxLine(const MailboxLoss &mailbox);

// "message", "folder", "attachment", "store", "unknown": the names the report uses.
const char *objectTypeName(ObjectType type);

} // namespace job

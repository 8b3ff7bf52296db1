#include "job/mailbox_losses.h"

namespace job {

namespace {

std::string counted(std::uint64_t count, const char *one, const char *many)
{
    return std::to_string(count) + " " + (count == 1 ? one : many);
}

std::string folderName(const FolderLoss &folder)
{
    if (!folder.name.empty()) {
        return folder.name;
    }
    return folder.folder == 0 ? "an unknown folder" : "folder " + std::to_string(folder.folder);
}

} // namespace

const char *objectTypeName(ObjectType type)
{
    switch (type) {
    case ObjectType::Store:
        return "store";
    case ObjectType::Folder:
        return "folder";
    case ObjectType::Message:
        return "message";
    case ObjectType::Attachment:
        return "attachment";
    default:
        return "unknown";
    }
}

std::string mailboxLine(const MailboxLoss &mailbox)
{
    std::vector<std::string> parts;
    if (mailbox.messages.lost > 0) {
        std::string part = counted(mailbox.messages.lost, "message", "messages") + " lost";
        if (mailbox.messagesLostIn.size() == 1) {
            part += " in " + folderName(mailbox.messagesLostIn.front());
        } else if (!mailbox.messagesLostIn.empty()) {
            part += " (";
            for (std::size_t i = 0; i < mailbox.messagesLostIn.size(); ++i) {
                part += (i > 0 ? ", " : "") + std::to_string(mailbox.messagesLostIn[i].messages)
                    + " in " + folderName(mailbox.messagesLostIn[i]);
            }
            part += ")";
        }
        parts.push_back(part);
    }
    const auto add = [&](std::uint64_t count, const char *one, const char *many, const char *what) {
        if (count > 0) {
            parts.push_back(counted(count, one, many) + what);
        }
    };
    add(mailbox.messages.incomplete, "message", "messages", " incomplete");
    add(mailbox.folders.lost, "folder", "folders", " lost");
    add(mailbox.folders.incomplete, "folder", "folders", " incomplete");
    add(mailbox.attachments.lost, "attachment", "attachments", " lost");
    add(mailbox.attachments.incomplete, "attachment", "attachments", " incomplete");
    if (mailbox.storeRowLost) {
        parts.emplace_back("the store's own row lost");
    }
    add(mailbox.otherObjectsLost, "other object", "other objects", " lost");
    add(mailbox.orphans, "object without its parent", "objects without their parent", "");
    std::string line = mailbox.store == 0 ? "unknown mailbox" : "user " + mailbox.user;
    line += ":";
    for (std::size_t i = 0; i < parts.size(); ++i) {
        line += (i > 0 ? ", " : " ") + parts[i];
    }
    return line;
}

} // namespace job

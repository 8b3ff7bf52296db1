// From the evidence to the mailboxes: which objects lost their row, which some of their
// properties, which their parent, and whose store each belongs to.
#include "job/mailbox_evidence.h"

#include <algorithm>
#include <limits>
#include <map>

namespace job {

namespace {

bool counted(ObjectType type)
{
    return type == ObjectType::Message || type == ObjectType::Folder
        || type == ObjectType::Attachment;
}

// The ids a lost range covers, as a half-open interval: a low bound that is a surviving row is
// not in it, the high bound (the next surviving page's first row) never is.
std::pair<std::uint64_t, std::uint64_t> span(const MailboxEvidence::IdRange &range)
{
    const std::uint64_t low = range.low ? *range.low + (range.lowRead ? 1 : 0) : 0;
    const std::uint64_t high
        = range.high ? *range.high : std::uint64_t { std::numeric_limits<std::uint32_t>::max() } + 1;
    return { low, high };
}

} // namespace

class MailboxJudgement
{
public:
    explicit MailboxJudgement(const MailboxEvidence &evidence)
        : m_e(evidence)
    {
        m_ids.reserve(m_e.m_objects.size());
        m_e.m_objects.forEach([this](std::uint32_t id, const MailboxEvidence::Object &) {
            m_ids.push_back(id); // rising
        });
        for (const auto &store : m_e.m_stores) {
            m_stores[store.hierarchyId] = &store;
        }
        learnFirstTags();
    }

    MailboxLosses judge()
    {
        MailboxLosses out;
        out.zarafa = true;
        out.hierarchyRangesLost = m_e.m_hierarchyLost.size();
        out.propertyRangesLost = m_e.m_propertiesLost.size();
        for (const auto &columns : m_e.m_tables) {
            if ((columns.role == MailboxEvidence::Role::Hierarchy
                    || columns.role == MailboxEvidence::Role::Stores)
                && !columns.read) {
                out.unavailable = columns.dictionaryName
                    + " could not be read: the losses cannot be told by mailbox";
                return out;
            }
        }
        std::vector<bool> rowLost(m_ids.size()), propertiesLost(m_ids.size());
        for (const auto &range : m_e.m_hierarchyLost) {
            mark(range, rowLost);
        }
        for (const auto &range : m_e.m_propertiesLost) {
            mark(range, propertiesLost);
            markBoundary(range, propertiesLost);
        }
        for (std::size_t i = 0; i < m_ids.size(); ++i) {
            const std::uint32_t id = m_ids[i];
            const MailboxEvidence::Object &object = *m_e.m_objects.find(id);
            if (!object.rowRead) {
                // Only a range of `hierarchy` that is gone makes a missing row a loss of this
                // run, and only a row that another row names is known to have existed.
                if (rowLost[i] && (object.named || object.hasProperties)) {
                    add(id, LostObject { id, object.hinted, LostObject::Loss::Row, object.folder });
                }
                continue;
            }
            if (counted(object.type) && (propertiesLost[i] || object.propertyLeftOut)) {
                add(id, LostObject { id, object.type, LostObject::Loss::Properties, 0 });
            }
            if (object.parent != 0 && !rowRead(object.parent)) {
                add(id, LostObject { id, object.type, LostObject::Loss::Parent, 0 });
            }
        }
        for (auto &[store, mailbox] : m_mailboxes) {
            finish(mailbox);
            out.mailboxes.push_back(std::move(mailbox));
        }
        std::stable_sort(out.mailboxes.begin(), out.mailboxes.end(),
            [](const MailboxLoss &a, const MailboxLoss &b) {
                if (a.store == 0 || b.store == 0) {
                    return a.store != 0 && b.store == 0;
                }
                return a.user < b.user;
            });
        return out;
    }

private:
    // The tag that most objects of a kind start with: an object at the edge of a lost range
    // whose first surviving tag sorts after it lost the rows before.
    void learnFirstTags()
    {
        std::map<std::pair<ObjectType, std::uint16_t>, std::uint64_t> seen;
        m_e.m_objects.forEach([&seen](std::uint32_t, const MailboxEvidence::Object &object) {
            if (object.rowRead && object.hasProperties) {
                ++seen[{ object.type, object.firstTag }];
            }
        });
        std::map<ObjectType, std::uint64_t> best;
        for (const auto &[key, count] : seen) {
            if (count > best[key.first]) {
                best[key.first] = count;
                m_firstTag[key.first] = key.second;
            }
        }
    }

    void mark(const MailboxEvidence::IdRange &range, std::vector<bool> &marks) const
    {
        const auto [low, high] = span(range);
        auto it = std::lower_bound(m_ids.begin(), m_ids.end(), low);
        for (; it != m_ids.end() && *it < high; ++it) {
            marks[static_cast<std::size_t>(it - m_ids.begin())] = true;
        }
    }

    // The object whose row opens the next surviving page may have had rows on the lost one.
    void markBoundary(const MailboxEvidence::IdRange &range, std::vector<bool> &marks) const
    {
        if (!range.high) {
            return;
        }
        const auto it = std::lower_bound(m_ids.begin(), m_ids.end(), *range.high);
        if (it == m_ids.end() || *it != *range.high) {
            return;
        }
        const auto &object = *m_e.m_objects.find(*it);
        const auto first = m_firstTag.find(object.type);
        if (first != m_firstTag.end() && first->second < range.highTag) {
            marks[static_cast<std::size_t>(it - m_ids.begin())] = true;
        }
    }

    bool rowRead(std::uint32_t id) const
    {
        const auto *object = m_e.m_objects.find(id);
        return object && object->rowRead;
    }

    // The store an object belongs to: up its parents (or a lost message's folder) to a store's
    // own row; where that chain breaks, the store of the owner its rows name.
    std::uint32_t storeOf(std::uint32_t id) const
    {
        std::uint32_t owner = 0;
        std::uint32_t current = id;
        for (int step = 0; step < 64; ++step) {
            if (m_stores.count(current)) {
                return current;
            }
            const auto *found = m_e.m_objects.find(current);
            if (!found) {
                break;
            }
            const auto &object = *found;
            if (owner == 0) {
                owner = object.owner;
            }
            if (object.rowRead && object.parent != 0) {
                current = object.parent;
            } else if (object.folder != 0) {
                current = object.folder;
            } else {
                break;
            }
        }
        const MailboxEvidence::Store *match = nullptr;
        for (const auto &store : m_e.m_stores) {
            if (owner != 0 && store.userId == owner) {
                if (match) {
                    return 0; // two stores of one user: the owner does not tell which
                }
                match = &store;
            }
        }
        return match ? match->hierarchyId : 0;
    }

    void add(std::uint32_t id, const LostObject &lost)
    {
        const std::uint32_t store = storeOf(id);
        MailboxLoss &mailbox = m_mailboxes[store];
        if (mailbox.objects.empty()) {
            mailbox.store = store;
            if (const auto it = m_stores.find(store); it != m_stores.end()) {
                mailbox.user = it->second->userName;
            }
        }
        mailbox.objects.push_back(lost);
        if (lost.loss == LostObject::Loss::Parent) {
            ++mailbox.orphans;
            return;
        }
        const bool row = lost.loss == LostObject::Loss::Row;
        const auto count = [&](ObjectLossCounts &counts) { ++(row ? counts.lost : counts.incomplete); };
        switch (lost.type) {
        case ObjectType::Message:
            count(mailbox.messages);
            if (row) {
                noteFolder(mailbox, lost.folder);
            }
            break;
        case ObjectType::Folder:
            count(mailbox.folders);
            break;
        case ObjectType::Attachment:
            count(mailbox.attachments);
            break;
        case ObjectType::Store:
            mailbox.storeRowLost = mailbox.storeRowLost || row;
            break;
        default:
            if (row) {
                ++mailbox.otherObjectsLost;
            }
            break;
        }
    }

    void noteFolder(MailboxLoss &mailbox, std::uint32_t folder) const
    {
        for (auto &entry : mailbox.messagesLostIn) {
            if (entry.folder == folder) {
                ++entry.messages;
                return;
            }
        }
        FolderLoss entry;
        entry.folder = folder;
        if (const auto it = m_e.m_displayNames.find(folder); folder != 0 && it != m_e.m_displayNames.end()) {
            entry.name = it->second;
        }
        entry.messages = 1;
        mailbox.messagesLostIn.push_back(std::move(entry));
    }

    static void finish(MailboxLoss &mailbox)
    {
        std::stable_sort(mailbox.messagesLostIn.begin(), mailbox.messagesLostIn.end(),
            [](const FolderLoss &a, const FolderLoss &b) { return a.messages > b.messages; });
        std::stable_sort(mailbox.objects.begin(), mailbox.objects.end(),
            [](const LostObject &a, const LostObject &b) { return a.id < b.id; });
    }

    const MailboxEvidence &m_e;
    std::vector<std::uint32_t> m_ids;
    std::map<std::uint32_t, const MailboxEvidence::Store *> m_stores;
    std::map<ObjectType, std::uint16_t> m_firstTag;
    std::map<std::uint32_t, MailboxLoss> m_mailboxes;
};

MailboxLosses MailboxEvidence::judge() const { return MailboxJudgement(*this).judge(); }

} // namespace job

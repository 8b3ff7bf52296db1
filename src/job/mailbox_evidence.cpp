#include "job/mailbox_evidence.h"

#include "innodb/lost_key_ranges.h"
#include "job/folder_listing.h"

#include <algorithm>

namespace job {

namespace {

// PR_DISPLAY_NAME: a folder's name, shown with the messages it lost.
constexpr std::uint16_t kDisplayName = 0x3001;
// Tags only one kind of object carries: what a lost object was when no row of `hierarchy` says.
constexpr std::uint16_t kMessageClass = 0x001A;
constexpr std::uint16_t kAttachSize = 0x0E20;
constexpr std::uint16_t kAttachFilename = 0x3704;
constexpr std::uint16_t kAttachMethod = 0x3705;
constexpr std::uint16_t kContentCount = 0x3602;
constexpr std::uint16_t kContainerClass = 0x3613;

std::optional<std::size_t> columnIndex(const frm::FrmTableEntry &table, std::string_view name)
{
    for (std::size_t i = 0; i < table.definitionOrder.size(); ++i) {
        if (equalsIgnoringCase(table.definitionOrder[i].name, name)) {
            return i;
        }
    }
    return std::nullopt;
}

const frm::FrmTableEntry *tableNamed(
    const std::vector<frm::FrmTableEntry> &tables, std::string_view name)
{
    for (const auto &table : tables) {
        if (equalsIgnoringCase(table.tableName, name)) {
            return &table;
        }
    }
    return nullptr;
}

std::uint64_t number(const innodb::FieldValue &value)
{
    switch (value.kind) {
    case innodb::ValueKind::Unsigned:
        return value.unsignedInteger;
    case innodb::ValueKind::Signed:
        return value.integer < 0 ? 0 : static_cast<std::uint64_t>(value.integer);
    default:
        return 0;
    }
}

std::uint32_t id32(const innodb::FieldValue &value)
{
    return static_cast<std::uint32_t>(number(value));
}

std::string text(const innodb::FieldValue &value)
{
    if (value.kind != innodb::ValueKind::Bytes) {
        return value.text;
    }
    const auto bytes = value.bytes.memory();
    return std::string(bytes.begin(), bytes.end());
}

ObjectType typeOfTag(std::uint16_t tag)
{
    switch (tag) {
    case kMessageClass:
        return ObjectType::Message;
    case kAttachSize:
    case kAttachFilename:
    case kAttachMethod:
        return ObjectType::Attachment;
    case kContentCount:
    case kContainerClass:
        return ObjectType::Folder;
    default:
        return ObjectType::Unknown;
    }
}

} // namespace

std::unique_ptr<MailboxEvidence> MailboxEvidence::forTables(
    const std::vector<frm::FrmTableEntry> &tables)
{
    const auto *hierarchy = tableNamed(tables, "hierarchy");
    const auto *stores = tableNamed(tables, "stores");
    if (!hierarchy || !stores) {
        return nullptr;
    }
    auto evidence = std::make_unique<MailboxEvidence>();
    const auto add = [&](const frm::FrmTableEntry &table, Role role,
                         std::initializer_list<std::pair<std::size_t TableColumns::*, const char *>>
                             columns) {
        TableColumns found;
        found.role = role;
        found.dictionaryName = table.dictionaryName;
        for (const auto &[member, name] : columns) {
            const auto index = columnIndex(table, name);
            if (!index) {
                return false;
            }
            found.*member = *index;
        }
        found.idSigned = !table.definitionOrder[found.id].isUnsigned;
        evidence->m_tables.push_back(std::move(found));
        return true;
    };
    using C = TableColumns;
    if (!add(*hierarchy, Role::Hierarchy,
            { { &C::id, "id" }, { &C::parent, "parent" }, { &C::type, "type" },
                { &C::owner, "owner" } })
        || !add(*stores, Role::Stores,
            { { &C::id, "hierarchy_id" }, { &C::userId, "user_id" },
                { &C::userName, "user_name" } })) {
        return nullptr;
    }
    // The others only add evidence; a database without them still has its mailboxes.
    if (const auto *table = tableNamed(tables, "properties")) {
        add(*table, Role::Properties,
            { { &C::id, "hierarchyid" }, { &C::tag, "tag" }, { &C::valString, "val_string" } });
    }
    if (const auto *table = tableNamed(tables, "tproperties")) {
        add(*table, Role::TProperties, { { &C::id, "hierarchyid" }, { &C::folder, "folderid" } });
    }
    if (const auto *table = tableNamed(tables, "singleinstances")) {
        add(*table, Role::Attachments, { { &C::id, "hierarchyid" } });
    }
    for (const char *name : { "mvproperties", "indexedproperties" }) {
        if (const auto *table = tableNamed(tables, name)) {
            add(*table, Role::Names, { { &C::id, "hierarchyid" } });
        }
    }
    return evidence;
}

const MailboxEvidence::TableColumns *MailboxEvidence::columnsOf(
    const innodb::DecodedRow &row) const
{
    for (const auto &table : m_tables) {
        if (equalsIgnoringCase(table.dictionaryName, row.dictionaryName())) {
            return &table;
        }
    }
    return nullptr;
}

bool MailboxEvidence::wants(const frm::FrmTableEntry &table) const
{
    return std::any_of(m_tables.begin(), m_tables.end(), [&](const TableColumns &columns) {
        return equalsIgnoringCase(columns.dictionaryName, table.dictionaryName);
    });
}

void MailboxEvidence::noteRow(const innodb::DecodedRow &row)
{
    const TableColumns *columns = columnsOf(row);
    if (!columns) {
        return;
    }
    const auto &v = row.values;
    const std::uint32_t id = id32(v[columns->id]);
    switch (columns->role) {
    case Role::Hierarchy: {
        Object &self = object(id);
        self.rowRead = true;
        self.parent = id32(v[columns->parent]);
        self.type = static_cast<ObjectType>(number(v[columns->type]) & 0xFF);
        self.owner = id32(v[columns->owner]);
        if (self.parent != 0) {
            Object &parent = object(self.parent);
            parent.named = true;
            if (!parent.rowRead) {
                parent.owner = self.owner; // its own row, when read, says
            }
            // What a parent is follows from its child: an attachment's is a message, a
            // message's a folder.
            if (parent.hinted == ObjectType::Unknown) {
                parent.hinted = self.type == ObjectType::Attachment ? ObjectType::Message
                    : self.type == ObjectType::Message || self.type == ObjectType::Folder
                    ? ObjectType::Folder
                    : ObjectType::Unknown;
            }
        }
        break;
    }
    case Role::Stores:
        m_stores.push_back(Store { id, id32(v[columns->userId]), text(v[columns->userName]) });
        object(id).named = true;
        object(id).hinted = ObjectType::Store;
        break;
    case Role::Properties: {
        Object &self = object(id);
        const auto tag = static_cast<std::uint16_t>(number(v[columns->tag]));
        self.hasProperties = true;
        self.firstTag = std::min(self.firstTag, tag);
        if (const ObjectType type = typeOfTag(tag); type != ObjectType::Unknown) {
            self.hinted = self.hinted == ObjectType::Unknown ? type : self.hinted;
        }
        if (tag == kDisplayName && !v[columns->valString].isNull()) {
            m_displayNames[id] = text(v[columns->valString]);
        }
        break;
    }
    case Role::TProperties: {
        Object &self = object(id);
        self.named = true;
        self.folder = id32(v[columns->folder]);
        self.hinted = ObjectType::Message;
        object(self.folder).named = true;
        object(self.folder).hinted = ObjectType::Folder;
        break;
    }
    case Role::Attachments:
        object(id).named = true;
        object(id).hinted = ObjectType::Attachment;
        break;
    case Role::Names:
        object(id).named = true;
        break;
    }
}

void MailboxEvidence::noteRowLeftOut(const innodb::DecodedRow &row)
{
    const TableColumns *columns = columnsOf(row);
    if (columns && columns->role == Role::Properties && !row.key.empty()) {
        if (const auto id = innodb::keyFieldNumber(row.key, 0, columns->idSigned)) {
            object(static_cast<std::uint32_t>(*id)).propertyLeftOut = true;
        }
    }
}

void MailboxEvidence::noteTableRead(
    const frm::FrmTableEntry &table, bool read, const std::vector<innodb::KeyRange> &lost)
{
    for (auto &columns : m_tables) {
        if (!equalsIgnoringCase(columns.dictionaryName, table.dictionaryName)) {
            continue;
        }
        columns.read = read;
        if (columns.role != Role::Hierarchy && columns.role != Role::Properties) {
            continue;
        }
        auto &ranges = columns.role == Role::Hierarchy ? m_hierarchyLost : m_propertiesLost;
        const auto id = [&](const std::optional<innodb::KeyBytes> &key)
            -> std::optional<std::uint32_t> {
            if (!key) {
                return std::nullopt;
            }
            const auto value = innodb::keyFieldNumber(*key, 0, columns.idSigned);
            return value ? std::optional<std::uint32_t>(static_cast<std::uint32_t>(*value))
                         : std::nullopt;
        };
        for (const innodb::KeyRange &range : lost) {
            IdRange ids { id(range.low), range.lowRead, id(range.high), 0 };
            if (range.high && range.high->size() > 1) {
                ids.highTag = static_cast<std::uint16_t>(
                    innodb::keyFieldNumber(*range.high, 1, false).value_or(0));
            }
            ranges.push_back(ids);
        }
    }
}

} // namespace job

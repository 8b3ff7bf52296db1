// The evidence of a data pass about mailboxes: the surviving rows of Zarafa's `hierarchy`,
// `stores`, `properties`, `tproperties` and the tables that name objects by hierarchy id, and the
// key ranges of their lost pages. The data pass taps the rows on their way to the rebuilt tables;
// judge() then maps the losses to users and folders (mailbox_losses.h).
#pragma once

#include "frm/table_definition.h"
#include "innodb/index_tree.h"
#include "innodb/row_sink.h"
#include "job/dense_id_map.h"
#include "job/mailbox_losses.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace job {

class MailboxEvidence
{
public:
    // Null when `tables` are not Zarafa's (no `hierarchy` and `stores` with their columns): other
    // databases get the table-level report only.
    static std::unique_ptr<MailboxEvidence> forTables(const std::vector<frm::FrmTableEntry> &tables);

    // Whether the rows of `table` are evidence.
    bool wants(const frm::FrmTableEntry &table) const;
    void noteRow(const innodb::DecodedRow &row);
    // A row left out for a damaged long value: its object lost that property.
    void noteRowLeftOut(const innodb::DecodedRow &row);
    // The table's pass is over: `read` when its rows could be read (some or all), with the key
    // ranges whose rows are gone.
    void noteTableRead(
        const frm::FrmTableEntry &table, bool read, const std::vector<innodb::KeyRange> &lost);

    MailboxLosses judge() const;

    struct Object
    {
        std::uint32_t parent = 0;
        // hierarchy.owner; while its own row is not read, the owner its last child row names
        // (for an object whose row is gone)
        std::uint32_t owner = 0;
        std::uint32_t folder = 0; // tproperties.folderid: the folder of a message
        std::uint16_t firstTag = 0xFFFF; // the lowest surviving property tag
        ObjectType type = ObjectType::Unknown; // hierarchy.type
        // What other rows tell of it; always a named type, so four bits hold it. Bits here and
        // below, so that an object of a large store takes 16 bytes.
        ObjectType hinted : 4 = ObjectType::Unknown;
        bool rowRead : 1 = false; // its hierarchy row survived
        bool hasProperties : 1 = false;
        bool propertyLeftOut : 1 = false;
        bool named : 1 = false; // some other row names it (child, tproperties, singleinstances)
    };
    // Ids of a lost key range of `hierarchy` or `properties`: the hierarchy ids from `low` (the
    // first id on the lost page; after it when the bound is a surviving row) to `high`, the first
    // id of the next surviving page, with that row's tag.
    struct IdRange
    {
        std::optional<std::uint32_t> low;
        bool lowRead = false;
        std::optional<std::uint32_t> high;
        std::uint16_t highTag = 0;
    };

    enum class Role { Hierarchy, Stores, Properties, TProperties, Attachments, Names };
    struct TableColumns
    {
        Role role = Role::Names;
        std::string dictionaryName;
        std::size_t id = 0; // hierarchy.id, stores.hierarchy_id, *.hierarchyid
        std::size_t parent = 0, type = 0, owner = 0; // hierarchy
        std::size_t userId = 0, userName = 0; // stores
        std::size_t tag = 0, valString = 0; // properties
        std::size_t folder = 0; // tproperties.folderid
        bool idSigned = false;
        bool read = false;
    };
    struct Store
    {
        std::uint32_t hierarchyId = 0;
        std::uint32_t userId = 0;
        std::string userName;
    };

private:
    const TableColumns *columnsOf(const innodb::DecodedRow &row) const;
    Object &object(std::uint32_t id) { return m_objects[id]; }

    std::vector<TableColumns> m_tables;
    DenseIdMap<Object> m_objects;
    std::unordered_map<std::uint32_t, std::string> m_displayNames;
    std::vector<Store> m_stores;
    std::vector<IdRange> m_hierarchyLost;
    std::vector<IdRange> m_propertiesLost;

    friend class MailboxJudgement;
};

static_assert(sizeof(MailboxEvidence::Object) == 16);

// Hands each row to the evidence on its way to `next`.
class MailboxEvidenceTap : public innodb::RowSink
{
public:
    MailboxEvidenceTap(innodb::RowSink &next, MailboxEvidence &evidence)
        : m_next(next)
        , m_evidence(evidence)
    {
    }
    void acceptRow(const innodb::DecodedRow &row) override
    {
        m_evidence.noteRow(row);
        m_next.acceptRow(row);
    }
    void rowLeftOut(const innodb::DecodedRow &row) override
    {
        m_evidence.noteRowLeftOut(row);
        m_next.rowLeftOut(row);
    }

private:
    innodb::RowSink &m_next;
    MailboxEvidence &m_evidence;
};

} // namespace job

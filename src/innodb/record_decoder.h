// RecordDecoder: turns the user records of a table's leaf pages (clustered index records in the
// new-style COMPACT and DYNAMIC formats or the old-style REDUNDANT one, chosen per page) into
// DecodedRows for a RowSink.
#pragma once

#include "frm/table_definition.h"
#include "innodb/decoded_row.h"
#include "innodb/index_tree.h"
#include "innodb/instant_alter.h"
#include "innodb/long_value_store.h"
#include "innodb/page_layout.h"
#include "innodb/page_salvage.h"
#include "innodb/page_source.h"
#include "innodb/row_sink.h"
#include "innodb/value_decoders.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace innodb {

struct DecodeOptions
{
    bool includeDeleted = false; // hand on delete-marked records too (marked as such)
    // A row whose long value cannot be read whole is left out by default (RowSink::rowLeftOut);
    // with this set it is handed on with the value cut where the damage starts, and the row
    // names the cut columns (DecodedRow::cutColumns).
    bool keepDamagedValues = false;
    std::function<bool()> stopRequested; // polled before each record; may be empty
};

struct PageDecodeCounts
{
    std::uint64_t recordsWalked = 0; // user records reached through the chain
    std::uint64_t rowsEmitted = 0; // rows handed to the sink
    std::uint64_t deleteMarkedSkipped = 0; // delete-marked records left out
    std::uint64_t recordsRejected = 0; // records whose bytes do not fit the table: dropped
    std::uint64_t valuesTruncated = 0; // long values cut at damage, their rows kept on request
    std::uint64_t rowsWithDamagedLongValues = 0; // rows left out: a long value is not whole
    std::uint64_t pagesRejected = 0; // pages this decoder cannot read at all

    PageDecodeCounts &operator+=(const PageDecodeCounts &other);
};

struct PageLayoutCheck
{
    bool judged = true; // false when the page holds a record form the check cannot judge
    bool consistent = true;
    std::string reason; // the first inconsistency: "record at 412: ..."
};

class RecordDecoder
{
public:
    // `table`, `pages` and `store` must outlive the decoder. `pages` is the tablespace the
    // overflow pages of external values are read from.
    RecordDecoder(const frm::FrmTableEntry &table, PageSource &pages, LongValueStore &store,
        DecodeOptions options = {});

    // False when a column has a type whose layout is unknown; every page is then rejected.
    bool usable() const { return m_problem.empty(); }
    const std::string &problem() const { return m_problem; }
    // True when the records start with the table's own key, false when with a hidden DB_ROW_ID.
    bool hasKey() const { return m_keyFields > 0; }
    // The clustered key as the tree walk needs it to read node pointers.
    KeyLayout keyLayout() const;

    // MariaDB's instant ALTER TABLE (instant_alter.h) leaves a clustered root of type 18 that
    // names how many index fields the records written before it have, hidden fields counted.
    // Records then come in three kinds: older ones with those core fields only, newer ones that
    // say how many fields they carry, and one hidden metadata record with the added columns'
    // defaults, which fill in whatever a record lacks. False, and nothing changed, when the root
    // cannot be this table's (a damaged root).
    bool setInstantRoot(const InstantRoot &root);
    bool instant() const { return m_instantRoot; }
    // Once columns were dropped or reordered in place the metadata record, which heads the
    // leftmost leaf, also maps the index fields to the table's columns: no record can be read
    // before it is known. Learns the map and the defaults from `leaf` when its first record is
    // the metadata record; the map's BLOB is read from the decoder's tablespace. Fails, naming
    // the reason, when the record is there but unreadable or does not fit the definition.
    common::Status learnInstantMetadata(ConstPage leaf);
    bool waitsForColumnMap() const { return m_columnMapExpected && !m_columnMapKnown; }
    // Whether delete-marked records are handed on; the table reader turns it on for a damaged
    // tree, whose deleted keys must still hide stale copies on orphaned pages.
    bool includesDeleted() const { return m_options.includeDeleted; }
    void setIncludeDeleted(bool include) { m_options.includeDeleted = include; }

    // Decodes the user records of one leaf page: from the infimum along the next-record links,
    // at most PAGE_N_RECS of them, every read inside the page. Hands each row to `sink`.
    PageDecodeCounts decodePage(ConstPage page, std::uint32_t pageNumber, RowSink &sink);

    // Whether the records of a leaf page fit this table's definition, without decoding a value
    // (record_layout_check.cpp). A column read with the wrong width shifts every later one: the
    // decoded end of a record then runs into its neighbour's header or past the heap top, a
    // length exceeds its column's type, or a fixed value is impossible for its type.
    PageLayoutCheck checkPageLayout(ConstPage page);

    // The rows of a leaf page that failed its checks, as far as its records prove themselves
    // (page_salvage.h). `bounds` are the keys the page may hold; they are checked only for keys
    // whose stored bytes sort as the index does (integers, binary strings).
    SalvageCounts salvagePage(
        ConstPage page, std::uint32_t pageNumber, const KeyRange &bounds, SalvageSink &sink);

private:
    // A record start the salvage considers, with where its bytes lie (page_salvage.cpp).
    struct SalvageRecord;
    // Whether a new-style record at `origin` passes every check that needs no neighbour.
    bool salvageCandidate(ConstPage page, std::size_t origin, std::size_t heapEnd,
        std::size_t heapNumbers, SalvageRecord &out);
    SalvageCounts salvageOldStylePage(ConstPage page, std::uint32_t pageNumber,
        std::size_t heapEnd, const KeyRange &bounds, bool ordered, SalvageSink &sink);
    // Why the values m_row now holds may be wrong though the record passed: text that is not
    // well formed in its character set, a long value cut short; empty when there is nothing.
    std::string salvagedValueDoubt() const;
    // Whether the stored key bytes sort as the index does, so that key order can be checked.
    bool keyInByteOrder() const;

    // One index field of a clustered record, past the hidden ones for the others.
    struct Field
    {
        int definitionIndex; // the column; -1 for one dropped in place, whose bytes are skipped
        ColumnFormat format;
        int nullBit; // index among the nullable fields, -1 when NOT NULL
    };
    // LongValueDamaged: a long value cannot be read whole and the row is left out.
    enum class RecordOutcome { Row, Damaged, Unreadable, LongValueDamaged };

    // The default of an instantly added column, as the metadata record stores it.
    struct InstantDefault
    {
        bool known = false;
        bool isNull = true;
        bool external = false;
        std::vector<std::uint8_t> bytes;
    };

    // How a new-style record says how many fields it has.
    enum class RecordKind {
        Core, // the core fields only
        Instant, // written after an instant ADD COLUMN: its own field count
        Metadata, // the metadata record of an instant ALTER, with the column map's BLOB after
                  // DB_ROLL_PTR, which has neither null bit nor length
    };
    // Reads the header of a new-style record: how many fields it carries, which are NULL, the
    // lengths of the variable ones, and where each field's bytes start (m_offsets). Unreadable
    // when the header or the data leave the page.
    RecordOutcome parseRecord(ConstPage page, std::size_t origin, std::size_t heapEnd,
        RecordKind kind, std::size_t &present);
    // The metadata record at `origin`: the column map from its BLOB when it has one, then the
    // defaults of the fields past the core.
    common::Status learnMetadataRecord(
        ConstPage page, std::size_t origin, std::size_t heapEnd, bool withColumnMap);
    common::Status learnOldStyleMetadataRecord(
        ConstPage page, std::size_t origin, std::size_t heapEnd, bool withColumnMap);
    // The map's BLOB (on one BLOB page) from its 20-byte reference, and the fields laid out anew.
    common::Status applyColumnMap(common::Bytes reference);
    void keepDefault(std::size_t f, bool isNull, bool external, common::Bytes bytes);
    // m_nullableBefore again, after the fields changed.
    void countNullableFields();
    // Fields of a clustered record the definition does not list: (DB_ROW_ID,) DB_TRX_ID and
    // DB_ROLL_PTR.
    std::size_t hiddenFields() const { return m_keyFields == 0 ? 3 : 2; }

    RecordOutcome decodeRecord(ConstPage page, std::size_t origin, std::size_t heapEnd,
        bool instantRecord, PageDecodeCounts &counts);
    // Field `f` into its column's value: the default when the record does not store it
    // (`stored` false), else NULL or the stored bytes. A dropped column's field is passed over.
    RecordOutcome storeField(std::size_t f, bool stored, bool isNull, common::Bytes bytes,
        bool external, PageDecodeCounts &counts);
    RecordOutcome decodeOldStyleRecord(
        ConstPage page, std::size_t origin, std::size_t heapEnd, PageDecodeCounts &counts);
    // The default of field `f`, for a record written before that column was added.
    RecordOutcome storeDefault(std::size_t f, FieldValue &value, PageDecodeCounts &counts);
    // One non-NULL field's bytes into `value`; an external one is completed from its overflow
    // pages. Damaged when the bytes do not fit the column, Unreadable when the reference is cut,
    // LongValueDamaged when its overflow pages do not give it whole (unless such values are kept).
    RecordOutcome storeValue(const Field &field, common::Bytes bytes, bool external,
        FieldValue &value, PageDecodeCounts &counts);
    bool untypedBlobPages();

    const frm::FrmTableEntry &m_table;
    PageSource &m_pages;
    LongValueStore &m_store;
    DecodeOptions m_options;
    std::vector<Field> m_fields; // in record order
    std::size_t m_keyFields = 0; // fields before DB_TRX_ID; 0: a hidden DB_ROW_ID comes first
    std::size_t m_coreFields = 0; // fields of a record written before any instant ADD COLUMN
    bool m_instantRoot = false;
    bool m_columnMapExpected = false;
    bool m_columnMapKnown = false;
    bool m_metadataLearned = false; // the metadata record's defaults (and map) are known
    std::optional<std::size_t> m_coreNullBytes; // of core records and node pointers, when given
    std::vector<std::size_t> m_nullableBefore; // nullable fields among the first n, for n in 0..
    std::vector<InstantDefault> m_defaults; // by field position, for the fields past the core
    std::string m_problem;
    std::optional<bool> m_untypedBlobPages; // learnt from page 0 on the first external value
    // While a damaged page is salvaged, the space id its FIL header gives: its records'
    // external references, which the checksum no longer vouches for, must name it, and their
    // chains must end where their lengths say.
    std::optional<std::uint32_t> m_salvageSpaceId;
    DecodedRow m_row;
    // Per record: the length and external flag of each variable field, by field position.
    std::vector<std::uint32_t> m_lengths;
    std::vector<std::uint32_t> m_offsets;
    std::vector<bool> m_external;
    std::vector<bool> m_null;
    // Where the last parsed new-style record's extra bytes begin (its lowest length byte) and its
    // data ends: the geometry the layout check compares with its neighbours.
    std::size_t m_extraStart = 0;
    std::size_t m_dataEnd = 0;
};

// The per-page entry point of the table data pass.
PageDecodeCounts DecodePageRecords(
    RecordDecoder &decoder, ConstPage page, std::uint32_t pageNumber, RowSink &sink);

} // namespace innodb

// zarafa-repair describe FILE.frm: what the definition reader understood of one file, and the
// CREATE TABLE text the rebuild would send for it; FILE.ibd does the same for the definition a
// MySQL 8 tablespace carries, and --dictionary FOLDER TABLE for what InnoDB's dictionary in
// FOLDER/ibdata1 says of the table.
#include "cli/cli_commands.h"
#include "frm/charset.h"
#include "frm/column_type.h"
#include "frm/create_table_text.h"
#include "frm/table_definition_reader.h"
#include "innodb/dictionary_definitions.h"
#include "innodb/sdi_definition.h"
#include "job/folder_listing.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <iomanip>
#include <iostream>
#include <sstream>

namespace cli {

namespace {

constexpr const char *kCommandName = "describe";

std::string collationText(std::uint16_t charset)
{
    const frm::Collation *collation = frm::findCollation(charset);
    return std::to_string(charset) + (collation ? " (" + std::string(collation->name) + ")" : "");
}

std::string keyKindText(frm::KeyKind kind)
{
    switch (kind) {
    case frm::KeyKind::Primary:
        return "primary";
    case frm::KeyKind::Unique:
        return "unique";
    case frm::KeyKind::Plain:
        return "plain";
    case frm::KeyKind::Fulltext:
        return "fulltext";
    case frm::KeyKind::Spatial:
        return "spatial";
    }
    return {};
}

void printTable(std::ostream &out, const frm::FrmTableEntry &table)
{
    out << "Table " << table.tableName << " (" << table.fileName << "), dictionary name "
        << table.dictionaryName << ", definition from "
        << frm::definitionSourceName(table.source)
        << (table.source == frm::DefinitionSource::Sdi ? " (the dictionary copy in the .ibd file)"
                                                       : "")
        << '\n';
    for (const std::string &note : table.definitionNotes) {
        out << "Note: " << note << '\n';
    }
    out << "Engine " << table.engine << ", default character set "
        << collationText(table.defaultCharset) << ", server version " << table.serverVersion
        << ", row format clause " << static_cast<int>(table.rowFormat) << '\n';
    out << table.definitionOrder.size() << " columns, " << static_cast<int>(table.nullableColumns)
        << " nullable, " << static_cast<int>(table.variableColumns) << " variable-length\n\n";

    out << std::left << std::setw(4) << "#" << std::setw(20) << "name" << std::setw(12)
        << "type name" << std::setw(26) << "SQL type" << std::setw(6) << "size" << std::setw(7)
        << "bytes" << std::setw(9) << "null" << std::setw(9) << "sign" << std::setw(15) << "kind"
        << std::setw(6) << "key"
        << "default\n";
    for (const frm::ColumnDef &column : table.definitionOrder) {
        std::string sqlType = frm::sqlTypeText(column);
        if (sqlType.empty()) {
            sqlType = "unknown type " + std::to_string(column.fieldType);
        }
        out << std::setw(4) << column.index + 1 << std::setw(20) << column.name << std::setw(12)
            << column.typeName << std::setw(26) << sqlType << std::setw(6) << column.size
            << std::setw(7) << column.byteLength << std::setw(9) << column.nullability
            << std::setw(9) << column.signedness << std::setw(15) << column.kind << std::setw(6)
            << (column.primaryPosition ? std::to_string(column.primaryPosition) : "")
            << column.defaultValue.value_or("") << '\n';
    }
    out << "\nKeys:\n";
    if (table.keys.empty()) {
        out << "  (none)\n";
    }
    for (std::size_t k = 0; k < table.keys.size(); ++k) {
        out << "  " << keyKindText(table.keys[k].kind) << ": " << table.keyClauses[k]
            << (static_cast<int>(k) == table.clusteredKey ? "  [clustered]" : "") << '\n';
    }
    out << "\nRecord order:";
    if (table.clusteredKey < 0) {
        out << " (hidden row id)";
    }
    for (const frm::ColumnDef &column : table.recordOrder) {
        out << ' ' << column.name;
    }
    out << "\n\nCREATE TABLE text:\n" << frm::createTableText(table) << '\n';
}

struct DescribeOptions
{
    std::string file;
    std::string dictionaryFolder; // read the table from the dictionary of this folder's ibdata1
    bool sqlOnly = false;
};

DescribeOptions &options()
{
    static DescribeOptions value;
    return value;
}

} // namespace

void addDescribeCommand(CLI::App &app)
{
    CLI::App *command = app.add_subcommand(
        kCommandName,
        "Show what the table definition reader understands of one .frm file, or of the "
        "definition a MySQL 8 .ibd file carries");
    command->add_option("file", options().file,
                "The .frm file, a MySQL 8 .ibd file (with --dictionary: the table)")
        ->required();
    command->add_option("--dictionary", options().dictionaryFolder,
        "Read the table's definition from InnoDB's dictionary in FOLDER/ibdata1 instead");
    command->add_flag("--sql", options().sqlOnly, "Print only the CREATE TABLE text");
}

namespace {

common::Result<frm::FrmTableEntry> dictionaryTable(
    const std::string &folder, const std::string &tableName)
{
    const auto tablespace = job::findEntryIgnoringCase(folder, "ibdata1", false);
    if (!tablespace) {
        return common::ioError("no ibdata1 in the folder", folder);
    }
    const std::string path = (std::filesystem::path(folder) / *tablespace).string();
    auto definitions = innodb::readDictionaryDefinitions(path);
    if (!definitions) {
        return definitions.error();
    }
    for (auto &definition : definitions->tables) {
        if (!frm::sameName(definition.dictionaryName, "zarafa/" + tableName)) {
            continue;
        }
        if (!definition.unsupported.empty()) {
            return common::Error { common::ErrorKind::NotSupported, definition.unsupported,
                definition.dictionaryName };
        }
        return std::move(definition.table);
    }
    return common::corruption("the dictionary names no table zarafa/" + tableName, path);
}

} // namespace

int runDescribeCommand(CLI::App &app)
{
    const CLI::App *command = app.get_subcommand(kCommandName);
    if (!command || !command->parsed()) {
        return -1;
    }
    const std::filesystem::path path(options().file);
    const std::string fileName = path.filename().string();
    // A MySQL 8 .ibd carries its own definition (SDI); anything else is read as a .frm.
    const bool ownDefinition = options().dictionaryFolder.empty() && path.extension() == ".ibd";
    const std::string dictionaryName = "zarafa/"
        + (ownDefinition ? path.stem().string() : frm::tableNameFromFileName(fileName));
    const auto table = !options().dictionaryFolder.empty()
        ? dictionaryTable(options().dictionaryFolder, options().file)
        : ownDefinition ? innodb::readSdiDefinition(path.string(), fileName, dictionaryName)
                        : frm::readTableDefinition(path.string(), fileName, dictionaryName);
    if (!table) {
        std::cerr << "zarafa-repair describe: " << table.error().describe() << '\n';
        return 1;
    }
    if (options().sqlOnly) {
        std::cout << frm::createTableText(*table) << '\n';
    } else {
        printTable(std::cout, *table);
    }
    return 0;
}

} // namespace cli

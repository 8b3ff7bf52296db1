// The rows of the sakila sample's data file (sakila-data.sql), each value as text: quoted
// strings unescaped, 0x... literals as their bytes, NULL as "NULL".
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace testing_support {

inline std::string hexLiteralBytes(const std::string &literal)
{
    std::string bytes;
    const auto digit = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
    for (std::size_t i = 2; i + 1 < literal.size(); i += 2) {
        bytes += static_cast<char>(digit(literal[i]) * 16 + digit(literal[i + 1]));
    }
    return bytes;
}

inline std::vector<std::vector<std::string>> sakilaDataRows(
    const std::filesystem::path &dataFile, const std::string &table)
{
    std::ifstream in(dataFile, std::ios::binary);
    const std::string sql((std::istreambuf_iterator<char>(in)), {});
    std::vector<std::vector<std::string>> rows;
    const std::string quotedTable
        = sql.find("INSERT INTO `" + table + "`") != std::string::npos ? "`" + table + "`" : table;
    const std::string head = "INSERT INTO " + quotedTable + " VALUES ";
    for (auto at = sql.find(head); at != std::string::npos; at = sql.find(head, at)) {
        at += head.size();
        std::vector<std::string> row;
        std::string value;
        bool quoted = false, inTuple = false, wasQuoted = false;
        const auto endValue = [&] {
            if (!wasQuoted && value.starts_with("0x")) {
                value = hexLiteralBytes(value);
            }
            row.push_back(value);
            value.clear();
            wasQuoted = false;
        };
        for (; at < sql.size(); ++at) {
            const char c = sql[at];
            if (quoted) {
                if (c == '\\') {
                    const char e = sql[++at];
                    value += e == 'n' ? '\n' : e == 'r' ? '\r' : e == '0' ? '\0' : e;
                } else if (c == '\'' && sql[at + 1] == '\'') {
                    value += '\'';
                    ++at;
                } else if (c == '\'') {
                    quoted = false;
                } else {
                    value += c;
                }
            } else if (c == '/' && sql[at + 1] == '*') {
                at = sql.find("*/", at) + 1; // version comments: columns of later servers
            } else if (c == '\'') {
                quoted = wasQuoted = true;
            } else if (c == '(' && !inTuple) {
                inTuple = true;
            } else if (c == ',' || c == ')') {
                if (inTuple) {
                    endValue();
                }
                if (c == ')') {
                    rows.push_back(std::move(row));
                    row.clear();
                    inTuple = false;
                }
            } else if (c == ';' && !inTuple) {
                break;
            } else if (inTuple && c != '\n' && c != ' ') {
                value += c;
            }
        }
    }
    return rows;
}

} // namespace testing_support

// SqlTextSink: decoded rows kept in the form of the sakila sample's data file, so that the
// decoder's output compares with sakila-data.sql value by value.
#pragma once

#include "innodb/row_sink.h"
#include "innodb/value_text.h"

#include <string>
#include <vector>

namespace testing_support {

// Each value in the data file's form: ENUM and SET by their member names, TIMESTAMP in the
// loading server's UTC+3, strings and BLOBs as their bytes.
class SqlTextSink : public innodb::RowSink
{
public:
    void acceptRow(const innodb::DecodedRow &row) override
    {
        std::vector<std::string> texts;
        for (std::size_t i = 0; i < row.values.size(); ++i) {
            const auto &value = row.values[i];
            const auto &column = row.column(i);
            switch (value.kind) {
            case innodb::ValueKind::Null:
                texts.push_back("NULL");
                break;
            case innodb::ValueKind::Bytes: {
                const auto bytes = value.bytes.readAll();
                texts.emplace_back(bytes->begin(), bytes->end());
                break;
            }
            case innodb::ValueKind::Timestamp:
                texts.push_back(innodb::utcDateTimeText(value.unsignedInteger + 3 * 3600));
                break;
            case innodb::ValueKind::Signed:
                texts.push_back(std::to_string(value.integer));
                break;
            case innodb::ValueKind::Unsigned:
            case innodb::ValueKind::Year:
                texts.push_back(std::to_string(value.unsignedInteger));
                break;
            case innodb::ValueKind::Enum:
                texts.push_back(value.unsignedInteger == 0
                        ? std::string()
                        : column.elements.at(value.unsignedInteger - 1));
                break;
            case innodb::ValueKind::Set: {
                std::string members;
                for (std::size_t m = 0; m < column.elements.size(); ++m) {
                    if ((value.unsignedInteger >> m) & 1) {
                        members += (members.empty() ? "" : ",") + column.elements[m];
                    }
                }
                texts.push_back(members);
                break;
            }
            default:
                texts.push_back(value.text);
                break;
            }
        }
        rows.push_back(std::move(texts));
    }
    std::vector<std::vector<std::string>> rows;
};

} // namespace testing_support

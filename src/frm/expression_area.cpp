#include "frm/expression_area.h"

namespace frm {

namespace {

constexpr std::size_t kAreaHeaderSize = 16; // FRM_VCOL_NEW_BASE_SIZE, reserved
constexpr std::size_t kEntryHeaderSize = 1 + 2 + 2 + 1;

} // namespace

common::Result<std::vector<Expression>> readExpressions(
    const FrmBytes &file, std::size_t offset, std::size_t length)
{
    std::vector<Expression> expressions;
    if (length == 0) {
        return expressions;
    }
    if (length < kAreaHeaderSize || !file.has(offset, length)) {
        return common::corruption("expression area beyond end of file");
    }
    const std::size_t end = offset + length;
    std::size_t at = offset + kAreaHeaderSize;
    while (at < end) {
        if (end - at < kEntryHeaderSize) {
            return common::corruption("expression cut short");
        }
        Expression expression;
        const std::uint8_t kind = file.u8(at);
        expression.column = file.u16(at + 1);
        const std::size_t textLength = file.u16(at + 3);
        const std::size_t nameLength = file.u8(at + 5);
        at += kEntryHeaderSize;
        if (kind > static_cast<std::uint8_t>(ExpressionKind::LongUniqueHash)) {
            return common::corruption("expression of unknown kind " + std::to_string(kind));
        }
        if (nameLength + textLength > end - at) {
            return common::corruption("expression cut short");
        }
        expression.kind = static_cast<ExpressionKind>(kind);
        expression.name = file.text(at, nameLength);
        expression.text = file.text(at + nameLength, textLength);
        at += nameLength + textLength;
        expressions.push_back(std::move(expression));
    }
    return expressions;
}

common::Status applyExpressions(FrmTableEntry &table, const std::vector<Expression> &expressions)
{
    for (const Expression &expression : expressions) {
        if (expression.kind == ExpressionKind::TableCheck) {
            table.checks.push_back({ expression.name, expression.text });
            continue;
        }
        if (expression.column >= table.definitionOrder.size()) {
            return common::corruption("expression of column "
                + std::to_string(expression.column + 1) + " of "
                + std::to_string(table.definitionOrder.size()));
        }
        ColumnDef &column = table.definitionOrder[expression.column];
        switch (expression.kind) {
        case ExpressionKind::Virtual:
        case ExpressionKind::Stored:
            column.generation = expression.kind == ExpressionKind::Virtual
                ? ColumnDef::Generation::Virtual
                : ColumnDef::Generation::Stored;
            column.expression = expression.text;
            column.defaultValue.reset();
            break;
        case ExpressionKind::Default:
            column.defaultValue = "(" + expression.text + ")";
            break;
        case ExpressionKind::ColumnCheck:
            column.check = expression.text;
            break;
        case ExpressionKind::LongUniqueHash:
            column.hiddenByServer = true;
            break;
        case ExpressionKind::TableCheck:
            break;
        }
    }
    return common::okStatus();
}

} // namespace frm

// The Lob table ("zarafa/Lob", any letter case): Zarafa's attachment chunks, the table whose
// values most often live on overflow pages. Its records are ordinary clustered records, so its
// pages go through the same RecordDecoder; this is where the data pass makes that choice.
#pragma once

#include "innodb/record_decoder.h"

#include <string_view>

namespace innodb {

inline constexpr std::string_view kLobTableName = "zarafa/Lob";

bool isLobTable(std::string_view dictionaryName);

// Decodes one leaf page of the Lob table: rows whose val_binary spans any number of overflow
// pages come out whole (spilled to the long value store beyond its memory limit).
PageDecodeCounts DecodeLobPage(
    RecordDecoder &decoder, ConstPage page, std::uint32_t pageNumber, RowSink &sink);

} // namespace innodb

#include "innodb/lob_decoder.h"

#include <algorithm>
#include <cctype>

namespace innodb {

bool isLobTable(std::string_view dictionaryName)
{
    return dictionaryName.size() == kLobTableName.size()
        && std::equal(dictionaryName.begin(), dictionaryName.end(), kLobTableName.begin(),
            [](char x, char y) {
                return std::tolower(static_cast<unsigned char>(x))
                    == std::tolower(static_cast<unsigned char>(y));
            });
}

PageDecodeCounts DecodeLobPage(
    RecordDecoder &decoder, ConstPage page, std::uint32_t pageNumber, RowSink &sink)
{
    return decoder.decodePage(page, pageNumber, sink);
}

} // namespace innodb

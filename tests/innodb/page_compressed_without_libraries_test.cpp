// The page decompressor built as it is where only zlib is installed: a page of another algorithm
// is refused, naming the algorithm and the library that is missing, and zlib pages still read.
#include "innodb/page_compressed.h"
#include "innodb/page_layout.h"
#include "page_formats_support.h"

#include <gtest/gtest.h>

namespace {

using namespace testing_support;

TEST(PageCompressedWithoutLibrariesTest, APageOfAMissingLibraryIsRefusedNamingIt)
{
    for (const std::string algorithm : { "zlib", "lz4", "lzo", "lzma", "bzip2", "snappy" }) {
        for (const std::string prefix : { "pc_", "pcc_" }) {
            SCOPED_TRACE(prefix + algorithm);
            const auto path = pageFormatsFolder("16k/page_compressed") / "Zarafa"
                / (prefix + algorithm + ".ibd");
            auto file = innodb::TablespaceFile::open(path.string());
            ASSERT_TRUE(file.ok());
            const auto bytes = readFile(path);
            std::vector<std::uint8_t> view(innodb::kDefaultPageSize);
            bool tried = false;
            for (std::size_t at = 0; at + view.size() <= bytes.size() && !tried;
                 at += view.size()) {
                const std::span<const std::uint8_t> stored(bytes.data() + at, view.size());
                if (!innodb::isPageCompressed(stored, file->format())) {
                    continue;
                }
                tried = true;
                const auto read = innodb::decompressPageCompressed(stored, view, file->format());
                if (algorithm == "zlib") {
                    EXPECT_TRUE(read.ok()) << read.reason;
                    continue;
                }
                EXPECT_EQ(read.outcome, innodb::PageRead::Outcome::Unreadable);
                EXPECT_EQ(read.reason,
                    "compressed with " + algorithm
                        + ", which this build of the program cannot "
                          "decompress (it was built without the "
                        + algorithm + " library)");
            }
            EXPECT_TRUE(tried);
        }
    }
}

} // namespace

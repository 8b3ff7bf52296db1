// Whether a file can be an InnoDB tablespace at all, told before anything is read from it: what
// kind of file it is, whether this user may read it, and whether its first page is a tablespace
// header. Each refusal names its cause in a mail administrator's words, so that "permission
// denied" or "not an InnoDB tablespace" is said, not a guess at a row format.
#pragma once

#include "common/result.h"

#include <cstdint>
#include <string>

namespace innodb {

// The kind of a file that is not a regular one, as stat() shows it, or empty for a regular one:
// "a FIFO", "a character device", "a block device", "a folder", "a socket".
std::string nonRegularKind(unsigned mode);

// stat() and open() of `path` for reading, without blocking: a FIFO or a device is refused by its
// kind before it is opened, a file this user may not read by "permission denied" with the advice
// to run as root or as the mysql user. The descriptor on success (O_RDONLY | O_CLOEXEC), whose
// caller owns it.
common::Result<int> openForReading(const std::string &path);

// The header check of an opened tablespace of `sizeBytes` bytes: at least one page, and a first
// page that is an FSP header (its own page number 0, page type 8, or 0 as InnoDB before 5.1.7
// wrote it, and the space id of its FIL header repeated in the FSP header). A first page that is
// damaged is tolerated when one of the next pages is an intact page at its own place: the rest of
// the file is still worth reading. Corruption "not an InnoDB tablespace (...)" otherwise.
common::Status checkTablespaceHeader(int descriptor, std::uint64_t sizeBytes);

// Both, for a path: what the folder check runs on ibdata1 before any server is touched.
common::Status checkTablespaceFile(const std::string &path);

} // namespace innodb

// UpdateFlags: the words the update wizard and its download thread share.
#pragma once

#include <atomic>

namespace update {

// Single words, each written by one side and read by the other without a lock.
struct UpdateFlags
{
    std::atomic<int> downloadBusy { 0 }; // 1 while the download thread transfers
    std::atomic<int> updateCancelled { 0 }; // 1 once the user agreed to abort a running download
};

} // namespace update

// Whole reads and writes on descriptors, with interrupted calls resumed.
#pragma once

#include <string>
#include <string_view>

namespace tvx::host {

/// Reads `fd` to its end. 0 or the errno of the failing read.
int ReadAll(int fd, std::string* bytes);
/// Writes all of `bytes`. 0 or the errno of the failing write.
int WriteAll(int fd, std::string_view bytes);
/// Writes all of `bytes` where a closed reader must not end the process: SIGPIPE is held back
/// for this call only. True when everything was written.
bool WriteQuietly(int fd, std::string_view bytes);

}  // namespace tvx::host

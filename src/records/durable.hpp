// Result files that survive a crash whole: written under a temporary name
// beside their place, flushed to the disk and then renamed over the old file,
// so a reader (or the machine after a power loss) sees either the old file or
// the new one, never a part.
#pragma once

#include <string>
#include <string_view>

namespace tacsim {

// Writes `text` as the file `path` in one piece. False on failure, with the
// reason in `why`; the old file, if any, is then left as it was.
bool write_whole(const std::string& path, std::string_view text, std::string* why = nullptr);

// Hands a file's (or a folder's) contents to the disk. False on failure.
bool sync_path(const std::string& path);

}  // namespace tacsim

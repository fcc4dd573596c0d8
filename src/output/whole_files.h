// Output files written whole: each is written under a temporary name beside
// its final one, created exclusively and never through a symbolic link, and
// renamed over the final name only once it is complete (rename(2) replaces
// the name in one step: a reader sees the old file or the new one, never a
// part). Until then a file of the final name stays as it was.
//
// The temporary files that exist are tracked in fixed slots, so that a signal
// handler can remove them with async-signal-safe calls alone.
#pragma once

#include <string>

namespace vok {

// Creates a temporary file for `final_path` in the same folder
// (final_path + ".vok-" pid "-" n ".tmp") with O_EXCL and O_NOFOLLOW, and
// tracks it. Returns the open descriptor, or minus the system's error
// number; a final name that is a folder gives -EISDIR.
int create_temporary(const std::string& final_path, std::string& temporary_path);

// Renames a complete temporary file over its final name (a symbolic link of
// that name is replaced, never followed) and stops tracking it. Returns 0 or
// the system's error number (the temporary file is then removed).
int commit_temporary(const std::string& temporary_path, const std::string& final_path);

// Removes a temporary file and stops tracking it.
void discard_temporary(const std::string& temporary_path);

// Async-signal-safe: removes every tracked temporary file.
void remove_temporaries_on_signal() noexcept;

}  // namespace vok

// Files the program writes (levels, pictures, reports): complete or not at all, and never
// over a file the user did not name as the output.
#pragma once

#include <functional>
#include <iosfwd>
#include <span>
#include <string>

namespace vantrell {

// Whether writeFileAtomically may put its file in place of one that exists at path.
enum class ExistingFile {
    replace,  // rename over it
    keep,     // fail instead, also for a file another program made while this one was writing
};

// Writes path through a temporary file in the same folder, which is flushed to the disk and
// renamed onto path only when write returned true and every byte was written; otherwise the
// temporary file is removed and path keeps whatever it held (an interrupted program leaves at
// most a hidden ".NAME.XXXXXX" file beside it). A new file gets the usual permissions (0666
// less the umask); a replaced one keeps its own. False with the reason in error; with
// ExistingFile::keep, a file at path makes it fail with errno left at EEXIST (and only then).
[[nodiscard]] bool writeFileAtomically(const std::string& path, const std::function<bool(std::ostream&)>& write,
                                       std::string& error, ExistingFile existing = ExistingFile::replace);

// Why output must not be written, or an empty string when it may: it is one of inputs (the
// same file through any name or link), a folder, or it exists and replaceExisting is false.
[[nodiscard]] std::string refuseOutput(const std::string& output, std::span<const std::string> inputs,
                                       bool replaceExisting);

}  // namespace vantrell

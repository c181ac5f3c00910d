// Reads one level file into a LevelGeometry and a SpacePartition.
//
// The loader appends to whatever the containers hold and empties nothing; callers that
// want one file's level load into fresh containers (see LevelFile.h).
#pragma once

#include <cstdint>
#include <exception>
#include <fstream>
#include <string>

namespace vantrell {

struct LevelGeometry;
struct SpacePartition;

using ParseResult = std::uint32_t;

inline constexpr ParseResult parseLoaded = 0;          // read up to the last adjacency byte
inline constexpr ParseResult parseNotALevelFile = 1;   // first three bytes are not "BSP"
inline constexpr ParseResult parseWrongVersion = 2;    // version byte is not 5
inline constexpr ParseResult parseEndedEarly = 3;      // the file ended before the format did

// The dialog's message for a result ("BSP file successfully loaded!", ...); results above 3
// give an empty string.
[[nodiscard]] const char* parseResultMessage(ParseResult result);

class BSPLoader {
public:
    class EndOfFileException : public std::exception {
    public:
        [[nodiscard]] const char* what() const noexcept override { return "End of file"; }
    };

    // Opens path in binary mode; a file that cannot be opened leaves the stream failed, and
    // parse() then gives parseNotALevelFile.
    BSPLoader(LevelGeometry* levelGeometry, SpacePartition* spacePartition, const std::string& path);

    // Reads the whole file. Records are appended in file order, each only once all of its
    // bytes were read; the adjacency is replaced only when its last byte was read.
    [[nodiscard]] ParseResult parse();

private:
    LevelGeometry* levelGeometry;
    SpacePartition* spacePartition;
    std::ifstream input;
};

}  // namespace vantrell

// Reads one level file into a LevelGeometry and a SpacePartition.
//
// The loader appends to whatever the containers hold and empties nothing; callers that
// want one file's level load into fresh containers (see LevelFile.h).
#pragma once

#include <array>
#include <cstdint>
#include <exception>
#include <fstream>
#include <istream>
#include <string>

namespace vantrell {

struct LevelGeometry;
struct SpacePartition;

// The file's first bytes and the version byte after them.
inline constexpr std::array<char, 3> levelMagic{'B', 'S', 'P'};
inline constexpr std::uint8_t levelVersion = 5;

// What reading a level file came to. The values are the file's result codes, which info
// reports as its exit status.
enum class ParseResult : std::uint32_t {
    loaded = 0,         // read up to the last adjacency byte
    notALevelFile = 1,  // first three bytes are not "BSP"
    wrongVersion = 2,   // version byte is not 5
    endedEarly = 3,     // the file ended before the format did
};

inline constexpr ParseResult parseLoaded = ParseResult::loaded;
inline constexpr ParseResult parseNotALevelFile = ParseResult::notALevelFile;
inline constexpr ParseResult parseWrongVersion = ParseResult::wrongVersion;
inline constexpr ParseResult parseEndedEarly = ParseResult::endedEarly;

// The result's code: 0 to 3.
[[nodiscard]] constexpr int resultCode(ParseResult result) {
    return static_cast<int>(result);
}

// The dialog's message for a result ("BSP file successfully loaded!", ...).
[[nodiscard]] const char* parseResultMessage(ParseResult result);

// The part of the file a parse was reading, in file order.
enum class LevelSection {
    header,
    vertexPositions,
    vertexNormals,
    planes,
    triangles,
    nodes,
    spaces,
    adjacency,
};

// What a parse found besides its result, so that a message can say why a file was refused.
// Filling it changes nothing that parse() returns or stores.
struct ParseDetails {
    std::string openError;                // why the file could not be opened (the system's reason); empty if it opened
    std::array<std::uint8_t, 3> magic{};  // the first bytes of the file
    std::size_t magicBytes = 0;           // how many of them the file holds (0 to 3)
    int version = -1;                     // the version byte; -1 when the file ended before it
    // parseEndedEarly: where the file ends (its size in bytes), what was being read there, and
    // whether the adjacency's row count was refused as far beyond the spaces rather than
    // running into the end.
    std::uint64_t endOffset = 0;
    LevelSection endSection = LevelSection::header;
    bool tooManyRows = false;
};

class BSPLoader {
public:
    class EndOfFileException : public std::exception {
    public:
        [[nodiscard]] const char* what() const noexcept override { return "End of file"; }
    };

    // Opens path in binary mode; a file that cannot be opened leaves the stream failed, and
    // parse() then gives parseNotALevelFile.
    BSPLoader(LevelGeometry* levelGeometry, SpacePartition* spacePartition, const std::string& path);
    // Reads from stream instead (bytes in memory, a pipe), from its start; the stream must
    // outlive the loader.
    BSPLoader(LevelGeometry* levelGeometry, SpacePartition* spacePartition, std::istream& stream);

    // Reads the whole file. Records are appended in file order, each only once all of its
    // bytes were read; the adjacency is replaced only when its last byte was read.
    [[nodiscard]] ParseResult parse();

    // What the constructor and parse() found; complete once parse() has returned.
    [[nodiscard]] const ParseDetails& details() const { return found; }

private:
    LevelGeometry* levelGeometry;
    SpacePartition* spacePartition;
    std::ifstream file;
    std::istream* input;
    bool opened = false;
    ParseDetails found;
};

}  // namespace vantrell

// Feeds arbitrary bytes to the IBSP importer: it must refuse or import, never crash, hang or
// allocate without bound. Seed corpus: import_fuzz_seed writes a small valid file.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "import/IbspImport.h"
#include "level/LevelValidation.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    vantrell::LevelGeometry geometry;
    vantrell::SpacePartition partition;
    vantrell::ImportReport report;
    std::string error;
    const bool ok = vantrell::importLevelFromMemory(data, size, {}, geometry, partition, report, error);
    // A successful import promises a valid level; a refusal promises a reason.
    if (ok && !vantrell::validateLevel(geometry, partition).empty()) std::abort();
    if (!ok && error.empty()) std::abort();
    return 0;
}

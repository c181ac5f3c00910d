// Writes the seed of the importer's fuzz corpus: the box room of the importer's tests.
#include <fstream>
#include <iostream>

#include "IbspBytes.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::cerr << "usage: import_fuzz_seed OUTPUT_FILE\n";
        return 2;
    }
    const std::vector<std::uint8_t> bytes = ibsptest::serialise(ibsptest::boxRoom());
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return out ? 0 : 1;
}

#include "import/PakArchive.h"

#include <zip.h>

#include <algorithm>
#include <cctype>
#include <memory>

namespace vantrell {
namespace {

struct ArchiveCloser {
    void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct EntryCloser {
    void operator()(zip_file_t* entry) const { zip_fclose(entry); }
};
using ArchiveHandle = std::unique_ptr<zip_t, ArchiveCloser>;
using EntryHandle = std::unique_ptr<zip_file_t, EntryCloser>;

ArchiveHandle openArchive(const std::string& path, std::string& error) {
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (archive == nullptr) {
        zip_error_t zipError;
        zip_error_init_with_code(&zipError, code);
        error = "cannot open the archive " + path + ": " + zip_error_strerror(&zipError);
        zip_error_fini(&zipError);
    }
    return ArchiveHandle(archive);
}

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isMapEntry(const std::string& name) {
    const std::string lower = lowered(name);
    return lower.size() > 9 && lower.rfind("maps/", 0) == 0 && lower.find('/', 5) == std::string::npos &&
           lower.compare(lower.size() - 4, 4, ".bsp") == 0;
}

}  // namespace

bool listArchiveEntries(const std::string& archive, std::vector<std::string>& maps, std::string& error) {
    maps.clear();
    ArchiveHandle handle = openArchive(archive, error);
    if (!handle) return false;
    const zip_int64_t count = zip_get_num_entries(handle.get(), 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(handle.get(), static_cast<zip_uint64_t>(i), 0);
        if (name != nullptr && isMapEntry(name)) maps.emplace_back(name);
    }
    std::sort(maps.begin(), maps.end());
    return true;
}

bool readArchiveEntry(const std::string& archive, const std::string& name, std::vector<std::uint8_t>& data,
                      std::string& error) {
    data.clear();
    ArchiveHandle handle = openArchive(archive, error);
    if (!handle) return false;
    zip_int64_t index = zip_name_locate(handle.get(), name.c_str(), 0);
    if (index < 0) index = zip_name_locate(handle.get(), name.c_str(), ZIP_FL_NOCASE);
    if (index < 0) {
        error = "the archive " + archive + " holds no entry " + name;
        return false;
    }
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(handle.get(), static_cast<zip_uint64_t>(index), 0, &stat) != 0 ||
        (stat.valid & ZIP_STAT_SIZE) == 0) {
        error = "cannot read the size of " + name + " in " + archive;
        return false;
    }
    if (stat.size > maxImportBytes) {
        error = name + " in " + archive + " declares " + std::to_string(stat.size) + " bytes, more than the " +
                std::to_string(maxImportBytes) + " an import accepts";
        return false;
    }
    EntryHandle entry(zip_fopen_index(handle.get(), static_cast<zip_uint64_t>(index), 0));
    if (!entry) {
        error = "cannot open " + name + " in " + archive + ": " + zip_strerror(handle.get());
        return false;
    }
    // The declared size bounds the buffer; a stream that inflates to more is refused.
    data.resize(static_cast<std::size_t>(stat.size));
    std::size_t filled = 0;
    while (filled < data.size()) {
        const zip_int64_t n = zip_fread(entry.get(), data.data() + filled, data.size() - filled);
        if (n < 0) {
            error = "cannot read " + name + " in " + archive + ": " + zip_file_strerror(entry.get());
            return false;
        }
        if (n == 0) break;
        filled += static_cast<std::size_t>(n);
    }
    std::uint8_t extra = 0;
    if (filled != data.size() || zip_fread(entry.get(), &extra, 1) != 0) {
        error = name + " in " + archive + " does not hold the " + std::to_string(stat.size) + " bytes it declares";
        return false;
    }
    return true;
}

}  // namespace vantrell

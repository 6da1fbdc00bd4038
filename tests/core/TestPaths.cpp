#include "core/TestPaths.h"

#include <algorithm>
#include <fstream>
#include <map>

namespace kestrin::test {

std::filesystem::path FixtureImage(const std::string& name) {
    return std::filesystem::path(KESTRIN_FIXTURE_IMAGE_DIR) / (name + ".img");
}

const std::vector<std::uint8_t>& FixtureImageBytes(const std::string& name) {
    static std::map<std::string, std::vector<std::uint8_t>> loaded;
    auto found = loaded.find(name);
    if (found == loaded.end()) {
        const std::filesystem::path path = FixtureImage(name);
        found =
            loaded.emplace(name, std::vector<std::uint8_t>(std::filesystem::file_size(path))).first;
        std::ifstream(path, std::ios::binary)
            .read(reinterpret_cast<char*>(found->second.data()),
                  static_cast<std::streamsize>(found->second.size()));
    }
    return found->second;
}

std::filesystem::path FixtureSource(const std::string& fileName) {
    return std::filesystem::path(KESTRIN_FIXTURE_SOURCE_DIR) / fileName;
}

std::filesystem::path FixtureListing(const std::string& name) {
    const std::filesystem::path plain = FixtureSource(name + ".fls");
    if (std::filesystem::exists(plain)) {
        return plain;
    }
    return std::filesystem::path(KESTRIN_FIXTURE_IMAGE_DIR) / (name + ".fls");
}

std::vector<std::string> FixtureNames() {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& item :
         std::filesystem::directory_iterator(KESTRIN_FIXTURE_SOURCE_DIR, error)) {
        std::filesystem::path path = item.path();
        if (path.extension() == ".xz") {
            path = path.stem();
        }
        // A disk's listings are per partition (NAME.pN.fls): a disk is no volume to scan whole.
        if (path.extension() == ".fls" && !path.stem().has_extension()) {
            names.push_back(path.stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace kestrin::test

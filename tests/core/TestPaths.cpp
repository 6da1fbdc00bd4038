#include "core/TestPaths.h"

#include <algorithm>

namespace kestrin::test {

std::filesystem::path FixtureImage(const std::string& name) {
    return std::filesystem::path(KESTRIN_FIXTURE_IMAGE_DIR) / (name + ".img");
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

#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace kestrin::test {

// Decompressed fixture images, as the test binary can open them.
std::filesystem::path FixtureImage(const std::string& name);
// The whole of a fixture image in memory, read once per test binary and shared by the suites that
// serve it through in-memory volume sources.
const std::vector<std::uint8_t>& FixtureImageBytes(const std::string& name);
// The committed fixture folder: compressed images, reference listings and notes.
std::filesystem::path FixtureSource(const std::string& fileName);
// The Sleuth Kit's listing of a fixture (NAME.fls): the committed file, or the one the build
// unpacked from NAME.fls.xz next to the images when the plain one would be too large for git.
std::filesystem::path FixtureListing(const std::string& name);
// Names of all fixtures that have a reference listing, plain or compressed.
std::vector<std::string> FixtureNames();

}  // namespace kestrin::test

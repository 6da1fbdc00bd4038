#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace kestrin::test {

// Decompressed fixture images, as the test binary can open them.
std::filesystem::path FixtureImage(const std::string& name);
// The committed fixture folder: compressed images, reference listings and notes.
std::filesystem::path FixtureSource(const std::string& fileName);
// Names of all fixtures that have a reference listing.
std::vector<std::string> FixtureNames();

}  // namespace kestrin::test

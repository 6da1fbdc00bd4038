#include "core/FlsListing.h"

#include <fstream>
#include <sstream>

namespace kestrin::test {

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    std::stringstream stream(line);
    std::string field;
    while (std::getline(stream, field, '\t')) {
        fields.push_back(field);
    }
    return fields;
}

// fls lists the entries of a directory right after it, nested one '+' deeper.
std::map<std::int64_t, FlsRecord> ReadFls(const std::filesystem::path& path) {
    std::map<std::int64_t, FlsRecord> records;
    std::ifstream in(path);
    std::vector<std::int64_t> parents = {5};
    std::string line;
    while (std::getline(in, line)) {
        const std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() < 7) {
            continue;
        }
        // Nested entries start with one '+' per level and a space.
        std::string head = fields[0];
        const std::size_t depth = head.find_first_not_of('+');
        if (depth == std::string::npos) {
            continue;
        }
        head.erase(0, depth == 0 ? 0 : depth + 1);
        const std::string type = head.substr(0, 3);
        const std::string address = head.substr(4, head.find(':') - 4);
        // V/V is fls's own $OrphanFiles folder; "-/r" names an index entry whose record is no
        // file record (the MFT's extension record that holds its name, for one).
        if (type == "V/V" || type[0] == '-' || depth >= parents.size()) {
            continue;
        }
        const std::int64_t record = std::stoll(address.substr(0, address.find('-')));
        const std::string attributeType =
            address.find('-') == std::string::npos ? "" : address.substr(address.find('-') + 1, 3);
        const std::string& fullName = fields[1];
        const std::size_t colon = fullName.find(':');
        const std::string name = fullName.substr(0, colon);
        FlsRecord& entry = records[record];
        entry.isDirectory = type == "d/d";
        entry.names.emplace(parents[depth], name);
        if (colon == std::string::npos && attributeType == "128") {
            entry.size = std::stoll(fields[fields.size() - 3]);
        }
        parents.resize(depth + 1);
        if (entry.isDirectory) {
            parents.push_back(record);
        }
    }
    return records;
}

}  // namespace kestrin::test

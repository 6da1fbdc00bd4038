#include "tools/kestrin-scan/EarlierScan.h"

#include <charconv>
#include <cstring>
#include <limits>

namespace kestrin {

namespace {

constexpr const char* kCsvHeader =
    "Path,Type,Size,Allocated,Files,Folders,Modified,Attributes,Record";

bool Special(char c) {
    return c == '"' || c == ',' || c == '\n' || c == '\r';
}

// Splits RFC 4180 text into records of fields as it is read, handing each record to `take`:
// quoted fields may hold commas, doubled quotes and line breaks; records end in CR LF or LF. The
// text is read a megabyte at a time, and one record's fields are reused for the next, so an
// earlier scan of a million files is never held as text or as millions of strings. The plain
// stretches of a field are appended whole. False when a quote is left open, or when `take` refuses
// a record.
template <typename Take>
bool SplitCsv(std::istream& in, Take&& take) {
    std::vector<std::string> fields(1);
    std::size_t used = 1;  // fields in use in the current record
    bool quoted = false;
    bool quoteSeen = false;  // a quote ended the last chunk: it may be the first of a pair
    bool crSeen = false;     // a CR ended the last chunk outside quotes
    const auto endRecord = [&]() {
        fields.resize(used);
        const bool accepted = take(fields);
        for (std::string& field : fields) {
            field.clear();
        }
        used = 1;
        return accepted;
    };
    std::vector<char> chunk(std::size_t{1} << 20);
    while (in) {
        in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        std::size_t i = 0;
        while (i < got) {
            const char c = chunk[i];
            if (quoteSeen) {
                quoteSeen = false;
                if (c == '"') {
                    fields[used - 1] += '"';
                    ++i;
                    continue;
                }
                quoted = false;
            }
            if (crSeen) {
                crSeen = false;
                if (c == '\n') {
                    if (!endRecord()) {
                        return false;
                    }
                    ++i;
                    continue;
                }
                fields[used - 1] += '\r';
            }
            if (quoted) {
                if (c == '"') {
                    quoteSeen = true;
                    ++i;
                    continue;
                }
                const char* run = chunk.data() + i;
                const void* quote = std::memchr(run, '"', got - i);
                const std::size_t length =
                    quote != nullptr
                        ? static_cast<std::size_t>(static_cast<const char*>(quote) - run)
                        : got - i;
                fields[used - 1].append(run, length);
                i += length;
                continue;
            }
            if (c == '"') {
                quoted = true;
            } else if (c == ',') {
                if (used == fields.size()) {
                    fields.emplace_back();
                }
                ++used;
            } else if (c == '\n') {
                if (!endRecord()) {
                    return false;
                }
            } else if (c == '\r') {
                crSeen = true;
            } else {
                std::size_t end = i + 1;
                while (end < got && !Special(chunk[end])) {
                    ++end;
                }
                fields[used - 1].append(chunk.data() + i, end - i);
                i = end;
                continue;
            }
            ++i;
        }
    }
    if (quoteSeen) {
        quoted = false;
    }
    if (crSeen) {
        fields[used - 1] += '\r';
    }
    if (used > 1 || !fields.front().empty()) {
        fields.resize(used);
        if (!take(fields)) {
            return false;
        }
    }
    return !quoted;
}

bool ParseNumber(const std::string& text, std::int64_t& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::uint64_t Mix(std::uint64_t x) {
    x ^= x >> 31;
    x *= 0xBF58476D1CE4E5B9u;
    x ^= x >> 29;
    return x;
}

}  // namespace

std::uint64_t PathHash(std::string_view path) {
    std::uint64_t hash = 0x9E3779B97F4A7C15u ^ path.size();
    std::size_t i = 0;
    for (; i + 8 <= path.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, path.data() + i, 8);
        hash = Mix(hash ^ word) * 0x94D049BB133111EBu;
    }
    std::uint64_t tail = 0;
    std::memcpy(&tail, path.data() + i, path.size() - i);
    return Mix(Mix(hash ^ tail));
}

std::string_view EarlierScan::TextOf(const Row& row) const {
    return std::string_view(paths_).substr(row.pathStart, row.pathLength);
}

std::string EarlierScan::PathOf(const Row& row) const {
    std::string path;
    if (row.prefixRow != 0) {
        path = TextOf(rows_[row.prefixRow - 1]);
    }
    path += TextOf(row);
    return path;
}

bool EarlierScan::PathIs(const Row& row, std::string_view path) const {
    if (row.prefixRow == 0) {
        return TextOf(row) == path;
    }
    const std::string_view prefix = TextOf(rows_[row.prefixRow - 1]);
    return path.size() == prefix.size() + row.pathLength && path.starts_with(prefix) &&
           path.substr(prefix.size()) == TextOf(row);
}

namespace {

std::uint64_t HashHalf(std::uint64_t hash) {
    return hash >> 32;
}

std::uint32_t RowIndex(std::uint64_t slot) {
    return static_cast<std::uint32_t>(slot);
}

}  // namespace

std::size_t EarlierScan::SlotOf(std::uint64_t hash, std::string_view path, bool folder) const {
    const std::size_t mask = slots_.size() - 1;
    const std::uint64_t half = HashHalf(hash);
    for (std::size_t slot = half & mask;; slot = (slot + 1) & mask) {
        const std::uint64_t held = slots_[slot];
        if (held == 0) {
            return slot;
        }
        if ((held >> 32) != half) {
            continue;
        }
        const Row& row = rows_[RowIndex(held) - 1];
        if (row.hash == hash && row.folder == folder && PathIs(row, path)) {
            return slot;
        }
    }
}

void EarlierScan::Add(std::string_view path, bool folder, std::int64_t size,
                      std::int64_t allocated) {
    Row row;
    row.hash = PathHash(path);
    row.folder = folder;
    row.size = size;
    row.allocated = allocated;
    if (!folder && lastFolder_ != 0) {
        const std::string_view prefix = TextOf(rows_[lastFolder_ - 1]);
        if (path.size() > prefix.size() && path.starts_with(prefix)) {
            row.prefixRow = lastFolder_;
            path.remove_prefix(prefix.size());
        }
    }
    row.pathStart = paths_.size();
    row.pathLength = static_cast<std::uint32_t>(path.size());
    paths_.append(path);
    rows_.push_back(row);
    if (folder && rows_.size() < std::numeric_limits<std::uint32_t>::max()) {
        lastFolder_ = static_cast<std::uint32_t>(rows_.size());
    }
}

void EarlierScan::Prefetch(std::uint64_t hash) const {
#if defined(__GNUC__)
    if (!slots_.empty()) {
        __builtin_prefetch(&slots_[HashHalf(hash) & (slots_.size() - 1)]);
    }
#else
    static_cast<void>(hash);
#endif
}

// All rows at once, once read: a table grown as rows came placed every row again at each doubling.
// Kept below half full, so that a probe ends within a few slots.
void EarlierScan::Index() {
    std::size_t size = 1024;
    while (size < rows_.size() * 2) {
        size *= 2;
    }
    slots_.assign(size, 0);
    constexpr std::size_t kAhead = 16;
    std::string path;
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (i + kAhead < rows_.size()) {
            Prefetch(rows_[i + kAhead].hash);
        }
        Row& row = rows_[i];
        path.clear();
        if (row.prefixRow != 0) {
            path += TextOf(rows_[row.prefixRow - 1]);
        }
        path += TextOf(row);
        const std::size_t slot = SlotOf(row.hash, path, row.folder);
        if (slots_[slot] != 0) {
            Row& earlier = rows_[RowIndex(slots_[slot]) - 1];
            earlier.size = row.size;
            earlier.allocated = row.allocated;
            row.replaced = true;
            continue;
        }
        slots_[slot] = (HashHalf(row.hash) << 32) | static_cast<std::uint32_t>(i + 1);
    }
}

const EarlierScan::Row* EarlierScan::Find(std::string_view path, bool folder) const {
    return Find(path, PathHash(path), folder);
}

const EarlierScan::Row* EarlierScan::Find(std::string_view path, std::uint64_t hash,
                                          bool folder) const {
    if (slots_.empty()) {
        return nullptr;
    }
    const std::uint64_t held = slots_[SlotOf(hash, path, folder)];
    return held == 0 ? nullptr : &rows_[RowIndex(held) - 1];
}

std::optional<EarlierScan> ReadEarlierScan(std::istream& in, std::string& why) {
    EarlierScan scan;
    std::size_t line = 0;
    bool rowFailed = false;
    const bool split = SplitCsv(in, [&](const std::vector<std::string>& row) {
        if (line++ == 0) {
            std::string header;
            for (const std::string& field : row) {
                header += (header.empty() ? "" : ",") + field;
            }
            if (header != kCsvHeader) {
                why = "第一行不是 kestrin-scan --csv 写的表头（" + std::string(kCsvHeader) + "）";
                rowFailed = true;
            }
            return !rowFailed;
        }
        std::int64_t size = 0;
        std::int64_t allocated = 0;
        const bool sound = row.size() == 9 && !row[0].empty() &&
                           row[0].size() <= std::numeric_limits<std::uint32_t>::max() &&
                           (row[1] == "folder" || row[1] == "file") && ParseNumber(row[2], size) &&
                           ParseNumber(row[3], allocated);
        if (!sound) {
            why = "第 " + std::to_string(line) + " 行不是带路径和两个大小的文件夹行或文件行";
            rowFailed = true;
            return false;
        }
        scan.Add(row[0], row[1] == "folder", size, allocated);
        return true;
    });
    if (line == 0 && split) {
        why = "第一行不是 kestrin-scan --csv 写的表头（" + std::string(kCsvHeader) + "）";
        return std::nullopt;
    }
    if (!split && !rowFailed) {
        why = "有一个引号字段没有结束";
    }
    if (!split) {
        return std::nullopt;
    }
    scan.Index();
    return scan;
}

}  // namespace kestrin

#include "tools/kestrin-scan/compare/EarlierScan.h"

#include <charconv>
#include <cstring>
#include <limits>

#include "tools/kestrin-scan/compare/BatchHandOff.h"
#include "tools/kestrin-scan/compare/CsvRecords.h"

namespace kestrin {

namespace {

constexpr const char* kCsvHeader =
    "Path,Type,Size,Allocated,Files,Folders,Modified,Attributes,Record";

std::string NotItsHeader() {
    return "第一行不是 kestrin-scan --csv 写的表头（" + std::string(kCsvHeader) + "）";
}

bool ParseNumber(std::string_view text, std::int64_t& value) {
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

// Whether a1 + a2 and b1 + b2 are one text.
bool JoinedEqual(std::string_view a1, std::string_view a2, std::string_view b1,
                 std::string_view b2) {
    if (a1.size() + a2.size() != b1.size() + b2.size()) {
        return false;
    }
    if (a1.size() > b1.size()) {
        return JoinedEqual(b1, b2, a1, a2);
    }
    // a1 is the shorter first part: b1 begins with it, and a2 holds the rest of b1 and then b2.
    const std::string_view restOfB1 = b1.substr(a1.size());
    return b1.starts_with(a1) && a2.starts_with(restOfB1) && a2.substr(restOfB1.size()) == b2;
}

}  // namespace

bool EarlierScan::SamePath(const Row& a, const Row& b) const {
    const auto prefixOf = [&](const Row& row) {
        return row.prefixRow == 0 ? std::string_view() : TextOf(rows_[row.prefixRow - 1]);
    };
    return JoinedEqual(prefixOf(a), TextOf(a), prefixOf(b), TextOf(b));
}

template <typename Same>
std::size_t EarlierScan::SlotWhere(std::uint64_t hash, bool folder, const Same& same) const {
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
        if (row.hash == hash && row.folder == folder && same(row)) {
            return slot;
        }
    }
}

std::size_t EarlierScan::SlotOf(std::uint64_t hash, std::string_view path, bool folder) const {
    return SlotWhere(hash, folder, [&](const Row& row) { return PathIs(row, path); });
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
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (i + kAhead < rows_.size()) {
            Prefetch(rows_[i + kAhead].hash);
        }
        Row& row = rows_[i];
        const std::size_t slot =
            SlotWhere(row.hash, row.folder, [&](const Row& other) { return SamePath(other, row); });
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

// A row that is no file, or that a later row replaced, is not the one Find gives.
const EarlierScan::Row* EarlierScan::FileAt(std::size_t index, std::string_view path) const {
    if (index >= rows_.size()) {
        return nullptr;
    }
    const Row& row = rows_[index];
    return !row.folder && !row.replaced && PathIs(row, path) ? &row : nullptr;
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

namespace {

// Rows split and found sound, waiting to be added: their paths one after another, with each one's
// length, type and sizes.
struct SoundRows {
    struct Row {
        std::size_t pathLength = 0;
        bool folder = false;
        std::int64_t size = 0;
        std::int64_t allocated = 0;
    };
    std::string paths;
    std::vector<Row> rows;
};

constexpr std::size_t kRowsPerBatch = 4096;

void AddRows(EarlierScan& scan, const SoundRows& batch) {
    std::size_t at = 0;
    for (const SoundRows::Row& row : batch.rows) {
        scan.Add(std::string_view(batch.paths).substr(at, row.pathLength), row.folder, row.size,
                 row.allocated);
        at += row.pathLength;
    }
}

void Clear(SoundRows& batch) {
    batch.paths.clear();
    batch.rows.clear();
}

}  // namespace

// Rows are added, and then indexed, on a thread of their own while the text is split and checked
// (each takes about as long) and while the volume is scanned.
struct PendingEarlierScan::Reading {
    EarlierScan scan;
    BatchHandOff<SoundRows> adder{[this](SoundRows& batch) { AddRows(scan, batch); },
                                  [this] { scan.Index(); }};
};

PendingEarlierScan::PendingEarlierScan(std::unique_ptr<Reading> reading)
    : reading_(std::move(reading)) {}
PendingEarlierScan::PendingEarlierScan(PendingEarlierScan&&) noexcept = default;
PendingEarlierScan& PendingEarlierScan::operator=(PendingEarlierScan&&) noexcept = default;
PendingEarlierScan::~PendingEarlierScan() = default;

EarlierScan& PendingEarlierScan::Get() {
    reading_->adder.Wait();
    return reading_->scan;
}

std::optional<PendingEarlierScan> StartReadingEarlierScan(std::istream& in, std::string& why) {
    auto reading = std::make_unique<PendingEarlierScan::Reading>();
    BatchHandOff<SoundRows>& adder = reading->adder;
    SoundRows batch;
    std::size_t line = 0;
    bool rowFailed = false;
    const bool split = SplitCsv(in, [&](const std::vector<std::string_view>& row) {
        if (line++ == 0) {
            std::string header;
            for (const std::string_view field : row) {
                header += header.empty() ? "" : ",";
                header += field;
            }
            if (header != kCsvHeader) {
                why = NotItsHeader();
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
        batch.paths += row[0];
        batch.rows.push_back({row[0].size(), row[1] == "folder", size, allocated});
        if (batch.rows.size() == kRowsPerBatch) {
            adder.Hand(batch, Clear);
        }
        return true;
    });
    if (line == 0 && split) {
        why = NotItsHeader();
        return std::nullopt;
    }
    if (!split && !rowFailed) {
        why = "有一个引号字段没有结束";
    }
    if (!split) {
        return std::nullopt;
    }
    adder.Hand(batch, Clear);
    adder.Close();
    return PendingEarlierScan(std::move(reading));
}

std::optional<EarlierScan> ReadEarlierScan(std::istream& in, std::string& why) {
    std::optional<PendingEarlierScan> pending = StartReadingEarlierScan(in, why);
    if (!pending) {
        return std::nullopt;
    }
    return std::move(pending->Get());
}

}  // namespace kestrin

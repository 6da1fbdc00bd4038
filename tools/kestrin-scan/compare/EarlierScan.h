#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kestrin {

// An earlier scan as the CSV that kestrin-scan --csv wrote holds it: each row's path, type, size
// and allocated size, found by path. The paths lie one after another in one text, a file's
// without the path of the folder row before it where it begins with that (the CSV lists each
// folder's files after it), and the rows are 48 bytes each: a scan of a million files takes
// little more than its names, where a map of strings took several times its paths.
class EarlierScan {
public:
    struct Row {
        std::uint64_t hash = 0;
        std::uint64_t pathStart = 0;
        std::uint32_t pathLength = 0;
        std::uint32_t prefixRow = 0;  // the folder row the path begins with, plus one; or 0
        bool folder = false;
        bool replaced = false;  // a later row has the same path and type
        std::int64_t size = 0;
        std::int64_t allocated = 0;
    };

    // A later row with the path and type of an earlier one replaces it, once indexed.
    void Add(std::string_view path, bool folder, std::int64_t size, std::int64_t allocated);
    // Makes the rows added so far findable; rows added after are not.
    void Index();
    const Row* Find(std::string_view path, bool folder) const;
    // The same with the path's hash given, after Prefetch(hash) some lookups before: a lookup
    // mostly waits for its slot to come from memory, and several can wait at once.
    const Row* Find(std::string_view path, std::uint64_t hash, bool folder) const;
    void Prefetch(std::uint64_t hash) const;
    // The row at `index` when it is the one Find(path, false) gives: the CSV lists a folder's
    // files after its row, and a scan in the same order finds most of them there, in memory
    // already read, without a lookup.
    const Row* FileAt(std::size_t index, std::string_view path) const;
    std::string PathOf(const Row& row) const;
    const std::vector<Row>& Rows() const { return rows_; }
    std::size_t IndexOf(const Row& row) const {
        return static_cast<std::size_t>(&row - rows_.data());
    }

private:
    std::size_t SlotOf(std::uint64_t hash, std::string_view path, bool folder) const;
    // The slot of the row with `hash` and `folder` for which `same` holds, or the empty slot
    // where it would go.
    template <typename Same>
    std::size_t SlotWhere(std::uint64_t hash, bool folder, const Same& same) const;
    // Whether two rows hold one path, compared part by part where joining them copied both.
    bool SamePath(const Row& a, const Row& b) const;
    // The part of the row's path its text holds.
    std::string_view TextOf(const Row& row) const;
    bool PathIs(const Row& row, std::string_view path) const;

    std::string paths_;
    std::vector<Row> rows_;
    std::uint32_t lastFolder_ = 0;  // the last folder row added, plus one
    // Open addressing: the high half of a row's hash above its index plus one; 0 for an empty
    // slot. The hash beside the index spares a visit to the row, far away in memory, for every
    // other path met on the way, and places the row anew when the table grows.
    std::vector<std::uint64_t> slots_;
};

// Hashes a path's bytes eight at a time: the paths of a million files are hashed twice in a
// comparison, once as read and once as scanned.
std::uint64_t PathHash(std::string_view path);

// An earlier scan read whole and found sound, whose rows may still be being added and indexed on a
// thread of their own: the scan of the volume goes on meanwhile, and the comparison waits for them.
class PendingEarlierScan {
public:
    struct Reading;
    explicit PendingEarlierScan(std::unique_ptr<Reading> reading);
    PendingEarlierScan(PendingEarlierScan&&) noexcept;
    PendingEarlierScan& operator=(PendingEarlierScan&&) noexcept;
    ~PendingEarlierScan();

    // Waits for every row to be added and indexed.
    EarlierScan& Get();

private:
    std::unique_ptr<Reading> reading_;
};

// Reads such a CSV, checking every row before it returns. Nothing, with the reason in `why`, when
// it is not one: another header, a row without its nine fields, a type that is neither folder nor
// file, a size that is no number.
std::optional<PendingEarlierScan> StartReadingEarlierScan(std::istream& in, std::string& why);
// The same, waiting for the rows to be indexed.
std::optional<EarlierScan> ReadEarlierScan(std::istream& in, std::string& why);

}  // namespace kestrin

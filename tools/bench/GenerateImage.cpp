// Writes a raw NTFS image of N file records, so that whole scans can be measured on volumes far
// larger than the fixtures: a boot sector and an MFT in a few extents, holding a folder tree like
// a used system volume's (folders 1 to 12 deep, names of 1 to 60 characters, some not ASCII,
// sizes from 0 bytes to gigabytes, resident, sparse, compressed and fragmented data, hard links,
// names and data moved to extension records behind attribute lists, deleted records).
//
// The MFT is streamed to the file in order, a chunk at a time, and the data clusters of files are
// never written: the image is sparse and 8 million records need little memory. Every decision is
// drawn from a fixed seed and from what it is about, so runs write the same image and a record
// can be worked out again when a folder index needs it.
//
//   kestrin-make-image [--indexes] RECORDS OUTPUT.img
//
// --indexes also writes what tools that walk the folder tree read (folder index blocks, $AttrDef,
// $UpCase, the bitmaps, $MFTMirr), so that The Sleuth Kit's fls can list the image. The scanner
// reads none of it, and the MFT is the same either way.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

#include "core/RecordBuilder.h"

namespace kestrin {
namespace {

using test::Put;
using test::RecordBuilder;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int64_t kCluster = 4096;
constexpr std::int64_t kRecordSize = 1024;
constexpr std::int64_t kSectorSize = 512;
constexpr std::int64_t kIndexBlock = kCluster;
// A 1 KiB record less its header with the update sequence (0x38) and the end marker.
constexpr std::size_t kAttributeSpace = kRecordSize - 0x38 - 8;
constexpr std::uint64_t kSeed = 0x6B65737472696E31;
constexpr std::int64_t kRootRecord = 5;
constexpr std::int64_t kExtendRecord = 11;
constexpr std::int64_t kFirstUserRecord = 28;
// Every record keeps sequence number 1, as RecordBuilder writes it, so references carry 1 too.
constexpr std::uint64_t kSequence = std::uint64_t{1} << 48;
// mkntfs puts the MFT 3 GiB into a large volume; files fill the space before and between its
// extents.
constexpr std::int64_t kMftStartLcn = 786432;
constexpr std::int64_t kFileTime2008 = 128444832000000000;
constexpr std::int64_t kFileTime2024 = 133616736000000000;

constexpr std::uint32_t kAttrStandardInformation = 0x10;
constexpr std::uint32_t kAttrList = 0x20;
constexpr std::uint32_t kAttrFileName = 0x30;
constexpr std::uint32_t kAttrVolumeName = 0x60;
constexpr std::uint32_t kAttrVolumeInformation = 0x70;
constexpr std::uint32_t kAttrData = 0x80;
constexpr std::uint32_t kAttrIndexRoot = 0x90;
constexpr std::uint32_t kAttrIndexAllocation = 0xA0;
constexpr std::uint32_t kAttrBitmap = 0xB0;

std::size_t Align8(std::size_t value) {
    return (value + 7) & ~std::size_t{7};
}

std::int64_t CeilDiv(std::int64_t a, std::int64_t b) {
    return (a + b - 1) / b;
}

// ---------------------------------------------------------------------------------------------
// Numbers

std::uint64_t Mix(std::uint64_t x) {
    x += 0x9E3779B97F4A7C15;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EB;
    return x ^ (x >> 31);
}

// The numbers of one decision about one thing: the same (purpose, a, b) always gives the same
// stream, so nothing drawn has to be kept to be drawn again.
class Rng {
public:
    Rng(std::uint64_t purpose, std::uint64_t a, std::uint64_t b = 0)
        : state_(Mix(kSeed ^ Mix(purpose ^ Mix(a ^ Mix(b))))) {}
    std::uint64_t Next() { return Mix(state_ += 0x9E3779B97F4A7C15); }
    double Unit() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }
    std::int64_t Range(std::int64_t low, std::int64_t high) {
        return low + static_cast<std::int64_t>(Next() % static_cast<std::uint64_t>(high - low + 1));
    }
    bool Chance(double p) { return Unit() < p; }
    std::int64_t LogUniform(std::int64_t low, std::int64_t high) {
        const double l = std::log(static_cast<double>(low));
        const double h = std::log(static_cast<double>(high));
        return std::clamp<std::int64_t>(static_cast<std::int64_t>(std::exp(l + Unit() * (h - l))),
                                        low, high);
    }
    template <typename T, std::size_t N>
    const T& Pick(const std::array<T, N>& items) {
        return items[static_cast<std::size_t>(Range(0, N - 1))];
    }

private:
    std::uint64_t state_;
};

// ---------------------------------------------------------------------------------------------
// Names

constexpr std::array<std::u16string_view, 20> kForeign = {
    u"é",      u"ü",      u"ñ",      u"ß",        u"ø",      u"Ç",         u"Привет",
    u"данные", u"Ελλάδα", u"日本語", u"中文资料", u"テスト", u"한국어",    u"\U0001F600",
    u"Ω",      u"ç",      u"œ",      u"ž",        u"Ärger",  u"\U00020BB7"};
constexpr std::array<std::u16string_view, 30> kExtensions = {
    u".dll", u".txt", u".jpg", u".png", u".log",  u".exe", u".xml",      u".json",
    u".h",   u".cpp", u".mui", u".cab", u".zip",  u".mp4", u".pdf",      u".docx",
    u".dat", u".db",  u".js",  u".css", u".html", u".cat", u".manifest", u".sys",
    u".ini", u".tmp", u".mp3", u".DLL", u".EXE",  u".PNG"};
constexpr std::array<std::u16string_view, 14> kTopFolders = {u"Windows",
                                                             u"Program Files",
                                                             u"Program Files (x86)",
                                                             u"ProgramData",
                                                             u"Users",
                                                             u"$Recycle.Bin",
                                                             u"System Volume Information",
                                                             u"Recovery",
                                                             u"PerfLogs",
                                                             u"Intel",
                                                             u"Drivers",
                                                             u"Temp",
                                                             u"Games",
                                                             u"Projects"};

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

char16_t Upcase(char16_t c) {
    if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7) ||
        (c >= 0x3B1 && c <= 0x3C9 && c != 0x3C2) || (c >= 0x430 && c <= 0x44F)) {
        return static_cast<char16_t>(c - 32);
    }
    if (c >= 0x450 && c <= 0x45F) {
        return static_cast<char16_t>(c - 80);
    }
    return c;
}

std::u16string Upcase(std::u16string_view text) {
    std::u16string out(text);
    for (char16_t& c : out) {
        c = Upcase(c);
    }
    return out;
}

// Letters mostly, some digits and separators; never '~', so that short names made with it cannot
// meet a long name.
std::u16string RandomStem(Rng& rng, std::size_t length) {
    static constexpr std::u16string_view kLetters =
        u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static constexpr std::u16string_view kSeparators = u" _-.()+";
    std::u16string stem;
    if (length >= 3 && rng.Chance(0.08)) {
        const std::u16string_view piece = rng.Pick(kForeign);
        if (piece.size() <= length) {
            stem = piece;
        }
    }
    while (stem.size() < length) {
        const double u = rng.Unit();
        char16_t c;
        if (u < 0.74) {
            c = kLetters[static_cast<std::size_t>(rng.Range(0, kLetters.size() - 1))];
        } else if (u < 0.9) {
            c = static_cast<char16_t>(u'0' + rng.Range(0, 9));
        } else {
            c = kSeparators[static_cast<std::size_t>(rng.Range(0, kSeparators.size() - 1))];
        }
        stem.insert(stem.begin() + static_cast<std::ptrdiff_t>(rng.Range(0, stem.size())), c);
        // An insertion between the halves of a surrogate pair would break the pair.
        for (std::size_t i = 0; i + 1 < stem.size(); ++i) {
            if (IsHighSurrogate(stem[i]) && !(stem[i + 1] >= 0xDC00 && stem[i + 1] <= 0xDFFF)) {
                std::swap(stem[i], stem[i + 1]);
            }
        }
    }
    for (const std::size_t at : {std::size_t{0}, stem.size() - 1}) {
        if (stem[at] == u' ' || stem[at] == u'.') {
            stem[at] = u'x';
        }
    }
    return stem;
}

std::size_t NameLength(Rng& rng, std::size_t cap) {
    const double u = rng.Unit();
    const std::int64_t length = u < 0.03   ? rng.Range(1, 3)
                                : u < 0.45 ? rng.Range(4, 12)
                                : u < 0.88 ? rng.Range(13, 30)
                                           : rng.Range(31, 60);
    return std::min(static_cast<std::size_t>(length), cap);
}

std::u16string RandomFileName(Rng& rng, std::size_t cap) {
    const std::size_t length = NameLength(rng, cap);
    const std::u16string_view extension = rng.Pick(kExtensions);
    if (length > extension.size() + 1 && rng.Chance(0.85)) {
        return RandomStem(rng, length - extension.size()) + std::u16string(extension);
    }
    return RandomStem(rng, length);
}

std::u16string Base36(std::int64_t value) {
    std::u16string digits;
    do {
        const auto d = static_cast<char16_t>(value % 36);
        digits.insert(digits.begin(), d < 10 ? u'0' + d : u'A' + d - 10);
        value /= 36;
    } while (value > 0);
    return digits;
}

// Where the extension starts, or the end.
std::size_t ExtensionStart(const std::u16string& name) {
    const std::size_t dot = name.rfind(u'.');
    return dot != std::u16string::npos && dot > 0 && name.size() - dot <= 10 ? dot : name.size();
}

// A name is made unique among its folder's by changing the end of its stem, so that its length,
// which decided what fits in its record, stays the same when it can.
void MakeUnique(std::u16string& name, std::unordered_set<std::u16string>& taken) {
    if (taken.insert(Upcase(name)).second) {
        return;
    }
    const std::size_t extension = ExtensionStart(name);
    for (std::int64_t k = 1;; ++k) {
        const std::u16string tag = Base36(k);
        std::size_t cut = extension >= tag.size() ? extension - tag.size() : 0;
        if (cut > 0 && IsHighSurrogate(name[cut - 1])) {
            --cut;
        }
        std::u16string candidate = name.substr(0, cut) + tag + name.substr(extension);
        if (candidate.size() <= 60 && taken.insert(Upcase(candidate)).second) {
            name = std::move(candidate);
            return;
        }
    }
}

bool IsShortName(const std::u16string& name) {
    const std::size_t dot = name.find(u'.');
    std::size_t stem = name.size();
    std::size_t extension = 0;
    if (dot != std::u16string::npos) {
        if (name.find(u'.', dot + 1) != std::u16string::npos || dot + 1 == name.size()) {
            return false;
        }
        stem = dot;
        extension = name.size() - dot - 1;
    }
    if (stem == 0 || stem > 8 || extension > 3) {
        return false;
    }
    return std::all_of(name.begin(), name.end(), [](char16_t c) {
        return (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') || c == u'_' || c == u'.';
    });
}

// The 8.3 name Windows would make: the ordinal, unique in the folder, keeps it unique.
std::u16string DosName(const std::u16string& name, std::int64_t ordinal) {
    const std::size_t extensionStart = ExtensionStart(name);
    auto keep = [](std::u16string_view part, std::size_t most) {
        std::u16string out;
        for (const char16_t c : part) {
            const char16_t u = Upcase(c);
            if (out.size() < most && ((u >= u'A' && u <= u'Z') || (u >= u'0' && u <= u'9'))) {
                out += u;
            }
        }
        return out;
    };
    const std::u16string suffix = u"~" + Base36(ordinal);
    std::u16string stem =
        keep(std::u16string_view(name).substr(0, extensionStart), 8 - suffix.size());
    if (stem.empty()) {
        stem = u"X";
    }
    std::u16string out = stem + suffix;
    if (extensionStart < name.size()) {
        const std::u16string extension =
            keep(std::u16string_view(name).substr(extensionStart + 1), 3);
        if (!extension.empty()) {
            out += u"." + extension;
        }
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Attribute sizes, as RecordBuilder lays attributes out, so that a record is known to fit
// before it is built.

std::size_t ResidentSize(std::size_t nameUnits, std::size_t valueLength) {
    return Align8(Align8(0x18 + 2 * nameUnits) + valueLength);
}

std::size_t NonResidentSize(std::size_t nameUnits, std::size_t runBytes, bool withTotal) {
    return Align8(Align8((withTotal ? 0x48 : 0x40) + 2 * nameUnits) + runBytes + 1 + 2 * nameUnits);
}

std::size_t FileNameSize(std::size_t units) {
    return ResidentSize(0, 0x42 + 2 * units);
}

constexpr std::size_t kStandardInformationSize = 0x60;

std::size_t ListSize(std::size_t entries) {
    return ResidentSize(0, 0x20 * entries);
}

// ---------------------------------------------------------------------------------------------
// Clusters

struct Piece {
    std::int64_t lcn;
    std::int64_t clusters;
};

std::int64_t ClustersOf(const std::vector<Piece>& pieces) {
    std::int64_t total = 0;
    for (const Piece& p : pieces) {
        total += p.clusters;
    }
    return total;
}

// The bytes of a signed number, as few as keep its sign.
std::size_t SignedWidth(std::int64_t value) {
    std::size_t n = 1;
    while (n < 8 && (value < -(std::int64_t{1} << (8 * n - 1)) ||
                     value >= (std::int64_t{1} << (8 * n - 1)))) {
        ++n;
    }
    return n;
}

// A run list from absolute pieces; a piece with lcn < 0 is sparse. Lengths are written as
// signed numbers too, as Windows writes them: ntfs-3g rejects a length whose top bit is set, and
// The Sleuth Kit misplaces the runs after it. (test::EncodeRuns gives lengths their unsigned
// width, which is fine for the scanner's tests but not for these oracles.)
Bytes RunList(const std::vector<Piece>& pieces) {
    Bytes out;
    std::int64_t previous = 0;
    for (const Piece& p : pieces) {
        const std::size_t lengthBytes = SignedWidth(p.clusters);
        const std::int64_t offset = p.lcn - previous;
        const std::size_t offsetBytes = p.lcn < 0 ? 0 : SignedWidth(offset);
        out.push_back(static_cast<std::uint8_t>(lengthBytes | offsetBytes << 4));
        for (std::size_t i = 0; i < lengthBytes; ++i) {
            out.push_back(
                static_cast<std::uint8_t>(static_cast<std::uint64_t>(p.clusters) >> (8 * i)));
        }
        for (std::size_t i = 0; i < offsetBytes; ++i) {
            out.push_back(static_cast<std::uint8_t>(static_cast<std::uint64_t>(offset) >> (8 * i)));
        }
        if (p.lcn >= 0) {
            previous = p.lcn;
        }
    }
    return out;
}

// Hands out clusters from the front of the free space, stepping over the MFT's extents, as a
// volume that fills up in order does. What it skips stays free, which fragments the next file.
class ClusterAllocator {
public:
    ClusterAllocator(std::int64_t start, std::vector<Piece> taken)
        : next_(start), taken_(std::move(taken)) {}

    std::vector<Piece> Take(std::int64_t count) {
        std::vector<Piece> pieces;
        while (count > 0) {
            while (taken_index_ < taken_.size() &&
                   next_ >= taken_[taken_index_].lcn + taken_[taken_index_].clusters) {
                ++taken_index_;
            }
            std::int64_t room = std::numeric_limits<std::int64_t>::max();
            if (taken_index_ < taken_.size()) {
                if (next_ >= taken_[taken_index_].lcn) {
                    next_ = taken_[taken_index_].lcn + taken_[taken_index_].clusters;
                    continue;
                }
                room = taken_[taken_index_].lcn - next_;
            }
            const std::int64_t piece = std::min(count, room);
            if (!pieces.empty() && pieces.back().lcn + pieces.back().clusters == next_) {
                pieces.back().clusters += piece;
            } else {
                pieces.push_back({next_, piece});
            }
            next_ += piece;
            count -= piece;
        }
        return pieces;
    }

    void Skip(std::int64_t count) {
        skipped_.push_back({next_, count});
        next_ += count;
    }

    std::int64_t Next() const { return next_; }
    const std::vector<Piece>& Skipped() const { return skipped_; }

private:
    std::int64_t next_;
    std::vector<Piece> taken_;
    std::size_t taken_index_ = 0;
    std::vector<Piece> skipped_;
};

// ---------------------------------------------------------------------------------------------
// Records

// The update sequence, applied to every 512-byte stride of a record or index block.
void Protect(Bytes& bytes, std::size_t usaOffset) {
    const std::uint16_t value =
        static_cast<std::uint16_t>(bytes[usaOffset] | bytes[usaOffset + 1] << 8);
    for (std::size_t i = 0; (i + 1) * 512 <= bytes.size(); ++i) {
        const std::size_t tail = i * 512 + 510;
        bytes[usaOffset + 2 + 2 * i] = bytes[tail];
        bytes[usaOffset + 3 + 2 * i] = bytes[tail + 1];
        Put(bytes, tail, value, 2);
    }
}

std::uint32_t U32(const Bytes& bytes, std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
                                      static_cast<std::uint32_t>(bytes[at + 3]) << 24);
}

// A record under construction: RecordBuilder lays out the attributes it knows; attributes it
// has no call for are given whole, and what it leaves fixed (link count, compression unit, last
// VCN) is set before the update sequence goes on.
class Record {
public:
    RecordBuilder builder;

    // For a non-resident attribute just added through the builder.
    void NoteNonResident(std::int64_t lastVcn, bool compressed) {
        patches_.push_back({attributes_, lastVcn, compressed});
        ++attributes_;
    }
    void NoteAttribute() { ++attributes_; }
    std::uint16_t NextId() const { return static_cast<std::uint16_t>(attributes_); }
    void Raw(const Bytes& attribute) {
        builder.RawAttribute(attribute);
        ++attributes_;
    }
    void Links(std::uint16_t count) { links_ = count; }

    Bytes Finish() const {
        Bytes r = builder.Build(false);
        if (U32(r, 0x18) > kRecordSize) {
            throw std::logic_error("attributes overflow a record");
        }
        Put(r, 0x12, links_, 2);
        Put(r, 0x28, attributes_, 2);
        std::size_t at = r[0x14] | r[0x15] << 8;
        for (std::size_t ordinal = 0; at + 8 <= r.size() && U32(r, at) != 0xFFFFFFFF; ++ordinal) {
            for (const Patch& patch : patches_) {
                if (patch.ordinal == ordinal) {
                    Put(r, at + 0x18, static_cast<std::uint64_t>(patch.lastVcn), 8);
                    if (patch.compressed) {
                        Put(r, at + 0x22, 4, 1);
                    }
                }
            }
            at += U32(r, at + 4);
        }
        Protect(r, 0x30);
        return r;
    }

private:
    struct Patch {
        std::size_t ordinal;
        std::int64_t lastVcn;
        bool compressed;
    };
    std::vector<Patch> patches_;
    std::size_t attributes_ = 0;
    std::uint16_t links_ = 1;
};

Bytes RawResident(std::uint32_t type, std::u16string_view name, const Bytes& value,
                  std::uint16_t id) {
    const std::size_t valueOffset = Align8(0x18 + 2 * name.size());
    Bytes a(Align8(valueOffset + value.size()));
    Put(a, 0x00, type, 4);
    Put(a, 0x04, a.size(), 4);
    Put(a, 0x09, name.size(), 1);
    Put(a, 0x0A, name.empty() ? 0 : 0x18, 2);
    Put(a, 0x0E, id, 2);
    Put(a, 0x10, value.size(), 4);
    Put(a, 0x14, valueOffset, 2);
    for (std::size_t i = 0; i < name.size(); ++i) {
        Put(a, 0x18 + 2 * i, name[i], 2);
    }
    std::copy(value.begin(), value.end(), a.begin() + static_cast<std::ptrdiff_t>(valueOffset));
    return a;
}

Bytes RawNonResident(std::uint32_t type, std::u16string_view name, const std::vector<Piece>& pieces,
                     std::int64_t dataSize, std::uint16_t id) {
    const Bytes runs = RunList(pieces);
    const std::size_t runOffset = Align8(0x40 + 2 * name.size());
    Bytes a(Align8(runOffset + runs.size() + 1));
    const std::int64_t clusters = ClustersOf(pieces);
    Put(a, 0x00, type, 4);
    Put(a, 0x04, a.size(), 4);
    Put(a, 0x08, 1, 1);
    Put(a, 0x09, name.size(), 1);
    Put(a, 0x0A, name.empty() ? 0 : 0x40, 2);
    Put(a, 0x0E, id, 2);
    Put(a, 0x18, static_cast<std::uint64_t>(clusters - 1), 8);
    Put(a, 0x20, runOffset, 2);
    Put(a, 0x28, static_cast<std::uint64_t>(clusters * kCluster), 8);
    Put(a, 0x30, static_cast<std::uint64_t>(dataSize), 8);
    Put(a, 0x38, static_cast<std::uint64_t>(dataSize), 8);
    for (std::size_t i = 0; i < name.size(); ++i) {
        Put(a, 0x40 + 2 * i, name[i], 2);
    }
    std::copy(runs.begin(), runs.end(), a.begin() + static_cast<std::ptrdiff_t>(runOffset));
    return a;
}

// A $DATA attribute through the builder, with its pieces.
void AddData(Record& record, const std::vector<Piece>& pieces, std::int64_t dataSize,
             std::int64_t allocated, std::uint16_t flags, std::int64_t totalAllocated,
             std::int64_t lowestVcn = 0, std::u16string name = u"") {
    RecordBuilder::NonResident data;
    data.runList = RunList(pieces);
    data.dataSize = dataSize;
    data.allocated = allocated;
    data.initialized = dataSize;
    data.lowestVcn = lowestVcn;
    data.flags = flags;
    data.totalAllocated = totalAllocated;
    data.name = std::move(name);
    record.builder.NonResidentData(data);
    record.NoteNonResident(lowestVcn + ClustersOf(pieces) - 1, (flags & 0x0001) != 0);
}

// ---------------------------------------------------------------------------------------------
// Folder indexes

Bytes FileNameValue(std::int64_t parent, const std::u16string& name, std::uint8_t nameSpace,
                    bool directory, std::int64_t size, std::int64_t allocated, std::int64_t time,
                    std::uint32_t attributes) {
    Bytes value(0x42 + 2 * name.size());
    Put(value, 0x00, static_cast<std::uint64_t>(parent) | kSequence, 8);
    for (std::size_t at = 0x08; at < 0x28; at += 8) {
        Put(value, at, static_cast<std::uint64_t>(time), 8);
    }
    Put(value, 0x28, static_cast<std::uint64_t>(allocated), 8);
    Put(value, 0x30, static_cast<std::uint64_t>(size), 8);
    Put(value, 0x38, directory ? 0x10000000u | attributes : attributes, 4);
    Put(value, 0x40, name.size(), 1);
    Put(value, 0x41, nameSpace, 1);
    for (std::size_t i = 0; i < name.size(); ++i) {
        Put(value, 0x42 + 2 * i, name[i], 2);
    }
    return value;
}

struct IndexItem {
    std::u16string sortKey;
    Bytes key;
    std::int64_t record = 0;
    std::int64_t child = -1;  // VCN of the node of smaller names
};

std::size_t EntrySize(const IndexItem& item, bool withChild) {
    return Align8(0x10 + item.key.size()) + (withChild ? 8 : 0);
}

void AppendEntry(Bytes& out, const IndexItem& item) {
    const std::size_t at = out.size();
    const std::size_t size = EntrySize(item, item.child >= 0);
    out.resize(at + size);
    Put(out, at + 0x00, static_cast<std::uint64_t>(item.record) | kSequence, 8);
    Put(out, at + 0x08, size, 2);
    Put(out, at + 0x0A, item.key.size(), 2);
    Put(out, at + 0x0C, item.child >= 0 ? 1 : 0, 4);
    std::copy(item.key.begin(), item.key.end(),
              out.begin() + static_cast<std::ptrdiff_t>(at + 0x10));
    if (item.child >= 0) {
        Put(out, at + size - 8, static_cast<std::uint64_t>(item.child), 8);
    }
}

void AppendEnd(Bytes& out, std::int64_t child) {
    const std::size_t at = out.size();
    const std::size_t size = child >= 0 ? 0x18 : 0x10;
    out.resize(at + size);
    Put(out, at + 0x08, size, 2);
    Put(out, at + 0x0C, child >= 0 ? 3 : 2, 4);
    if (child >= 0) {
        Put(out, at + 0x10, static_cast<std::uint64_t>(child), 8);
    }
}

// A folder's B+ tree: the entries that stay in the record's $INDEX_ROOT and the 4 KiB index
// blocks below it, built from the bottom up.
struct FolderIndex {
    Bytes rootEntries;
    bool large = false;
    std::vector<Bytes> blocks;  // unprotected, VCN = position
    std::size_t blockCount = 0;
};

constexpr std::size_t kBlockEntrySpace = kIndexBlock - 0x40;

FolderIndex BuildIndex(std::vector<IndexItem> items, std::size_t smallRoom, std::size_t largeRoom,
                       bool keepBlocks) {
    std::sort(items.begin(), items.end(),
              [](const IndexItem& a, const IndexItem& b) { return a.sortKey < b.sortKey; });
    FolderIndex index;
    std::size_t total = 0x10;
    for (const IndexItem& item : items) {
        total += EntrySize(item, false);
    }
    if (total <= smallRoom) {
        for (const IndexItem& item : items) {
            AppendEntry(index.rootEntries, item);
        }
        AppendEnd(index.rootEntries, -1);
        return index;
    }
    index.large = true;
    std::int64_t rightChild = -1;
    for (;;) {
        std::size_t rootSize = 0x18;
        for (const IndexItem& item : items) {
            rootSize += EntrySize(item, true);
        }
        if (index.blockCount > 0 && rootSize <= largeRoom) {
            for (const IndexItem& item : items) {
                AppendEntry(index.rootEntries, item);
            }
            AppendEnd(index.rootEntries, rightChild);
            return index;
        }
        // One more level: pack the items into blocks, each block's last item going up.
        std::vector<IndexItem> parents;
        std::int64_t parentRight = -1;
        std::size_t i = 0;
        while (i < items.size()) {
            const bool internal = items[i].child >= 0;
            std::size_t used = internal ? 0x18 : 0x10;
            std::size_t j = i;
            while (j < items.size() && used + EntrySize(items[j], internal) <= kBlockEntrySpace) {
                used += EntrySize(items[j], internal);
                ++j;
            }
            // A block must not be left with nothing after the item that goes up.
            if (j + 1 == items.size() && j - i > 1) {
                --j;
            }
            const auto vcn = static_cast<std::int64_t>(index.blockCount++);
            const std::int64_t end = j < items.size() ? items[j].child : rightChild;
            if (keepBlocks) {
                Bytes block(kIndexBlock);
                std::memcpy(block.data(), "INDX", 4);
                Put(block, 0x04, 0x28, 2);
                Put(block, 0x06, kIndexBlock / 512 + 1, 2);
                Put(block, 0x10, static_cast<std::uint64_t>(vcn), 8);
                Put(block, 0x28, 1, 2);
                Bytes entries;
                for (std::size_t k = i; k < j; ++k) {
                    AppendEntry(entries, items[k]);
                }
                AppendEnd(entries, end);
                Put(block, 0x18, 0x28, 4);
                Put(block, 0x1C, 0x28 + entries.size(), 4);
                Put(block, 0x20, kIndexBlock - 0x18, 4);
                Put(block, 0x24, internal ? 1 : 0, 1);
                std::copy(entries.begin(), entries.end(), block.begin() + 0x40);
                index.blocks.push_back(std::move(block));
            }
            if (j < items.size()) {
                IndexItem up = std::move(items[j]);
                up.child = vcn;
                parents.push_back(std::move(up));
                i = j + 1;
            } else {
                parentRight = vcn;
                i = j;
            }
        }
        items = std::move(parents);
        rightChild = parentRight;
        if (items.empty()) {
            AppendEnd(index.rootEntries, rightChild);
            return index;
        }
    }
}

Bytes IndexRootValue(const Bytes& entries, bool large, std::uint32_t indexedType,
                     std::uint32_t collation) {
    Bytes value(0x20);
    Put(value, 0x00, indexedType, 4);
    Put(value, 0x04, collation, 4);
    Put(value, 0x08, kIndexBlock, 4);
    Put(value, 0x0C, 1, 1);
    Put(value, 0x10, 0x10, 4);
    Put(value, 0x14, 0x10 + entries.size(), 4);
    Put(value, 0x18, 0x10 + entries.size(), 4);
    Put(value, 0x1C, large ? 1 : 0, 1);
    value.insert(value.end(), entries.begin(), entries.end());
    return value;
}

constexpr std::size_t kIndexRootOverhead = 0x40;  // header and "$I30", root and node headers
constexpr std::size_t kIndexAllocationReserve = 0x70;
std::size_t BitmapAttributeSize(std::size_t blocks) {
    return ResidentSize(
        4, Align8(static_cast<std::size_t>(CeilDiv(static_cast<std::int64_t>(blocks), 8))));
}

// ---------------------------------------------------------------------------------------------
// The plan: folders and hard links, fixed before any record is written so that a folder's index
// can name children whose records come later.

enum class Layout : std::uint8_t { kOneRecord, kNamesOutside, kDataOutside, kAllOutside };

struct Traits {
    Layout layout = Layout::kOneRecord;
    bool deletedBefore = false;
    std::int32_t links = 0;
};

Traits TraitsOf(std::int32_t folder, std::int32_t file) {
    Traits t;
    if (folder == 0) {
        return t;
    }
    Rng rng(1, static_cast<std::uint64_t>(folder), static_cast<std::uint64_t>(file));
    t.deletedBefore = rng.Chance(0.02);
    const double u = rng.Unit();
    if (u < 0.0025) {
        t.layout = Layout::kNamesOutside;
        t.links = static_cast<std::int32_t>(rng.Range(3, 5));
    } else if (u < 0.0045) {
        t.layout = Layout::kDataOutside;
    } else if (u < 0.0055) {
        t.layout = Layout::kAllOutside;
        t.links = static_cast<std::int32_t>(rng.Range(1, 2));
    } else if (rng.Chance(0.015)) {
        t.links = 1;
    }
    return t;
}

std::int64_t SlotsOf(const Traits& t) {
    const std::int64_t extensions = t.layout == Layout::kOneRecord     ? 0
                                    : t.layout == Layout::kDataOutside ? 2
                                                                       : 1;
    return (t.deletedBefore ? 1 : 0) + 1 + extensions;
}

// Most names fit anywhere; a record that holds many names must keep them short.
std::size_t PrimaryNameCap(Layout layout) {
    return layout == Layout::kNamesOutside ? 30 : layout == Layout::kAllOutside ? 40 : 60;
}
std::size_t LinkNameCap(Layout layout) {
    return layout == Layout::kNamesOutside ? 20 : layout == Layout::kAllOutside ? 30 : 60;
}

struct Folder {
    std::int64_t record = kRootRecord;
    std::int32_t parent = -1;
    std::int32_t depth = 0;
    std::int32_t files = 0;
    std::int64_t firstFileSlot = 0;
    std::size_t firstLink = 0;  // the hard links of its files, in file order
    std::u16string name;
    std::u16string dosName;
    std::uint8_t nameSpace = 1;
    std::vector<std::int32_t> subfolders;
    std::vector<std::uint32_t> linksIn;
};

struct Link {
    std::int32_t folder;
    std::int32_t file;
    std::int32_t target;
    std::u16string name;
};

struct RootFile {
    std::u16string_view name;
    std::int64_t size;
};
constexpr std::array<RootFile, 6> kRootFiles = {{{u"pagefile.sys", 8LL << 30},
                                                 {u"hiberfil.sys", 6LL << 30},
                                                 {u"swapfile.sys", 256LL << 20},
                                                 {u"bootmgr", 413738},
                                                 {u"BOOTNXT", 1},
                                                 {u"DumpStack.log.tmp", 8192}}};

struct Plan {
    std::vector<Folder> folders;
    std::vector<Link> links;
};

std::int32_t FilesInFolder(Rng& rng) {
    const double u = rng.Unit();
    return static_cast<std::int32_t>(u < 0.25   ? rng.Range(0, 8)
                                     : u < 0.85 ? rng.Range(20, 100)
                                     : u < 0.98 ? rng.Range(100, 250)
                                                : rng.Range(250, 1500));
}

Plan MakePlan(std::int64_t records) {
    Plan plan;
    // Some free records at the end, as an MFT keeps after its last file.
    const std::int64_t limit = records - std::max<std::int64_t>(4, records / 2000);
    Folder root;
    root.files = static_cast<std::int32_t>(kRootFiles.size());
    root.firstFileSlot = kFirstUserRecord;
    plan.folders.push_back(root);
    std::int64_t slot = kFirstUserRecord + root.files;
    std::array<std::vector<std::int32_t>, 13> byDepth;
    byDepth[0].push_back(0);
    static constexpr std::array<double, 12> kDepthWeights = {0,  4,  8, 12, 14, 14,
                                                             12, 10, 8, 6,  4,  3};
    double weightSum = 0;
    for (const double w : kDepthWeights) {
        weightSum += w;
    }
    for (std::int32_t f = 1;; ++f) {
        Rng rng(2, static_cast<std::uint64_t>(f));
        std::int32_t depth = 1;
        const bool top = byDepth[1].size() < kTopFolders.size() ||
                         (byDepth[1].size() < 24 && rng.Chance(0.0005));
        if (!top) {
            double pick = rng.Unit() * weightSum;
            depth = 1;
            while (depth < 12 && pick >= kDepthWeights[static_cast<std::size_t>(depth - 1)]) {
                pick -= kDepthWeights[static_cast<std::size_t>(depth - 1)];
                ++depth;
            }
            depth = std::max(depth, 2);
            while (byDepth[static_cast<std::size_t>(depth - 1)].empty()) {
                --depth;
            }
        }
        const auto& candidates = byDepth[static_cast<std::size_t>(depth - 1)];
        const std::int32_t parent =
            candidates[static_cast<std::size_t>(rng.Range(0, candidates.size() - 1))];
        std::int32_t files = FilesInFolder(rng);
        std::int64_t span = 1;
        std::int32_t fit = 0;
        for (; fit < files; ++fit) {
            const std::int64_t more = SlotsOf(TraitsOf(f, fit));
            if (slot + span + more > limit) {
                break;
            }
            span += more;
        }
        if (slot + span > limit) {
            break;
        }
        files = fit;
        Folder folder;
        folder.record = slot;
        folder.parent = parent;
        folder.depth = depth;
        folder.files = files;
        folder.firstFileSlot = slot + 1;
        folder.firstLink = plan.links.size();
        Rng names(3, static_cast<std::uint64_t>(f));
        folder.name = top && byDepth[1].size() < kTopFolders.size()
                          ? std::u16string(kTopFolders[byDepth[1].size()])
                          : RandomStem(names, NameLength(names, 60));
        for (std::int32_t i = 0; i < files; ++i) {
            const Traits t = TraitsOf(f, i);
            for (std::int32_t k = 0; k < t.links; ++k) {
                Rng link(4, static_cast<std::uint64_t>(f),
                         static_cast<std::uint64_t>(i) * 8 + static_cast<std::uint64_t>(k));
                const std::int32_t target =
                    link.Chance(0.3) ? f : static_cast<std::int32_t>(link.Range(0, f - 1));
                const auto index = static_cast<std::uint32_t>(plan.links.size());
                plan.links.push_back({f, i, target, RandomFileName(link, LinkNameCap(t.layout))});
                if (target == f) {
                    folder.linksIn.push_back(index);
                } else {
                    plan.folders[static_cast<std::size_t>(target)].linksIn.push_back(index);
                }
            }
        }
        plan.folders[static_cast<std::size_t>(parent)].subfolders.push_back(f);
        byDepth[static_cast<std::size_t>(depth)].push_back(f);
        plan.folders.push_back(std::move(folder));
        slot += span;
    }
    return plan;
}

// ---------------------------------------------------------------------------------------------
// Files

struct Name {
    std::int64_t parent;
    std::u16string text;
    std::uint8_t nameSpace;
};

enum class Flavour : std::uint8_t { kResident, kPlain, kFragmented, kSparse, kCompressed };

struct FileShape {
    Traits traits;
    std::vector<Name> names;  // its own, its 8.3 name, then its hard links
    std::int64_t size = 0;
    std::int64_t allocated = 0;  // what the $DATA header says
    Flavour flavour = Flavour::kPlain;
    std::int64_t time = 0;
    std::uint32_t attributes = 0x20;
    bool zoneIdentifier = false;
};

std::int64_t PickSize(Rng& rng) {
    const double u = rng.Unit();
    if (u < 0.04) {
        return 0;
    }
    if (u < 0.26) {
        return rng.Range(1, 700);
    }
    const double v = rng.Unit();
    if (v < 0.73) {
        return rng.LogUniform(701, 64 << 10);
    }
    if (v < 0.977) {
        return rng.LogUniform(64 << 10, 1 << 20);
    }
    if (v < 0.9989) {
        return rng.LogUniform(1 << 20, 32 << 20);
    }
    if (v < 0.99995) {
        return rng.LogUniform(32 << 20, 512 << 20);
    }
    return rng.LogUniform(512LL << 20, 6LL << 30);
}

std::size_t NamesSize(const std::vector<Name>& names) {
    std::size_t total = 0;
    for (const Name& n : names) {
        total += FileNameSize(n.text.size());
    }
    return total;
}

std::uint16_t LinkCount(const std::vector<Name>& names) {
    return static_cast<std::uint16_t>(
        std::count_if(names.begin(), names.end(), [](const Name& n) { return n.nameSpace != 2; }));
}

// ---------------------------------------------------------------------------------------------
// Output

class ImageFile {
public:
    explicit ImageFile(const char* path) : fd_(::open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644)) {
        if (fd_ < 0) {
            throw std::runtime_error(std::string("cannot create ") + path);
        }
    }
    ~ImageFile() { ::close(fd_); }
    ImageFile(const ImageFile&) = delete;
    ImageFile& operator=(const ImageFile&) = delete;

    void WriteAt(std::int64_t offset, const std::uint8_t* data, std::size_t length) {
        while (length > 0) {
            const ssize_t done = ::pwrite(fd_, data, length, static_cast<off_t>(offset));
            if (done <= 0) {
                throw std::runtime_error("write failed (disk full?)");
            }
            data += done;
            length -= static_cast<std::size_t>(done);
            offset += done;
            written_ += done;
        }
    }
    void WriteAt(std::int64_t offset, const Bytes& bytes) {
        WriteAt(offset, bytes.data(), bytes.size());
    }
    void SetSize(std::int64_t size) {
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
            throw std::runtime_error("cannot set the image size");
        }
    }
    std::int64_t Written() const { return written_; }

private:
    int fd_;
    std::int64_t written_ = 0;
};

// Appends records in record order to their places in the MFT's extents, a chunk at a time.
class MftStream {
public:
    MftStream(ImageFile& file, std::vector<Piece> extents)
        : file_(file), extents_(std::move(extents)) {
        buffer_.reserve(kChunk);
    }

    std::int64_t OffsetOf(std::int64_t record) const {
        std::int64_t vcnByte = record * kRecordSize;
        for (const Piece& e : extents_) {
            if (vcnByte < e.clusters * kCluster) {
                return e.lcn * kCluster + vcnByte;
            }
            vcnByte -= e.clusters * kCluster;
        }
        throw std::logic_error("record beyond the MFT");
    }

    void Add(const Bytes& record) {
        if (record.size() != static_cast<std::size_t>(kRecordSize)) {
            throw std::logic_error("record of the wrong size");
        }
        const std::int64_t offset = OffsetOf(count_);
        if (!buffer_.empty() &&
            (offset != bufferOffset_ + static_cast<std::int64_t>(buffer_.size()) ||
             buffer_.size() + record.size() > kChunk)) {
            Flush();
        }
        if (buffer_.empty()) {
            bufferOffset_ = offset;
        }
        buffer_.insert(buffer_.end(), record.begin(), record.end());
        if ((record[0x16] & 1) != 0) {
            inUse_.resize(static_cast<std::size_t>(count_ / 8 + 1), 0);
            inUse_[static_cast<std::size_t>(count_ / 8)] |=
                static_cast<std::uint8_t>(1u << (count_ % 8));
        }
        if (count_ < 4) {
            mirror_.insert(mirror_.end(), record.begin(), record.end());
        }
        ++count_;
    }

    void Rewrite(std::int64_t number, const Bytes& record) {
        file_.WriteAt(OffsetOf(number), record);
        if (number < 4) {
            std::copy(record.begin(), record.end(), mirror_.begin() + number * kRecordSize);
        }
    }

    void Flush() {
        if (!buffer_.empty()) {
            file_.WriteAt(bufferOffset_, buffer_);
            buffer_.clear();
        }
    }

    std::int64_t Count() const { return count_; }
    const Bytes& InUse() const { return inUse_; }
    const Bytes& Mirror() const { return mirror_; }

private:
    static constexpr std::size_t kChunk = 8 << 20;
    ImageFile& file_;
    std::vector<Piece> extents_;
    Bytes buffer_;
    std::int64_t bufferOffset_ = 0;
    std::int64_t count_ = 0;
    Bytes inUse_;
    Bytes mirror_;
};

struct Totals {
    std::int64_t files = 0;  // as the scanner counts them: base records with a name
    std::int64_t folders = 0;
    std::int64_t bytes = 0;
    std::int64_t extensionRecords = 0;
    std::int64_t deleted = 0;
    std::int64_t freeRecords = 0;
    std::int64_t linkNames = 0;
    std::int64_t dosNames = 0;
    std::int64_t posixNames = 0;
    std::int64_t foreignNames = 0;
    std::int64_t resident = 0;
    std::int64_t sparse = 0;
    std::int64_t compressed = 0;
    std::int64_t fragmented = 0;
    std::int64_t zoneStreams = 0;
    std::int64_t gigabyteFiles = 0;
    std::int64_t largest = 0;
    std::int64_t namesOutside = 0;
    std::int64_t dataOutside = 0;
    std::int64_t allOutside = 0;
    std::int64_t indexBlocks = 0;
    std::int64_t largeIndexes = 0;
    std::int64_t listedNames = 0;   // names in folder indexes, 8.3 names left out
    std::int64_t namedStreams = 0;  // listed by fls as NAME:STREAM
    std::array<std::int64_t, 13> depths{};
};

bool IsForeign(const std::u16string& name) {
    return std::any_of(name.begin(), name.end(), [](char16_t c) { return c > 0x7E; });
}

// Everything one folder needs once its children are known.
struct PreparedFolder {
    std::vector<FileShape> files;
    FolderIndex index;
    std::vector<Piece> blockPieces;
};

class Generator {
public:
    Generator(std::int64_t records, const char* path, bool indexes)
        : records_(records),
          indexes_(indexes),
          file_(path),
          plan_(MakePlan(records)),
          extents_(LayOutMft()),
          mft_(file_, extents_),
          allocator_(LayOutSystemFiles(), extents_) {}

    Totals Run() {
        WriteSystemRecords();
        for (std::size_t f = 0; f < plan_.folders.size(); ++f) {
            if (f > 0) {
                if (mft_.Count() != plan_.folders[f].record) {
                    throw std::logic_error("folder record out of place");
                }
                prepared_ = Prepare(static_cast<std::int32_t>(f));
                mft_.Add(FolderRecord(static_cast<std::int32_t>(f)));
            }
            WriteFiles(static_cast<std::int32_t>(f));
        }
        while (mft_.Count() < records_) {
            mft_.Add(FreeRecord());
            ++totals_.freeRecords;
        }
        mft_.Flush();
        Finish();
        return totals_;
    }

    const std::vector<Piece>& Extents() const { return extents_; }
    std::int64_t VolumeClusters() const { return volumeClusters_; }
    std::int64_t BytesWritten() const { return file_.Written(); }

private:
    // The MFT in five extents of uneven size with files between them, as an MFT that grew with
    // its volume lies.
    std::vector<Piece> LayOutMft() {
        const std::int64_t clusters = CeilDiv(records_ * kRecordSize, kCluster);
        static constexpr std::array<double, 5> kShares = {0.07, 0.18, 0.25, 0.2, 0.3};
        std::vector<Piece> extents;
        std::int64_t lcn = kMftStartLcn;
        std::int64_t left = clusters;
        for (std::size_t i = 0; i < kShares.size() && left > 0; ++i) {
            std::int64_t size =
                i + 1 == kShares.size()
                    ? left
                    : std::max<std::int64_t>(1, static_cast<std::int64_t>(clusters * kShares[i]));
            size = std::min(size, left);
            extents.push_back({lcn, size});
            left -= size;
            lcn += size + size * 48 + 1024;
        }
        return extents;
    }

    // Fixed places for the system files before the first MFT extent; files follow them.
    std::int64_t LayOutSystemFiles() {
        mftBitmapBytes_ =
            static_cast<std::int64_t>(Align8(static_cast<std::size_t>(CeilDiv(records_, 8))));
        std::int64_t lcn = 0;
        auto place = [&lcn](std::int64_t clusters) {
            const Piece p{lcn, clusters};
            lcn += clusters;
            return p;
        };
        boot_ = place(2);
        mirror_ = place(1);
        attrDef_ = place(1);
        upcase_ = place(32);
        sds_ = place(68);
        mftBitmap_ = place(CeilDiv(mftBitmapBytes_, kCluster));
        logFile_ = place(16384);
        usnData_ = place(2048);
        return lcn;
    }

    static std::int64_t TimeOf(Rng& rng) { return rng.Range(kFileTime2008, kFileTime2024); }
    static std::int64_t FolderTime(std::int32_t f) {
        Rng rng(9, static_cast<std::uint64_t>(f));
        return TimeOf(rng);
    }

    // -- system records --------------------------------------------------------------------

    Bytes MetaFile(std::int64_t number, const std::u16string& name,
                   const std::vector<Piece>& pieces, std::int64_t size, std::uint16_t flags = 1) {
        Record r;
        r.builder.Flags(flags).StandardInformation(kFileTime2008, 0x06);
        r.NoteAttribute();
        r.builder.FileName(kRootRecord, name, 3, false, size, ClustersOf(pieces) * kCluster);
        r.NoteAttribute();
        AddData(r, pieces, size, ClustersOf(pieces) * kCluster, 0, -1);
        CountMetaFile(number, name, size);
        return r.Finish();
    }

    void CountMetaFile(std::int64_t number, const std::u16string& name, std::int64_t size) {
        ++totals_.files;
        totals_.bytes += size;
        metaNames_.push_back({number, name, size});
    }

    // A system file of empty view indexes, with a named stream before them when `stream` is set.
    Record ViewIndexes(std::int64_t parent, const std::u16string& name, std::uint16_t flags,
                       const std::vector<std::pair<std::u16string_view, std::uint32_t>>& roots,
                       const Piece* stream = nullptr) {
        Record r;
        r.builder.Flags(flags).StandardInformation(kFileTime2008, 0x06);
        r.NoteAttribute();
        r.builder.FileName(parent, name, 3, false);
        r.NoteAttribute();
        if (stream != nullptr) {
            AddData(r, {*stream}, 262396, stream->clusters * kCluster, 0, -1, 0, u"$SDS");
            ++totals_.namedStreams;
        }
        Bytes empty;
        AppendEnd(empty, -1);
        for (const auto& [streamName, collation] : roots) {
            r.Raw(RawResident(kAttrIndexRoot, streamName,
                              IndexRootValue(empty, false, 0, collation), r.NextId()));
            ++totals_.namedStreams;
        }
        ++unnamedDataMissing_;
        return r;
    }

    Bytes RecordZero() {
        Record r;
        r.builder.StandardInformation(kFileTime2008, 0x06);
        r.NoteAttribute();
        const std::int64_t size = records_ * kRecordSize;
        const std::int64_t clusters = ClustersOf(extents_);
        r.builder.FileName(kRootRecord, u"$MFT", 3, false, size, clusters * kCluster);
        r.NoteAttribute();
        AddData(r, extents_, size, clusters * kCluster, 0, -1);
        r.Raw(RawNonResident(kAttrBitmap, u"", {mftBitmap_}, mftBitmapBytes_, r.NextId()));
        return r.Finish();
    }

    Bytes BitmapRecord() { return MetaFileQuiet(u"$Bitmap", bitmap_, bitmapBytes_); }

    Bytes MetaFileQuiet(const std::u16string& name, const std::vector<Piece>& pieces,
                        std::int64_t size) {
        Record r;
        r.builder.StandardInformation(kFileTime2008, 0x06);
        r.NoteAttribute();
        r.builder.FileName(kRootRecord, name, 3, false, size, ClustersOf(pieces) * kCluster);
        r.NoteAttribute();
        AddData(r, pieces, size, ClustersOf(pieces) * kCluster, 0, -1);
        return r.Finish();
    }

    Bytes BadClusRecord() {
        Record r;
        r.builder.StandardInformation(kFileTime2008, 0x06);
        r.NoteAttribute();
        r.builder.FileName(kRootRecord, u"$BadClus", 3, false);
        r.NoteAttribute();
        r.builder.ResidentData(0);
        r.NoteAttribute();
        // The clusters the boot sector counts: all but the one that ends in the backup boot sector.
        const std::int64_t clusters = std::max<std::int64_t>(volumeClusters_ - 1, 1);
        AddData(r, {{-1, clusters}}, clusters * kCluster, clusters * kCluster, 0x8000, 0, 0,
                u"$Bad");
        return r.Finish();
    }

    void WriteSystemRecords() {
        mft_.Add(RecordZero());
        CountMetaFile(0, u"$MFT", records_ * kRecordSize);
        mft_.Add(MetaFile(1, u"$MFTMirr", {mirror_}, 4 * kRecordSize));
        mft_.Add(MetaFile(2, u"$LogFile", {logFile_}, logFile_.clusters * kCluster));
        {
            Record r;
            r.builder.StandardInformation(kFileTime2008, 0x06);
            r.NoteAttribute();
            r.builder.FileName(kRootRecord, u"$Volume", 3, false);
            r.NoteAttribute();
            Bytes label;
            for (const char16_t c : std::u16string_view(u"Kestrin")) {
                label.push_back(static_cast<std::uint8_t>(c));
                label.push_back(0);
            }
            r.Raw(RawResident(kAttrVolumeName, u"", label, r.NextId()));
            Bytes info(12);
            Put(info, 8, 3, 1);
            Put(info, 9, 1, 1);
            r.Raw(RawResident(kAttrVolumeInformation, u"", info, r.NextId()));
            r.Raw(RawResident(kAttrData, u"", {}, r.NextId()));
            mft_.Add(r.Finish());
            CountMetaFile(3, u"$Volume", 0);
        }
        mft_.Add(MetaFile(4, u"$AttrDef", {attrDef_}, 2560));
        prepared_ = Prepare(0);
        mft_.Add(FolderRecord(0));
        // $Bitmap's size is known only at the end; it is written again then.
        bitmap_ = {{boot_.lcn, 1}};
        mft_.Add(BitmapRecord());
        mft_.Add(MetaFile(7, u"$Boot", {boot_}, 8192));
        mft_.Add(BadClusRecord());
        CountMetaFile(8, u"$BadClus", 0);
        ++totals_.namedStreams;
        {
            mft_.Add(ViewIndexes(kRootRecord, u"$Secure", 0x09, {{u"$SDH", 0x12}, {u"$SII", 0x10}},
                                 &sds_)
                         .Finish());
            CountMetaFile(9, u"$Secure", 0);
        }
        mft_.Add(MetaFile(10, u"$UpCase", {upcase_}, 131072));
        mft_.Add(ExtendRecord());
        for (std::int64_t n = 12; n < 16; ++n) {
            Record r;
            r.builder.StandardInformation(kFileTime2008, 0x06);
            r.NoteAttribute();
            mft_.Add(r.Finish());
        }
        for (std::int64_t n = 16; n < 24; ++n) {
            mft_.Add(FreeRecord());
            ++totals_.freeRecords;
        }
        mft_.Add(
            ViewIndexes(kExtendRecord, u"$Quota", 0x0D, {{u"$O", 0x11}, {u"$Q", 0x10}}).Finish());
        mft_.Add(ViewIndexes(kExtendRecord, u"$ObjId", 0x0D, {{u"$O", 0x13}}).Finish());
        mft_.Add(ViewIndexes(kExtendRecord, u"$Reparse", 0x0D, {{u"$R", 0x13}}).Finish());
        {
            Record r;
            r.builder.Flags(0x05).StandardInformation(kFileTime2008, 0x26);
            r.NoteAttribute();
            r.builder.FileName(kExtendRecord, u"$UsnJrnl", 3, false);
            r.NoteAttribute();
            const std::int64_t hole = 1LL << 13;
            const std::int64_t size = (hole + usnData_.clusters) * kCluster - 1234;
            AddData(r, {{-1, hole}, usnData_}, size, (hole + usnData_.clusters) * kCluster, 0x8000,
                    usnData_.clusters * kCluster, 0, u"$J");
            r.builder.ResidentData(32, u"$Max");
            r.NoteAttribute();
            totals_.namedStreams += 2;
            ++unnamedDataMissing_;
            mft_.Add(r.Finish());
        }
        totals_.files += 4;
        ++totals_.folders;  // $Extend
    }

    Bytes ExtendRecord() {
        Record r;
        r.builder.Flags(3).StandardInformation(kFileTime2008, 0x16);
        r.NoteAttribute();
        r.builder.FileName(kRootRecord, u"$Extend", 3, true);
        r.NoteAttribute();
        std::vector<IndexItem> items;
        const std::array<std::pair<std::int64_t, std::u16string_view>, 4> children = {
            {{24, u"$Quota"}, {25, u"$ObjId"}, {26, u"$Reparse"}, {27, u"$UsnJrnl"}}};
        for (const auto& [number, name] : children) {
            items.push_back({Upcase(name),
                             FileNameValue(kExtendRecord, std::u16string(name), 3, false, 0, 0,
                                           kFileTime2008, 0x26),
                             number});
            ++totals_.listedNames;
        }
        const FolderIndex index = BuildIndex(items, 4096, 4096, false);
        r.Raw(RawResident(kAttrIndexRoot, u"$I30",
                          IndexRootValue(index.rootEntries, false, kAttrFileName, 1), r.NextId()));
        return r.Finish();
    }

    static Bytes FreeRecord() {
        RecordBuilder b;
        b.Flags(0);
        Bytes r = b.Build(false);
        Protect(r, 0x30);
        return r;
    }

    // -- folders -----------------------------------------------------------------------------

    void Child(std::vector<IndexItem>& items, std::int64_t parent, const Name& name,
               std::int64_t record, bool directory, std::int64_t size, std::int64_t allocated,
               std::int64_t time, std::uint32_t attributes) {
        items.push_back({Upcase(name.text) + u'\0' + name.text,
                         FileNameValue(parent, name.text, name.nameSpace, directory, size,
                                       allocated, time, attributes),
                         record});
        if (name.nameSpace != 2) {
            ++totals_.listedNames;
        }
    }

    Name FolderName(std::int32_t f) const {
        const Folder& folder = plan_.folders[static_cast<std::size_t>(f)];
        return {plan_.folders[static_cast<std::size_t>(folder.parent)].record, folder.name,
                folder.nameSpace};
    }

    // Fixes the names of a folder's children (made unique, 8.3 names added), works out its
    // files and builds its index.
    PreparedFolder Prepare(std::int32_t f) {
        Folder& folder = plan_.folders[static_cast<std::size_t>(f)];
        PreparedFolder out;
        std::unordered_set<std::u16string> taken;
        std::vector<IndexItem> items;
        std::int64_t ordinal = 0;
        const std::int64_t self = folder.record;
        if (f == 0) {
            for (const auto& meta : metaNames_) {
                Child(items, self, {self, meta.name, 3}, meta.number, false, meta.size, meta.size,
                      kFileTime2008, 0x06);
                taken.insert(Upcase(meta.name));
            }
            Child(items, self, {self, u"$Bitmap", 3}, 6, false, 0, 0, kFileTime2008, 0x06);
            Child(items, self, {self, u"$Boot", 3}, 7, false, 8192, 8192, kFileTime2008, 0x06);
            Child(items, self, {self, u"$BadClus", 3}, 8, false, 0, 0, kFileTime2008, 0x06);
            Child(items, self, {self, u"$Secure", 3}, 9, false, 0, 0, kFileTime2008, 0x06);
            Child(items, self, {self, u"$UpCase", 3}, 10, false, 131072, 131072, kFileTime2008,
                  0x06);
            Child(items, self, {self, u"$Extend", 3}, kExtendRecord, true, 0, 0, kFileTime2008,
                  0x06);
            // "." names the root in its own index; listings leave it out.
            Child(items, self, {self, u".", 3}, kRootRecord, true, 0, 0, kFileTime2008, 0x06);
            --totals_.listedNames;
            for (const std::u16string_view name :
                 {u"$Bitmap", u"$Boot", u"$BadClus", u"$Secure", u"$UpCase", u"$Extend"}) {
                taken.insert(Upcase(name));
            }
        }
        for (const std::int32_t s : folder.subfolders) {
            Folder& sub = plan_.folders[static_cast<std::size_t>(s)];
            MakeUnique(sub.name, taken);
            Rng rng(5, static_cast<std::uint64_t>(s));
            if (IsShortName(sub.name)) {
                sub.nameSpace = 3;
            } else if (rng.Chance(0.35)) {
                sub.dosName = DosName(sub.name, ++ordinal);
            }
            const std::int64_t time = FolderTime(s);
            Child(items, self, {self, sub.name, sub.nameSpace}, sub.record, true, 0, 0, time, 0x10);
            if (!sub.dosName.empty()) {
                Child(items, self, {self, sub.dosName, 2}, sub.record, true, 0, 0, time, 0x10);
            }
        }
        for (const std::uint32_t l : folder.linksIn) {
            Link& link = plan_.links[l];
            MakeUnique(link.name, taken);
            const std::int64_t record = FileRecordOf(link.folder, link.file);
            Child(items, self, {self, link.name, 1}, record, false, 0, 0, kFileTime2008, 0x20);
        }
        std::size_t linkCursor = folder.firstLink;
        for (std::int32_t i = 0; i < folder.files; ++i) {
            FileShape shape;
            shape.traits = TraitsOf(f, i);
            Rng rng(6, static_cast<std::uint64_t>(f), static_cast<std::uint64_t>(i));
            Name own{self,
                     f == 0 ? std::u16string(kRootFiles[static_cast<std::size_t>(i)].name)
                            : RandomFileName(rng, PrimaryNameCap(shape.traits.layout)),
                     1};
            MakeUnique(own.text, taken);
            shape.names.push_back(own);
            if (IsShortName(own.text)) {
                shape.names.back().nameSpace = 3;
            } else if (shape.traits.layout != Layout::kNamesOutside && rng.Chance(0.35)) {
                shape.names.push_back({self, DosName(own.text, ++ordinal), 2});
            } else if (rng.Chance(0.01)) {
                shape.names.back().nameSpace = 0;
            }
            for (std::int32_t k = 0; k < shape.traits.links; ++k, ++linkCursor) {
                const Link& link = plan_.links[linkCursor];
                shape.names.push_back(
                    {plan_.folders[static_cast<std::size_t>(link.target)].record, link.name, 1});
            }
            shape.time = TimeOf(rng);
            if (rng.Chance(0.03)) {
                shape.attributes |= 0x01;
            }
            if (rng.Chance(0.02)) {
                shape.attributes |= 0x06;
            }
            Decide(shape, rng, f == 0 ? kRootFiles[static_cast<std::size_t>(i)].size : -1);
            const std::int64_t record = FileRecordOf(f, i);
            Child(items, self, shape.names[0], record, false, shape.size, shape.allocated,
                  shape.time, shape.attributes);
            if (shape.names.size() > 1 && shape.names[1].nameSpace == 2) {
                Child(items, self, shape.names[1], record, false, shape.size, shape.allocated,
                      shape.time, shape.attributes);
            }
            out.files.push_back(std::move(shape));
        }
        // The record holds its names, the index root and, for a large index, where the blocks
        // are.
        const Name name = f == 0 ? Name{kRootRecord, u".", 3} : FolderName(f);
        std::size_t fixed =
            kStandardInformationSize + FileNameSize(name.text.size()) + kIndexRootOverhead;
        if (f > 0 && !folder.dosName.empty()) {
            fixed += FileNameSize(folder.dosName.size());
        }
        const std::size_t smallRoom = kAttributeSpace - fixed;
        for (std::size_t reserve = 0;; reserve += 8) {
            const std::size_t largeRoom =
                smallRoom - kIndexAllocationReserve - BitmapAttributeSize(128) - reserve;
            out.index = BuildIndex(items, smallRoom, largeRoom, indexes_);
            if (!out.index.large) {
                break;
            }
            const std::size_t used = fixed + out.index.rootEntries.size() +
                                     kIndexAllocationReserve +
                                     BitmapAttributeSize(out.index.blockCount);
            if (used <= kAttributeSpace) {
                break;
            }
        }
        if (out.index.large) {
            out.blockPieces = allocator_.Take(static_cast<std::int64_t>(out.index.blockCount));
            totals_.indexBlocks += static_cast<std::int64_t>(out.index.blockCount);
            ++totals_.largeIndexes;
            if (indexes_) {
                std::int64_t vcn = 0;
                for (const Piece& p : out.blockPieces) {
                    for (std::int64_t k = 0; k < p.clusters; ++k, ++vcn) {
                        Bytes& block = out.index.blocks[static_cast<std::size_t>(vcn)];
                        Protect(block, 0x28);
                        file_.WriteAt((p.lcn + k) * kCluster, block);
                    }
                }
            }
            out.index.blocks.clear();
        }
        return out;
    }

    std::int64_t FileRecordOf(std::int32_t f, std::int32_t i) {
        // Cached per folder: the slots of its files in order.
        if (slotFolder_ != f) {
            slotFolder_ = f;
            slots_.clear();
            const Folder& folder = plan_.folders[static_cast<std::size_t>(f)];
            std::int64_t slot = folder.firstFileSlot;
            for (std::int32_t k = 0; k < folder.files; ++k) {
                const Traits t = TraitsOf(f, k);
                slots_.push_back(slot + (t.deletedBefore ? 1 : 0));
                slot += SlotsOf(t);
            }
        }
        return slots_[static_cast<std::size_t>(i)];
    }

    // Size and shape of a file's data, to fit the room its names leave.
    void Decide(FileShape& shape, Rng& rng, std::int64_t fixedSize) {
        const Layout layout = shape.traits.layout;
        std::size_t room = kAttributeSpace - kStandardInformationSize;
        if (layout == Layout::kOneRecord) {
            room -= NamesSize(shape.names);
        } else if (layout == Layout::kNamesOutside) {
            room -= ListSize(3 + shape.names.size());
        } else if (layout == Layout::kAllOutside) {
            room = kAttributeSpace - NamesSize(shape.names);
        }
        shape.size = fixedSize >= 0 ? fixedSize : PickSize(rng);
        if (layout == Layout::kDataOutside) {
            shape.size = rng.LogUniform(8 << 20, 256 << 20);
            shape.flavour = Flavour::kFragmented;
            shape.allocated = CeilDiv(shape.size, kCluster) * kCluster;
            return;
        }
        if (fixedSize < 0 && rng.Chance(0.001) && NonResidentSize(0, 8 * 14, true) <= room) {
            shape.size = rng.LogUniform(10 << 20, 16LL << 30);
            shape.flavour = Flavour::kSparse;
            shape.attributes |= 0x200;
        } else if (shape.size <= 700 &&
                   ResidentSize(0, static_cast<std::size_t>(shape.size)) <= room) {
            shape.flavour = Flavour::kResident;
        } else if (fixedSize < 0 && shape.size > kCluster && shape.size <= (2 << 20) &&
                   rng.Chance(0.015) &&
                   NonResidentSize(
                       0, 6 * static_cast<std::size_t>(CeilDiv(shape.size, 16 * kCluster)) + 16,
                       true) <= room) {
            shape.flavour = Flavour::kCompressed;
            shape.attributes |= 0x800;
        } else if (shape.size >= (64 << 10) && rng.Chance(0.04) &&
                   NonResidentSize(0, 8 * 12, false) <= room) {
            shape.flavour = Flavour::kFragmented;
        } else {
            shape.flavour = Flavour::kPlain;
            if (shape.size <= 700) {
                shape.size = 701;  // too little room left to keep it in the record
            }
        }
        const std::int64_t clusters = CeilDiv(shape.size, kCluster);
        shape.allocated = shape.flavour == Flavour::kResident ? shape.size
                          : shape.flavour == Flavour::kCompressed
                              ? CeilDiv(clusters, 16) * 16 * kCluster
                              : clusters * kCluster;
        const std::size_t used = shape.flavour == Flavour::kResident
                                     ? ResidentSize(0, static_cast<std::size_t>(shape.size))
                                     : NonResidentSize(0, 8 * 14, true);
        if (room >= used + ResidentSize(15, 26) && rng.Chance(0.02)) {
            shape.zoneIdentifier = true;
        }
    }

    Bytes FolderRecord(std::int32_t f) {
        const Folder& folder = plan_.folders[static_cast<std::size_t>(f)];
        Record r;
        r.builder.Flags(3);
        if (f == 0) {
            r.builder.StandardInformation(kFileTime2008, 0x16);
            r.NoteAttribute();
            r.builder.FileName(kRootRecord, u".", 3, true);
            r.NoteAttribute();
        } else {
            r.builder.StandardInformation(FolderTime(f), 0x10, FolderTime(f));
            r.NoteAttribute();
            const Name name = FolderName(f);
            r.builder.FileName(name.parent, name.text, name.nameSpace, true);
            r.NoteAttribute();
            if (!folder.dosName.empty()) {
                r.builder.FileName(name.parent, folder.dosName, 2, true);
                r.NoteAttribute();
            }
            ++totals_.folders;
            ++totals_.depths[static_cast<std::size_t>(folder.depth)];
            if (IsForeign(folder.name)) {
                ++totals_.foreignNames;
            }
        }
        const FolderIndex& index = prepared_.index;
        r.Raw(RawResident(kAttrIndexRoot, u"$I30",
                          IndexRootValue(index.rootEntries, index.large, kAttrFileName, 1),
                          r.NextId()));
        if (index.large) {
            r.Raw(RawNonResident(kAttrIndexAllocation, u"$I30", prepared_.blockPieces,
                                 static_cast<std::int64_t>(index.blockCount) * kIndexBlock,
                                 r.NextId()));
            Bytes bits(Align8(
                static_cast<std::size_t>(CeilDiv(static_cast<std::int64_t>(index.blockCount), 8))));
            for (std::size_t b = 0; b < index.blockCount; ++b) {
                bits[b / 8] |= static_cast<std::uint8_t>(1u << (b % 8));
            }
            r.Raw(RawResident(kAttrBitmap, u"$I30", bits, r.NextId()));
        }
        return r.Finish();
    }

    // -- files -------------------------------------------------------------------------------

    void WriteFiles(std::int32_t f) {
        const Folder& folder = plan_.folders[static_cast<std::size_t>(f)];
        for (std::int32_t i = 0; i < folder.files; ++i) {
            FileShape& shape = prepared_.files[static_cast<std::size_t>(i)];
            if (shape.traits.deletedBefore) {
                mft_.Add(DeletedRecord(f, i, folder.record));
                ++totals_.deleted;
            }
            if (mft_.Count() != FileRecordOf(f, i)) {
                throw std::logic_error("file record out of place");
            }
            WriteFile(shape, mft_.Count());
        }
    }

    Bytes DeletedRecord(std::int32_t f, std::int32_t i, std::int64_t parent) {
        Rng rng(7, static_cast<std::uint64_t>(f), static_cast<std::uint64_t>(i));
        Record r;
        r.builder.Flags(0).StandardInformation(TimeOf(rng), 0x20);
        r.NoteAttribute();
        r.builder.FileName(parent, RandomFileName(rng, 60), 1);
        r.NoteAttribute();
        r.builder.ResidentData(static_cast<std::uint32_t>(rng.Range(0, 300)));
        r.NoteAttribute();
        return r.Finish();
    }

    struct DataParts {
        std::vector<Piece> pieces;
        std::int64_t totalAllocated = -1;
        std::uint16_t flags = 0;
    };

    DataParts Allocate(const FileShape& shape, Rng& rng) {
        DataParts parts;
        const std::int64_t clusters = CeilDiv(shape.size, kCluster);
        switch (shape.flavour) {
            case Flavour::kResident:
                break;
            case Flavour::kPlain:
                parts.pieces = allocator_.Take(clusters);
                break;
            case Flavour::kFragmented: {
                const std::int64_t count = shape.traits.layout == Layout::kDataOutside
                                               ? rng.Range(40, 140)
                                               : rng.Range(2, 8);
                std::int64_t left = clusters;
                for (std::int64_t k = count; k > 0 && left > 0; --k) {
                    const std::int64_t piece =
                        k == 1 ? left
                               : std::max<std::int64_t>(
                                     1, left / k + rng.Range(-left / (4 * k), left / (4 * k)));
                    for (const Piece& p : allocator_.Take(piece)) {
                        parts.pieces.push_back(p);
                    }
                    left -= piece;
                    allocator_.Skip(rng.Range(1, 64));
                }
                break;
            }
            case Flavour::kSparse: {
                parts.flags = 0x8000;
                std::int64_t left = clusters;
                std::int64_t occupied = 0;
                const std::int64_t count = rng.Range(2, 6);
                for (std::int64_t k = 0; k < count && left > 0; ++k) {
                    const std::int64_t data = std::min(left, rng.Range(1, 256));
                    for (const Piece& p : allocator_.Take(data)) {
                        parts.pieces.push_back(p);
                    }
                    occupied += data;
                    left -= data;
                    const std::int64_t hole =
                        k + 1 == count ? left : std::min(left, rng.Range(1, left / 2 + 1));
                    if (hole > 0) {
                        parts.pieces.push_back({-1, hole});
                        left -= hole;
                    }
                }
                if (left > 0) {
                    parts.pieces.push_back({-1, left});
                }
                parts.totalAllocated = occupied * kCluster;
                break;
            }
            case Flavour::kCompressed: {
                parts.flags = 0x0001;
                std::int64_t left = clusters;
                std::int64_t occupied = 0;
                while (left > 0) {
                    const std::int64_t unit = std::min<std::int64_t>(16, left);
                    const std::int64_t stored =
                        rng.Chance(0.2) ? unit : rng.Range(1, std::max<std::int64_t>(1, unit - 1));
                    for (const Piece& p : allocator_.Take(stored)) {
                        parts.pieces.push_back(p);
                    }
                    occupied += stored;
                    // The rest of a compression unit is a hole; the last unit is whole too.
                    const std::int64_t hole = 16 - stored;
                    if (hole > 0) {
                        parts.pieces.push_back({-1, hole});
                    }
                    left -= unit;
                }
                parts.totalAllocated = occupied * kCluster;
                break;
            }
        }
        return parts;
    }

    void AddFileData(Record& r, const FileShape& shape, const DataParts& parts) {
        if (shape.flavour == Flavour::kResident) {
            r.builder.ResidentData(static_cast<std::uint32_t>(shape.size));
            r.NoteAttribute();
        } else {
            AddData(r, parts.pieces, shape.size, shape.allocated, parts.flags,
                    parts.totalAllocated);
        }
    }

    void AddNames(Record& r, const FileShape& shape) {
        bool first = true;
        for (const Name& name : shape.names) {
            r.builder.FileName(name.parent, name.text, name.nameSpace, false,
                               first ? shape.size : 0, first ? shape.allocated : 0);
            r.NoteAttribute();
            first = false;
        }
    }

    // A downloaded file's mark; fls lists the stream once under each of the file's names.
    void AddZone(Record& r, const FileShape& shape) {
        if (shape.zoneIdentifier) {
            r.builder.ResidentData(26, u"Zone.Identifier");
            r.NoteAttribute();
            ++totals_.zoneStreams;
            totals_.namedStreams += LinkCount(shape.names);
        }
    }

    void WriteFile(const FileShape& shape, std::int64_t number) {
        Rng rng(8, static_cast<std::uint64_t>(number));
        const DataParts parts = Allocate(shape, rng);
        Record base;
        base.builder.StandardInformation(shape.time, shape.attributes, shape.time);
        base.NoteAttribute();
        base.Links(LinkCount(shape.names));
        const auto ref = [number](std::int64_t k) { return number + k; };
        using Entry = RecordBuilder::ListEntry;
        switch (shape.traits.layout) {
            case Layout::kOneRecord:
                AddNames(base, shape);
                AddFileData(base, shape, parts);
                AddZone(base, shape);
                mft_.Add(base.Finish());
                break;
            case Layout::kNamesOutside: {
                std::vector<Entry> list = {{kAttrStandardInformation, 0, number, 0}};
                for (std::size_t k = 0; k < shape.names.size(); ++k) {
                    list.push_back({kAttrFileName, 0, ref(1), 0});
                }
                list.push_back({kAttrData, 0, number, 0});
                base.builder.AttributeList(list);
                base.NoteAttribute();
                AddFileData(base, shape, parts);
                mft_.Add(base.Finish());
                Record extension;
                extension.builder.BaseRecord(
                    static_cast<std::int64_t>(static_cast<std::uint64_t>(number) | kSequence));
                extension.Links(0);
                AddNames(extension, shape);
                mft_.Add(extension.Finish());
                ++totals_.namesOutside;
                totals_.extensionRecords += 1;
                break;
            }
            case Layout::kAllOutside: {
                std::vector<Entry> list = {{kAttrStandardInformation, 0, number, 0}};
                for (std::size_t k = 0; k < shape.names.size(); ++k) {
                    list.push_back({kAttrFileName, 0, ref(1), 0});
                }
                list.push_back({kAttrData, 0, ref(1), 0});
                base.builder.AttributeList(list);
                base.NoteAttribute();
                mft_.Add(base.Finish());
                Record extension;
                extension.builder.BaseRecord(
                    static_cast<std::int64_t>(static_cast<std::uint64_t>(number) | kSequence));
                extension.Links(0);
                AddNames(extension, shape);
                AddFileData(extension, shape, parts);
                mft_.Add(extension.Finish());
                ++totals_.allOutside;
                totals_.extensionRecords += 1;
                break;
            }
            case Layout::kDataOutside: {
                const std::size_t half = parts.pieces.size() / 2;
                const std::vector<Piece> first(
                    parts.pieces.begin(), parts.pieces.begin() + static_cast<std::ptrdiff_t>(half));
                const std::vector<Piece> second(
                    parts.pieces.begin() + static_cast<std::ptrdiff_t>(half), parts.pieces.end());
                const std::int64_t split = ClustersOf(first);
                std::vector<Entry> list = {{kAttrStandardInformation, 0, number, 0}};
                for (std::size_t k = 0; k < shape.names.size(); ++k) {
                    list.push_back({kAttrFileName, 0, number, 0});
                }
                list.push_back({kAttrData, 0, ref(1), 0});
                list.push_back({kAttrData, split, ref(2), 0});
                base.builder.AttributeList(list);
                base.NoteAttribute();
                // The names in the base record keep a stale size of 0, as NTFS leaves them.
                for (const Name& name : shape.names) {
                    base.builder.FileName(name.parent, name.text, name.nameSpace, false);
                    base.NoteAttribute();
                }
                AddZone(base, shape);
                mft_.Add(base.Finish());
                Record one;
                one.builder.BaseRecord(
                    static_cast<std::int64_t>(static_cast<std::uint64_t>(number) | kSequence));
                one.Links(0);
                AddData(one, first, shape.size, shape.allocated, 0, -1);
                mft_.Add(one.Finish());
                Record two;
                two.builder.BaseRecord(
                    static_cast<std::int64_t>(static_cast<std::uint64_t>(number) | kSequence));
                two.Links(0);
                AddData(two, second, 0, 0, 0, -1, split);
                mft_.Add(two.Finish());
                ++totals_.dataOutside;
                totals_.extensionRecords += 2;
                break;
            }
        }
        Count(shape);
    }

    void Count(const FileShape& shape) {
        ++totals_.files;
        totals_.bytes += shape.size;
        totals_.largest = std::max(totals_.largest, shape.size);
        if (shape.size >= (1LL << 30)) {
            ++totals_.gigabyteFiles;
        }
        totals_.linkNames += shape.traits.links;
        for (const Name& name : shape.names) {
            totals_.dosNames += name.nameSpace == 2 ? 1 : 0;
            totals_.posixNames += name.nameSpace == 0 ? 1 : 0;
            totals_.foreignNames += IsForeign(name.text) ? 1 : 0;
        }
        switch (shape.flavour) {
            case Flavour::kResident:
                ++totals_.resident;
                break;
            case Flavour::kSparse:
                ++totals_.sparse;
                break;
            case Flavour::kCompressed:
                ++totals_.compressed;
                break;
            case Flavour::kFragmented:
                ++totals_.fragmented;
                break;
            case Flavour::kPlain:
                break;
        }
    }

    // -- the end -----------------------------------------------------------------------------

    void Finish() {
        // $Bitmap covers the whole volume, itself included: one of its clusters maps 32768, and
        // the volume is as large as its clusters map, which leaves a twentieth or more free.
        constexpr std::int64_t kMapped = kCluster * 8;
        const std::int64_t used =
            std::max(allocator_.Next(), extents_.back().lcn + extents_.back().clusters);
        const std::int64_t bitmapClusters = CeilDiv(used + used / 20 + 4096, kMapped);
        bitmap_ = allocator_.Take(bitmapClusters);
        const std::int64_t end =
            std::max(allocator_.Next(), extents_.back().lcn + extents_.back().clusters);
        volumeClusters_ = bitmapClusters * kMapped;
        bitmapBytes_ = volumeClusters_ / 8;
        if (volumeClusters_ < end + 2048) {
            throw std::logic_error("$Bitmap too small");
        }
        mft_.Rewrite(6, BitmapRecord());
        CountMetaFile(6, u"$Bitmap", bitmapBytes_);
        mft_.Rewrite(8, BadClusRecord());
        const Bytes boot = BootSector();
        file_.WriteAt(0, boot);
        file_.WriteAt(volumeClusters_ * kCluster - kSectorSize, boot);
        if (indexes_) {
            WriteSystemFileContents();
        }
        file_.SetSize(volumeClusters_ * kCluster);
    }

    Bytes BootSector() const {
        Bytes b(kSectorSize);
        b[0] = 0xEB;
        b[1] = 0x52;
        b[2] = 0x90;
        std::memcpy(b.data() + 3, "NTFS    ", 8);
        Put(b, 0x0B, kSectorSize, 2);
        Put(b, 0x0D, kCluster / kSectorSize, 1);
        Put(b, 0x15, 0xF8, 1);
        Put(b, 0x18, 63, 2);
        Put(b, 0x1A, 255, 2);
        Put(b, 0x24, 0x00800080, 4);
        Put(b, 0x28, static_cast<std::uint64_t>(volumeClusters_ * (kCluster / kSectorSize) - 1), 8);
        Put(b, 0x30, static_cast<std::uint64_t>(extents_.front().lcn), 8);
        Put(b, 0x38, static_cast<std::uint64_t>(mirror_.lcn), 8);
        Put(b, 0x40, 0xF6, 1);  // 2^10-byte records
        Put(b, 0x44, 1, 1);     // one cluster per index block
        Put(b, 0x48, 0x4B455354524E3031, 8);
        Put(b, 0x1FE, 0xAA55, 2);
        return b;
    }

    void WriteSystemFileContents() {
        file_.WriteAt(mirror_.lcn * kCluster, mft_.Mirror());
        file_.WriteAt(mftBitmap_.lcn * kCluster, mft_.InUse());
        Bytes upcase(131072);
        for (std::size_t c = 0; c < 65536; ++c) {
            Put(upcase, 2 * c, Upcase(static_cast<char16_t>(c)), 2);
        }
        file_.WriteAt(upcase_.lcn * kCluster, upcase);
        file_.WriteAt(attrDef_.lcn * kCluster, AttrDef());
        // Every cluster up to the last one handed out is in use but for the gaps left on purpose.
        const std::int64_t used = allocator_.Next();
        const std::vector<Piece>& skipped = allocator_.Skipped();
        std::size_t gap = 0;
        constexpr std::int64_t kChunkClusters = std::int64_t{8} << 23;  // 8 MiB of bitmap
        for (std::int64_t start = 0; start < volumeClusters_; start += kChunkClusters) {
            const std::int64_t stop = std::min(volumeClusters_, start + kChunkClusters);
            Bytes bits(static_cast<std::size_t>(CeilDiv(stop - start, 8)));
            for (std::int64_t c = start; c < std::min(stop, used); ++c) {
                bits[static_cast<std::size_t>((c - start) / 8)] |=
                    static_cast<std::uint8_t>(1u << ((c - start) % 8));
            }
            for (; gap < skipped.size() && skipped[gap].lcn < stop; ++gap) {
                for (std::int64_t c = std::max(skipped[gap].lcn, start);
                     c < std::min(skipped[gap].lcn + skipped[gap].clusters, stop); ++c) {
                    bits[static_cast<std::size_t>((c - start) / 8)] &=
                        static_cast<std::uint8_t>(~(1u << ((c - start) % 8)));
                }
                if (skipped[gap].lcn + skipped[gap].clusters > stop) {
                    break;
                }
            }
            // Bitmap clusters in order: the pieces of $Bitmap hold consecutive bytes.
            std::int64_t byteOffset = start / 8;
            std::size_t done = 0;
            for (const Piece& p : bitmap_) {
                const std::int64_t pieceBytes = p.clusters * kCluster;
                if (byteOffset >= pieceBytes) {
                    byteOffset -= pieceBytes;
                    continue;
                }
                const std::size_t n = static_cast<std::size_t>(std::min<std::int64_t>(
                    pieceBytes - byteOffset, static_cast<std::int64_t>(bits.size() - done)));
                file_.WriteAt(p.lcn * kCluster + byteOffset, bits.data() + done, n);
                done += n;
                byteOffset = 0;
                if (done == bits.size()) {
                    break;
                }
            }
        }
    }

    static Bytes AttrDef() {
        struct Definition {
            std::u16string_view name;
            std::uint32_t type;
            std::uint32_t flags;
            std::int64_t minimum;
            std::int64_t maximum;
        };
        static constexpr std::array<Definition, 16> kDefinitions = {{
            {u"$STANDARD_INFORMATION", 0x10, 0x40, 0x30, 0x48},
            {u"$ATTRIBUTE_LIST", 0x20, 0x80, 0, -1},
            {u"$FILE_NAME", 0x30, 0x42, 0x44, 0x242},
            {u"$OBJECT_ID", 0x40, 0x40, 0, 0x100},
            {u"$SECURITY_DESCRIPTOR", 0x50, 0x80, 0, -1},
            {u"$VOLUME_NAME", 0x60, 0x40, 2, 0x100},
            {u"$VOLUME_INFORMATION", 0x70, 0x40, 0x0C, 0x0C},
            {u"$DATA", 0x80, 0x00, 0, -1},
            {u"$INDEX_ROOT", 0x90, 0x40, 0, -1},
            {u"$INDEX_ALLOCATION", 0xA0, 0x80, 0, -1},
            {u"$BITMAP", 0xB0, 0x80, 0, -1},
            {u"$REPARSE_POINT", 0xC0, 0x80, 0, 0x4000},
            {u"$EA_INFORMATION", 0xD0, 0x40, 8, 8},
            {u"$EA", 0xE0, 0x00, 0, 0x10000},
            {u"$LOGGED_UTILITY_STREAM", 0x100, 0x80, 0, 0x10000},
            {u"", 0, 0, 0, 0},
        }};
        Bytes table(kCluster);
        std::size_t at = 0;
        for (const Definition& d : kDefinitions) {
            for (std::size_t i = 0; i < d.name.size(); ++i) {
                Put(table, at + 2 * i, d.name[i], 2);
            }
            Put(table, at + 0x80, d.type, 4);
            Put(table, at + 0x88, 1, 4);  // collation of file names
            Put(table, at + 0x8C, d.flags, 4);
            Put(table, at + 0x90, static_cast<std::uint64_t>(d.minimum), 8);
            Put(table, at + 0x98, static_cast<std::uint64_t>(d.maximum), 8);
            at += 0xA0;
        }
        return table;
    }

    struct MetaName {
        std::int64_t number;
        std::u16string name;
        std::int64_t size;
    };

    std::int64_t records_;
    bool indexes_;
    ImageFile file_;
    Plan plan_;
    std::vector<Piece> extents_;
    MftStream mft_;
    Piece boot_{}, mirror_{}, attrDef_{}, upcase_{}, sds_{}, mftBitmap_{}, logFile_{}, usnData_{};
    std::int64_t mftBitmapBytes_ = 0;
    ClusterAllocator allocator_;
    std::vector<Piece> bitmap_;
    std::int64_t bitmapBytes_ = 8;
    std::int64_t volumeClusters_ = 0;
    PreparedFolder prepared_;
    std::vector<MetaName> metaNames_;
    std::int32_t slotFolder_ = -1;
    std::vector<std::int64_t> slots_;
    // System files that hold only named streams: fls lists those streams but not the bare name.
    // It adds a line of its own for $OrphanFiles.
    std::int64_t unnamedDataMissing_ = -1;
    Totals totals_;

public:
    std::int64_t ExpectedFlsLines() const {
        return totals_.listedNames + totals_.namedStreams - unnamedDataMissing_;
    }
};

std::string Thousands(std::int64_t value) {
    const std::string digits = std::to_string(value);
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return out;
}

int Main(int argc, char** argv) {
    bool indexes = false;
    std::vector<std::string> args;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--indexes") == 0) {
            indexes = true;
        } else {
            args.emplace_back(argv[i]);
        }
    }
    if (args.size() != 2 || std::atoll(args[0].c_str()) < 64) {
        std::fprintf(
            stderr,
            "usage: kestrin-make-image [--indexes] RECORDS OUTPUT.img\n"
            "Writes a sparse raw NTFS image whose MFT holds RECORDS (at least 64) file records.\n"
            "--indexes  also write the folder indexes and small system files that fls reads\n");
        return 2;
    }
    const std::int64_t records = std::atoll(args[0].c_str());
    const auto start = std::chrono::steady_clock::now();
    try {
        Generator generator(records, args[1].c_str(), indexes);
        const Totals t = generator.Run();
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto& extents = generator.Extents();
        std::printf("kestrin-make-image: %s records -> %s%s\n", Thousands(records).c_str(),
                    args[1].c_str(), indexes ? " (with folder indexes)" : "");
        std::printf(
            "  files %s  folders %s   (as kestrin-scan counts: named base records; folders without "
            "the root)\n",
            Thousands(t.files).c_str(), Thousands(t.folders).c_str());
        std::printf("  total size %s bytes; largest file %s bytes; %s files of 1 GiB or more\n",
                    Thousands(t.bytes).c_str(), Thousands(t.largest).c_str(),
                    Thousands(t.gigabyteFiles).c_str());
        std::printf("  records: %s extension, %s deleted, %s free\n",
                    Thousands(t.extensionRecords).c_str(), Thousands(t.deleted).c_str(),
                    Thousands(t.freeRecords).c_str());
        std::printf(
            "  attribute lists: %s with names outside, %s with data in two extents outside, %s "
            "with both outside\n",
            Thousands(t.namesOutside).c_str(), Thousands(t.dataOutside).c_str(),
            Thousands(t.allOutside).c_str());
        std::printf(
            "  data: %s resident, %s sparse, %s compressed, %s fragmented; %s Zone.Identifier "
            "streams\n",
            Thousands(t.resident).c_str(), Thousands(t.sparse).c_str(),
            Thousands(t.compressed).c_str(), Thousands(t.fragmented).c_str(),
            Thousands(t.zoneStreams).c_str());
        std::printf("  names: %s hard links, %s 8.3 names, %s POSIX names, %s names not in ASCII\n",
                    Thousands(t.linkNames).c_str(), Thousands(t.dosNames).c_str(),
                    Thousands(t.posixNames).c_str(), Thousands(t.foreignNames).c_str());
        std::printf("  folders by depth:");
        for (std::size_t d = 1; d < t.depths.size(); ++d) {
            std::printf(" %zu:%s", d, Thousands(t.depths[d]).c_str());
        }
        std::printf("\n  folder indexes: %s large, %s index blocks\n",
                    Thousands(t.largeIndexes).c_str(), Thousands(t.indexBlocks).c_str());
        std::printf("  MFT extents (lcn+clusters):");
        for (const Piece& e : extents) {
            std::printf(" %s+%s", Thousands(e.lcn).c_str(), Thousands(e.clusters).c_str());
        }
        std::printf("\n  volume %s clusters of 4096 bytes (%.1f GiB); %s bytes written\n",
                    Thousands(generator.VolumeClusters()).c_str(),
                    static_cast<double>(generator.VolumeClusters()) * kCluster / (1 << 30),
                    Thousands(generator.BytesWritten()).c_str());
        std::printf(
            "  expected `fls -r -p -u` lines: %s (names in folder indexes but 8.3 names, with "
            "named streams)\n",
            Thousands(generator.ExpectedFlsLines()).c_str());
        std::printf("  %.1f seconds\n", seconds);
        std::printf(
            "summary records=%lld files=%lld folders=%lld bytes=%lld fls=%lld seconds=%.1f\n",
            static_cast<long long>(records), static_cast<long long>(t.files),
            static_cast<long long>(t.folders), static_cast<long long>(t.bytes),
            static_cast<long long>(generator.ExpectedFlsLines()), seconds);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kestrin-make-image: %s\n", failure.what());
        return 1;
    }
    return 0;
}

}  // namespace
}  // namespace kestrin

int main(int argc, char** argv) {
    return kestrin::Main(argc, argv);
}

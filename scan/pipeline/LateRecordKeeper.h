#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

namespace kestrin {

// What the decode keeps of the records it needs again once every piece has passed: raw copies of
// the records it puts off, and of the records these name in pieces not read yet, taken as those
// pieces pass. Each would otherwise be read again from the volume, out of order: a seek of its
// own on a spinning disk. Copies are kept while the room, in bytes, lasts; every decoding thread
// shares it, and the records wanted.
class LateRecordKeeper {
public:
    LateRecordKeeper(std::int64_t recordCount, std::int64_t roomBytes);

    // Record n is to be kept when its piece passes.
    void Want(std::int64_t n);
    bool Wanted(std::int64_t n) const;
    // Record n was put off: the extension records naming it as their base are wanted too.
    void PutOff(std::int64_t n);
    bool IsPutOff(std::int64_t n) const;
    // Takes `bytes` of the room; false, taking nothing, when too little is left.
    bool TakeRoom(std::int64_t bytes);

private:
    using Bits = std::vector<std::atomic<std::uint64_t>>;  // a bit per record
    static void Set(Bits& bits, std::int64_t n);
    static bool Test(const Bits& bits, std::int64_t n);

    Bits wanted_;
    Bits putOff_;
    std::atomic<std::int64_t> room_;
};

}  // namespace kestrin

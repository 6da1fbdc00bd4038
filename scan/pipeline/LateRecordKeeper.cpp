#include "scan/pipeline/LateRecordKeeper.h"

namespace kestrin {

LateRecordKeeper::LateRecordKeeper(std::int64_t recordCount, std::int64_t roomBytes)
    : wanted_(static_cast<std::size_t>(recordCount > 0 ? (recordCount + 63) / 64 : 0)),
      putOff_(wanted_.size()),
      room_(roomBytes) {}

// Relaxed: a bit set a little late only costs a read once every piece has passed.
void LateRecordKeeper::Set(Bits& bits, std::int64_t n) {
    const auto word = static_cast<std::uint64_t>(n) / 64;
    if (n >= 0 && word < bits.size()) {
        bits[word].fetch_or(std::uint64_t{1} << (n % 64), std::memory_order_relaxed);
    }
}

bool LateRecordKeeper::Test(const Bits& bits, std::int64_t n) {
    const auto word = static_cast<std::uint64_t>(n) / 64;
    return n >= 0 && word < bits.size() &&
           (bits[word].load(std::memory_order_relaxed) >> (n % 64) & 1) != 0;
}

void LateRecordKeeper::Want(std::int64_t n) {
    Set(wanted_, n);
}

bool LateRecordKeeper::Wanted(std::int64_t n) const {
    return Test(wanted_, n);
}

void LateRecordKeeper::PutOff(std::int64_t n) {
    Set(putOff_, n);
}

bool LateRecordKeeper::IsPutOff(std::int64_t n) const {
    return Test(putOff_, n);
}

bool LateRecordKeeper::TakeRoom(std::int64_t bytes) {
    if (room_.fetch_sub(bytes, std::memory_order_relaxed) >= bytes) {
        return true;
    }
    room_.fetch_add(bytes, std::memory_order_relaxed);
    return false;
}

}  // namespace kestrin

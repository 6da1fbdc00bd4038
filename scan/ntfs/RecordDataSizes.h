#pragma once

#include <cstdint>

#include "scan/common/ByteReader.h"

namespace kestrin {

// Logical and allocated bytes of the unnamed $DATA held in one in-use file record (a base or an
// extension record), summed over its extents there. True when either sum is above 0.
bool RecordDataSizes(const ByteReader& record, std::int64_t& size, std::int64_t& allocated);

}  // namespace kestrin

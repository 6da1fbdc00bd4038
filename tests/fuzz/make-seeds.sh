#!/usr/bin/env bash
# Cuts seed corpora for the fuzz targets out of the committed NTFS images:
#   OUT/record/  single raw MFT records (as on disk, before fixup) for fuzz-record
#   OUT/scan/    shrunk volume images for fuzz-scan
#   OUT/partitions/  the first sectors of disks and volumes for fuzz-partitions
# plus the regression inputs committed beside this script. Usage: make-seeds.sh OUT
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
fixtures=$here/../fixtures
out=${1:?usage: make-seeds.sh OUT}

rm -rf "$out/record" "$out/scan" "$out/partitions"
mkdir -p "$out/images" "$out/record" "$out/scan" "$out/partitions"
for archive in "$fixtures"/*.img.xz; do
    image=$out/images/$(basename "$archive" .xz)
    [[ -s $image && $image -nt $archive ]] || xz -dc "$archive" >"$image"
done

python3 - "$out" "$out"/images/*.img <<'EOF'
import os, struct, sys

out, images = sys.argv[1], sys.argv[2:]
SCAN_SEED_LIMIT = 128 << 10   # fuzz-scan runs about a thousand such inputs a second
RECORD_SEEDS = 48             # per image: the first records, then the unusual ones

def fixup(record, protect):
    """Undoes (protect=False) or redoes the update sequence protection of one record in place."""
    offset, count = struct.unpack_from('<HH', record, 4)
    usn = record[offset:offset + 2]
    for i in range(1, count):
        tail = i * 512 - 2
        if tail + 2 > len(record):
            break
        saved = offset + 2 * i
        if protect:
            record[saved:saved + 2] = record[tail:tail + 2]
            record[tail:tail + 2] = usn
        else:
            record[tail:tail + 2] = record[saved:saved + 2]

def attributes(record):
    position = struct.unpack_from('<H', record, 0x14)[0]
    while position + 8 <= len(record):
        kind, length = struct.unpack_from('<II', record, position)
        if kind == 0xFFFFFFFF or length == 0:
            return
        yield kind, position, length
        position += length

def runs(record, attribute):
    """(header position, clusters, lcn) of each run of a non-resident attribute."""
    position = attribute + struct.unpack_from('<H', record, attribute + 0x20)[0]
    lcn = 0
    while record[position] != 0:
        sizes = record[position]
        length_bytes, offset_bytes = sizes & 0x0F, sizes >> 4
        field = position + 1
        clusters = int.from_bytes(record[field:field + length_bytes], 'little')
        lcn += int.from_bytes(record[field + length_bytes:field + length_bytes + offset_bytes],
                              'little', signed=True)
        yield position, clusters, lcn
        position = field + length_bytes + offset_bytes

def mft_layout(volume):
    """Cluster size, record size, MFT offset, record 0 (fixed up), its $DATA attribute's
    position and its runs."""
    sector = struct.unpack_from('<H', volume, 0x0B)[0]
    cluster = sector * volume[0x0D]
    stored = struct.unpack_from('<b', volume, 0x40)[0]
    record_size = stored * cluster if stored > 0 else 1 << -stored
    mft = struct.unpack_from('<q', volume, 0x30)[0] * cluster
    record0 = bytearray(volume[mft:mft + record_size])
    fixup(record0, protect=False)
    data = next(p for kind, p, _ in attributes(record0)
                if kind == 0x80 and record0[p + 8] and record0[p + 9] == 0)
    return cluster, record_size, mft, record0, data, list(runs(record0, data))

def record_offset(layout, n):
    """Where record n lies on the volume, through record 0's own runs; None past them."""
    cluster, record_size, _, _, _, extents = layout
    vcn, start = 0, n * record_size
    for _, clusters, lcn in extents:
        if start < (vcn + clusters) * cluster:
            return lcn * cluster + start - vcn * cluster
        vcn += clusters
    return None

def shrink(volume, layout, name):
    """The boot sector and the first records of the MFT, record 0 rewritten to hold just those.
    mkntfs puts the MFT 16 KiB into the volume, so the cut image stays small."""
    cluster, record_size, mft, record0, data, extents = layout
    record0 = bytearray(record0)
    total = struct.unpack_from('<q', record0, data + 0x38)[0] // record_size
    for count in range(total, 0, -1):
        clusters_needed = -(-count * record_size // cluster)
        kept, covered, end = [], 0, mft + record_size
        for position, clusters, lcn in extents:
            take = min(clusters, clusters_needed - covered)
            kept.append((position, take, lcn))
            covered += take
            end = max(end, (lcn + take) * cluster)
            if covered == clusters_needed:
                break
        if end <= SCAN_SEED_LIMIT:
            break
    position, take, lcn = kept[-1]
    length_bytes = record0[position] & 0x0F
    record0[position + 1:position + 1 + length_bytes] = take.to_bytes(length_bytes, 'little')
    record0[position + 1 + length_bytes + (record0[position] >> 4)] = 0
    struct.pack_into('<q', record0, data + 0x18, clusters_needed - 1)
    struct.pack_into('<qqq', record0, data + 0x28, clusters_needed * cluster,
                     count * record_size, count * record_size)
    fixup(record0, protect=True)
    seed = bytearray(volume[:end])
    seed[mft:mft + record_size] = record0
    with open(os.path.join(out, 'scan', name), 'wb') as f:
        f.write(seed)
    return count, total

def encode_runs(pieces):
    """A run list for (clusters, lcn) pieces: each LCN relative to the one before, as NTFS
    stores them, in the fewest bytes that keep the sign."""
    encoded, previous = bytearray(), 0
    for clusters, lcn in pieces:
        length = clusters.to_bytes((clusters.bit_length() + 8) // 8, 'little')
        delta = lcn - previous
        offset = delta.to_bytes((delta.bit_length() + 8) // 8, 'little', signed=True)
        encoded += bytes([len(offset) << 4 | len(length)]) + length + offset
        previous = lcn
    return encoded + b'\0'

def scatter(volume, layout, name, count, pieces=4):
    """The same records with the MFT cut into pieces laid out back to front after the first,
    so the reader has to follow a run list with negative offsets. Only where record 0's run
    list has room for the longer list."""
    cluster, record_size, mft, record0, data, _ = layout
    record0 = bytearray(record0)
    clusters = -(-count * record_size // cluster)
    size = -(-clusters // pieces)
    sizes = [min(size, clusters - i * size) for i in range(pieces) if i * size < clusters]
    first = mft // cluster
    order = [0] + list(range(len(sizes) - 1, 0, -1))
    placed, lcn = {}, first
    for i in order:
        placed[i] = lcn
        lcn += sizes[i]
    encoded = encode_runs([(sizes[i], placed[i]) for i in range(len(sizes))])
    start = data + struct.unpack_from('<H', record0, data + 0x20)[0]
    length = struct.unpack_from('<I', record0, data + 4)[0]
    if start + len(encoded) > data + length:
        return
    record0[start:start + len(encoded)] = encoded
    struct.pack_into('<q', record0, data + 0x18, clusters - 1)
    struct.pack_into('<qqq', record0, data + 0x28, clusters * cluster,
                     count * record_size, count * record_size)
    fixup(record0, protect=True)
    seed = bytearray(volume[:mft]) + bytearray(lcn * cluster - mft)
    for i, piece in enumerate(sizes):
        source = mft + sum(sizes[:i]) * cluster
        target = placed[i] * cluster
        seed[target:target + piece * cluster] = volume[source:source + piece * cluster]
    seed[mft:mft + record_size] = record0
    with open(os.path.join(out, 'scan', name + '-scattered'), 'wb') as f:
        f.write(seed)

def unusual(record):
    """Records whose layout the decoders handle apart: extension records, attribute lists,
    sparse or compressed data, several names."""
    if struct.unpack_from('<Q', record, 0x20)[0] != 0:
        return True
    names = 0
    for kind, position, _ in attributes(record):
        names += kind == 0x30
        if kind == 0x20 or (kind == 0x80 and record[position + 8] and
                            struct.unpack_from('<H', record, position + 0x0C)[0] & 0x80FF):
            return True
    return names > 2

for path in images:
    name = os.path.basename(path)[:-len('.img')]
    volume = open(path, 'rb').read()
    if volume[3:11] != b'NTFS    ':
        continue  # a whole disk: only its first sectors are seeds, for fuzz-partitions
    layout = mft_layout(volume)
    count, total = shrink(volume, layout, name)
    scatter(volume, layout, name, count)
    # Raw records as the reader copies them out of the MFT: the first ones, which are the
    # system files and the first folders, then the unusual ones.
    chosen, extra = [], []
    for n in range(total):
        offset = record_offset(layout, n)
        if offset is None:
            break
        raw = volume[offset:offset + layout[1]]
        if raw[:4] != b'FILE':
            continue
        if n < RECORD_SEEDS:
            chosen.append(raw)
        elif len(extra) < RECORD_SEEDS:
            record = bytearray(raw)
            fixup(record, protect=False)
            if unusual(record):
                extra.append(raw)
    for i, raw in enumerate(chosen + extra):
        with open(os.path.join(out, 'record', f'{name}-{i}'), 'wb') as f:
            f.write(raw)
EOF

# The start of every image: volumes of several kinds, and disks whose tables lie there.
for image in "$out"/images/*.img; do
    head -c 73728 "$image" >"$out/partitions/$(basename "$image" .img)"
done

# Inputs that once broke the engine stay in the corpus for good.
for target in record scan partitions; do
    if [[ -d $here/corpus/$target ]]; then
        cp "$here/corpus/$target"/* "$out/$target/" 2>/dev/null || true
    fi
done
echo "seeds: $(ls "$out/record" | wc -l) records, $(ls "$out/scan" | wc -l) images in $out"

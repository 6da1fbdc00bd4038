#!/usr/bin/env bash
# Builds, once, a real NTFS volume image holding a million files, for timing
# kestrin-scan against other tools on a volume of realistic size.
#
#   sudo tools/bench/make-million-image.sh [--files N] [--folders N] [--image PATH] [--force]
#
# Default image: ${KESTRIN_BENCH_CACHE:-$HOME/.cache/kestrin-bench}/million.img,
# outside the git tree because it is gigabytes. PATH.done is written last,
# so an image without it (an interrupted build) is built again, and one with
# it is left alone unless --force is given. The .done file also records what
# the image holds and how long it took to make.
#
# The image is made with mkntfs and filled through an ntfs-3g FUSE mount by
# one Python process: ntfs-3g serves one request at a time, so more client
# processes only queue behind each other (measured slower). What it holds:
# a folder tree a few levels deep, names of varying length (some very long,
# some non-ASCII, a few outside the BMP), mostly small files with both
# resident and non-resident data, a compressed folder, big sparse files,
# hard links, Zone.Identifier-style named streams, and a few files with so
# many names or streams that they need an attribute list.
#
# Needs root and /dev/fuse.
set -euo pipefail

CACHE=${KESTRIN_BENCH_CACHE:-$HOME/.cache/kestrin-bench}
IMAGE=$CACHE/million.img
FILES=1000000
FOLDERS=1500
SEED=20240301
FORCE=0

die() { echo "make-million-image: $*" >&2; exit 1; }
log() { echo "== $*" >&2; }

while [ $# -gt 0 ]; do
    case $1 in
    --files) FILES=$2; shift 2 ;;
    --folders) FOLDERS=$2; shift 2 ;;
    --image) IMAGE=$2; shift 2 ;;
    --force) FORCE=1; shift ;;
    -h | --help) sed -n '2,22p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown argument $1 (see --help)" ;;
    esac
done

MARK=$IMAGE.done
if [ "$FORCE" -eq 0 ] && [ -f "$IMAGE" ] && [ -f "$MARK" ]; then
    echo "make-million-image: $IMAGE is ready"
    exit 0
fi

[ "$(id -u)" -eq 0 ] || die "run as root (ntfs-3g needs /dev/fuse)"
[ -c /dev/fuse ] || die "/dev/fuse is missing"
missing=0
for t in mkntfs ntfs-3g python3 mountpoint; do
    command -v "$t" >/dev/null 2>&1 || missing=1
done
if [ "$missing" -eq 1 ]; then
    log "installing missing tools"
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y ntfs-3g python3 util-linux \
        || { apt-get update && apt-get install -y ntfs-3g python3 util-linux; }
fi

mkdir -p "$(dirname "$IMAGE")"
PARTIAL=$IMAGE.partial
WORK=$(mktemp -d /tmp/kestrin-million.XXXXXX)
MNT=$WORK/mnt
mkdir -p "$MNT"
DAEMON_PID=
OK=0

cleanup() {
    if mountpoint -q "$MNT" 2>/dev/null; then
        umount "$MNT" 2>/dev/null || umount -l "$MNT" 2>/dev/null || true
    fi
    if [ -n "$DAEMON_PID" ]; then wait "$DAEMON_PID" 2>/dev/null || true; fi
    [ "$OK" -eq 1 ] || rm -f "$PARTIAL"
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

rm -f "$MARK" "$IMAGE" "$PARTIAL"
START=$(date +%s.%N)

# About 1 KiB of MFT and 4 KiB of data per file on average, plus the
# indexes; twice that leaves the free space a real volume would have.
SIZE_GIB=$(( (FILES * 8 / 1024 + 1023) / 1024 + 2 ))
log "making a ${SIZE_GIB} GiB NTFS volume in $PARTIAL"
truncate -s "${SIZE_GIB}G" "$PARTIAL"
# mkntfs complains that an image file has no partition geometry; that only
# matters for booting from it.
mkntfs -f -F -q -c 4096 -L Million "$PARTIAL" 2>/dev/null

# no_detach keeps the daemon's pid: umount returns before the daemon has
# written its last buffers, and the image is only whole once it has exited.
# big_writes lets a write reach the daemon in 128 KiB pieces, noatime spares
# an update per read, compression lets the compressed folder compress.
ntfs-3g -o no_detach,big_writes,noatime,compression "$PARTIAL" "$MNT" >"$WORK/ntfs-3g.log" 2>&1 &
DAEMON_PID=$!
for _ in $(seq 1 100); do
    mountpoint -q "$MNT" && break
    kill -0 "$DAEMON_PID" 2>/dev/null || break
    sleep 0.1
done
mountpoint -q "$MNT" || { cat "$WORK/ntfs-3g.log" >&2; die "ntfs-3g did not mount $PARTIAL"; }

log "creating $FILES files in $FOLDERS folders"
python3 - "$MNT" "$FILES" "$FOLDERS" "$SEED" "$WORK/stats" <<'PY'
import errno, json, math, os, random, sys, time

mnt, nfiles, nfolders, seed, stats_path = sys.argv[1], int(sys.argv[2]), int(sys.argv[3]), int(sys.argv[4]), sys.argv[5]
rng = random.Random(seed)

WORDS = """
report invoice budget draft final notes readme setup config settings data backup archive
photo image picture scan document letter contract manual guide release build debug test
module library resource font icon theme style layout template cache index log trace dump
temp update patch driver service system kernel network user profile session history
project source header object binary package install uninstall license changelog summary
meeting agenda minutes slides presentation chart table sheet export import sync mirror
holiday family birthday wedding vacation beach mountain city river garden kitchen
alpha beta gamma delta omega north south east west spring summer autumn winter
january february march april may june july august september october november december
client server proxy gateway router bridge channel stream buffer queue worker thread
""".split()
INTL = ["résumé", "Größe", "Übersicht", "naïve", "café", "Ångström", "señal", "Straße",
        "Zürich", "Łódź", "Dvořák", "İstanbul", "Привет", "документ", "отчёт", "Ελληνικά",
        "αρχείο", "日本語", "文件", "資料", "写真", "한국어", "파일", "עברית", "ملف", "ไฟล์",
        "😀", "🎉", "𝄞music", "ﬁnal"]
EXTS = ([".txt"] * 8 + [".dll"] * 8 + [".h"] * 5 + [".cpp"] * 5 + [".jpg"] * 8 + [".png"] * 6
        + [".js"] * 6 + [".json"] * 4 + [".xml"] * 4 + [".log"] * 4 + [".dat"] * 3 + [".html"] * 3
        + [".css"] * 2 + [".py"] * 3 + [".pdf"] * 3 + [".mp3"] * 2 + [".ini"] * 2 + [".lnk"] * 2
        + [".exe"] * 3 + [".mui"] * 3 + [".manifest"] * 2 + [".cab"] + [".zip"] + [".mp4"] + [""] * 5
        + [".tar.gz", ".jpeg", ".docx", ".xlsx", ".pptx", ".bak", ".tmp", ".sys", ".cat", ".ttf"])
TOP = ["Windows", "Program Files", "Program Files (x86)", "ProgramData", "Users",
       "$Recycle.Bin", "System Volume Information", "Projects", "Media", "Archive"]
HIDDEN_SYSTEM = (0x26).to_bytes(4, "big")   # hidden, system, archive
HIDDEN = (0x22).to_bytes(4, "big")
COMPRESSED_DIR = (0x810).to_bytes(4, "big")  # directory, compressed
ATTRIB = "system.ntfs_attrib_be"

def units(s):
    return len(s.encode("utf-16-le")) // 2

def tidy(stem, ext):
    # NTFS names hold at most 255 UTF-16 units; Windows drops trailing dots
    # and spaces, so real volumes rarely have them.
    room = 255 - units(ext)
    while units(stem) > room:
        stem = stem[:-1]
    stem = stem.rstrip(". ") or "x"
    return stem + ext

def words(n):
    return [rng.choice(WORDS) for _ in range(n)]

def make_stem(folder):
    r = rng.random()
    if r < 0.02:
        parts = words(rng.randint(15, 45))          # very long names
    else:
        parts = words(rng.choice((1, 1, 2, 2, 2, 3, 3, 4, 6)))
    if rng.random() < 0.06:
        parts[rng.randrange(len(parts))] = rng.choice(INTL)
    style = rng.random()
    if style < 0.3:
        parts = [p.capitalize() for p in parts]
    elif style < 0.35:
        parts = [p.upper() for p in parts]
    stem = rng.choice((" ", "_", "-", "", ".", " ")).join(parts)
    r = rng.random()
    if r < 0.25:
        stem += f"_{rng.randrange(10000):04d}"
    elif r < 0.35:
        stem += f" ({rng.randint(1, 9)})"
    elif r < 0.5:
        stem += str(rng.randint(1, 999))
    if folder:
        return stem
    if rng.random() < 0.03:
        stem = rng.choice(("a", "b", "x", "1", "~", "$")) + stem[:rng.randint(0, 3)]
    return stem

def unique(taken, name):
    key = name.casefold()
    if key not in taken:
        taken.add(key)
        return name
    stem, dot, ext = name.rpartition(".")
    if not dot or not stem:
        stem, ext = name, ""
    else:
        ext = "." + ext
    k = 2
    while True:
        cand = tidy(f"{stem} ({k})", ext)
        if cand.casefold() not in taken:
            taken.add(cand.casefold())
            return cand
        k += 1

# --- the folder tree -------------------------------------------------------
paths = [mnt]          # absolute paths; index 0 is the root
depth = [0]
taken = [set()]        # casefolded names in each folder
special = {}
for name in TOP:
    p = os.path.join(mnt, name)
    os.mkdir(p)
    paths.append(p); depth.append(1); taken.append(set()); taken[0].add(name.casefold())
    special[name] = len(paths) - 1
for name in ("$Recycle.Bin", "System Volume Information"):
    os.setxattr(paths[special[name]], ATTRIB, HIDDEN_SYSTEM)
for name in ("VMs", "Compressed"):
    p = os.path.join(paths[special["Archive"]], name)
    os.mkdir(p)
    paths.append(p); depth.append(2); taken.append(set()); taken[special["Archive"]].add(name.casefold())
    special[name] = len(paths) - 1
os.setxattr(paths[special["Compressed"]], ATTRIB, COMPRESSED_DIR)

while len(paths) - 1 < nfolders:
    parent = rng.randrange(1, len(paths))
    if parent in (special["$Recycle.Bin"], special["System Volume Information"], special["VMs"]):
        continue
    if depth[parent] >= 8 or rng.random() > 0.8 ** depth[parent]:
        continue
    name = unique(taken[parent], tidy(make_stem(True), ""))
    p = os.path.join(paths[parent], name)
    os.mkdir(p)
    paths.append(p); depth.append(depth[parent] + 1); taken.append(set())
    if name.casefold() in ("appdata", "cache", "temp") or rng.random() < 0.01:
        os.setxattr(p, ATTRIB, HIDDEN)
nf = len(paths)
print(f"make-million-image: {nf - 1} folders, deepest {max(depth)} levels", file=sys.stderr, flush=True)

# --- how many files go where ---------------------------------------------
weights = [0.0] + [rng.lognormvariate(0, 1.3) if rng.random() > 0.08 else 0.0 for _ in range(nf - 1)]
weights[special["VMs"]] = 0.0
weights[special["Compressed"]] = 0.0
compressed_files = min(2000, nfiles // 100)
rest = nfiles - compressed_files
total = sum(weights)
counts = [int(w / total * rest) for w in weights]
cap = max(1000, rest // 40)
for i in range(nf):
    counts[i] = min(counts[i], cap)
short = rest - sum(counts)
while short > 0:
    i = rng.randrange(1, nf)
    if weights[i] > 0 and counts[i] < cap:
        counts[i] += 1
        short -= 1
counts[special["Compressed"]] = compressed_files

# --- contents ---------------------------------------------------------------
NOISE = rng.randbytes(1 << 20)
TEXT = b"".join(f"line {i:06d}: the quick brown fox jumps over the lazy dog {i * 7919 % 10007}\r\n".encode()
                for i in range(16000))[: 1 << 20]

def pick_size():
    r = rng.random()
    if r < 0.12:
        return 0
    if r < 0.67:
        return rng.randint(1, 700)
    if r < 0.95:
        return rng.randint(701, 8192)
    if r < 0.995:
        return int(math.exp(rng.uniform(math.log(8192), math.log(65536))))
    return int(math.exp(rng.uniform(math.log(65536), math.log(524288))))

def write_all(fd, buf, size):
    off = rng.randrange(0, len(buf) - min(size, len(buf)) + 1)
    view = memoryview(buf)
    while size > 0:
        n = min(size, len(buf) - off)
        n = os.write(fd, view[off:off + n])
        size -= n
        off = 0

EPOCH_LOW = time.mktime((2009, 1, 1, 0, 0, 0, 0, 0, -1))
EPOCH_HIGH = time.mktime((2024, 6, 1, 0, 0, 0, 0, 0, -1))
ZONE = b"[ZoneTransfer]\r\nZoneId=3\r\nReferrerUrl=about:internet\r\n"
stats = {"files": 0, "folders": nf - 1, "bytes": 0, "extra_names": 0, "zone_streams": 0,
         "many_name_files": 0, "many_stream_files": 0, "sparse_files": 0, "sparse_apparent_bytes": 0,
         "compressed_folder_files": compressed_files}
sample = []            # some created files, for hard links later
t0 = time.time()
last = t0

def progress(force=False):
    global last
    now = time.time()
    if force or now - last >= 10:
        last = now
        done = stats["files"]
        rate = done / max(now - t0, 1e-6)
        eta = (nfiles - done) / rate if rate > 0 else 0
        print(f"make-million-image: {done}/{nfiles} files, {rate:.0f}/s, {now - t0:.0f} s so far, ~{eta:.0f} s to go",
              file=sys.stderr, flush=True)

def create(folder, name, size, buf):
    path = os.path.join(paths[folder], name)
    fd = os.open(path, os.O_CREAT | os.O_WRONLY | os.O_EXCL, 0o644)
    try:
        if size:
            write_all(fd, buf, size)
        r = rng.random()
        if r < 0.15:
            t = rng.uniform(EPOCH_LOW, EPOCH_HIGH)
            os.utime(fd, (t, t))
        if r > 0.99:
            os.setxattr(fd, "user.Zone.Identifier", ZONE)
            stats["zone_streams"] += 1
        elif r > 0.985:
            os.setxattr(fd, ATTRIB, HIDDEN)
    finally:
        os.close(fd)
    stats["files"] += 1
    stats["bytes"] += size
    return path

# Files go into folders in runs of a few hundred, folders taken in random
# order, so that a folder's records are spread over the MFT as on a volume
# that has been in use for a while.
pending = [i for i in range(nf) if counts[i] > 0]
while pending:
    k = rng.randrange(len(pending))
    folder = pending[k]
    run = min(counts[folder], rng.randint(1, 400))
    counts[folder] -= run
    if counts[folder] == 0:
        pending[k] = pending[-1]
        pending.pop()
    buf = TEXT if folder == special["Compressed"] else NOISE
    for _ in range(run):
        name = unique(taken[folder], tidy(make_stem(False), rng.choice(EXTS)))
        path = create(folder, name, pick_size(), buf)
        if rng.random() < 0.02:
            sample.append(path)
    progress()
progress(True)

# --- hard links -------------------------------------------------------------
def link(src, folder, name):
    name = unique(taken[folder], name)
    try:
        os.link(src, os.path.join(paths[folder], name))
        stats["extra_names"] += 1
    except OSError as e:
        if e.errno not in (errno.EEXIST, errno.EMLINK, errno.ENAMETOOLONG):
            raise

plain_folders = [i for i in range(1, nf) if i not in (special["VMs"], special["Compressed"])]
for _ in range(nfiles // 100):
    src = rng.choice(sample)
    folder = rng.choice(plain_folders)
    base = os.path.basename(src)
    link(src, folder, base if rng.random() < 0.5 else "Copy of " + base)
print(f"make-million-image: {stats['extra_names']} hard links", file=sys.stderr, flush=True)

# A 1 KiB record holds only a handful of $FILE_NAME attributes or stream
# headers; past that the file needs extension records and an attribute list.
for j in range(20):
    folder = rng.choice(plain_folders)
    src = create(folder, unique(taken[folder], f"shared component {j:02d}.dll"), rng.randint(100, 20000), NOISE)
    names = rng.randint(60, 400)
    where = [rng.choice(plain_folders) for _ in range(rng.randint(1, 4))]
    for i in range(names):
        link(src, where[i % len(where)], f"component-{j:02d}-alias-{i:03d}.dll")
    stats["many_name_files"] += 1
for j in range(20):
    folder = rng.choice(plain_folders)
    path = create(folder, unique(taken[folder], f"tagged media {j:02d}.jpg"), rng.randint(1000, 200000), NOISE)
    for i in range(rng.randint(30, 120)):
        os.setxattr(path, f"user.tag{i:03d}", NOISE[i * 512:i * 512 + rng.randint(16, 400)])
    stats["many_stream_files"] += 1

# --- big sparse files -------------------------------------------------------
sparse_homes = [special["VMs"]] * 10 + [rng.choice(plain_folders) for _ in range(20)]
for j, folder in enumerate(sparse_homes):
    size = int(math.exp(rng.uniform(math.log(256 << 20), math.log(8 << 30))))
    name = unique(taken[folder], rng.choice(("disk", "swap", "scratch", "database", "image")) + f"{j:02d}"
                  + rng.choice((".vhdx", ".vmdk", ".db", ".img", ".dat")))
    fd = os.open(os.path.join(paths[folder], name), os.O_CREAT | os.O_WRONLY | os.O_EXCL, 0o644)
    try:
        for _ in range(rng.randint(2, 20)):
            off = rng.randrange(0, size - 65536) & ~4095
            os.pwrite(fd, NOISE[:65536], off)
        os.pwrite(fd, NOISE[:512], size - 512)
    finally:
        os.close(fd)
    stats["files"] += 1
    stats["sparse_files"] += 1
    stats["sparse_apparent_bytes"] += size

stats["seconds"] = round(time.time() - t0, 1)
with open(stats_path, "w") as f:
    json.dump(stats, f)
print(f"make-million-image: done filling in {stats['seconds']} s", file=sys.stderr, flush=True)
PY

log "unmounting (the daemon writes what it still holds)"
umount "$MNT"
wait "$DAEMON_PID" || die "ntfs-3g exited with an error"
DAEMON_PID=
mv "$PARTIAL" "$IMAGE"
OK=1
END=$(date +%s.%N)
SECONDS_TAKEN=$(python3 -c "print(round($END - $START, 1))")
{
    echo "built $(date -Is) in ${SECONDS_TAKEN} s on $(hostname)"
    echo "volume ${SIZE_GIB} GiB, files=$FILES folders=$FOLDERS seed=$SEED"
    cat "$WORK/stats"
    echo
} >"$MARK.tmp"
mv "$MARK.tmp" "$MARK"
echo "make-million-image: $IMAGE built in ${SECONDS_TAKEN} s"
du -h --apparent-size "$IMAGE" | sed 's/^/  apparent: /'
du -h "$IMAGE" | sed 's/^/  on disk:  /'

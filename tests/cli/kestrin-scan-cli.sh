#!/usr/bin/env bash
# The command-line scanner as scripts use it: exit codes, where texts go, and the listing.
# Usage: kestrin-scan-cli.sh KESTRIN_SCAN FIXTURE_IMAGE_DIR
set -uo pipefail
scanner=$1
images=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0

expect() {  # expect NAME WANTED_STATUS STATUS
    if [[ $3 -ne $2 ]]; then
        echo "FAIL: $1: exit status $3, wanted $2"
        failures=$((failures + 1))
    else
        echo "ok: $1"
    fi
}

"$scanner" --help >"$work/out" 2>"$work/err"
expect "--help" 0 $?
grep -q -- "--records" "$work/out" || { echo "FAIL: --help does not explain --records"; failures=$((failures + 1)); }

"$scanner" >"$work/out" 2>"$work/err"
expect "no arguments" 2 $?
"$scanner" --records --bogus "$images/sample.img" >"$work/out" 2>"$work/err"
expect "unknown option" 2 $?
grep -q "usage:" "$work/err" || { echo "FAIL: wrong usage prints no usage text"; failures=$((failures + 1)); }
"$scanner" --records a.img b.img >"$work/out" 2>"$work/err"
expect "two sources" 2 $?

"$scanner" --records "$work/does-not-exist.img" >"$work/out" 2>"$work/err"
expect "missing image" 1 $?
grep -qx "无法打开卷，请确认以管理员身份运行。" "$work/err" || { echo "FAIL: missing image: stderr was: $(cat "$work/err")"; failures=$((failures + 1)); }
[[ -s $work/out ]] && { echo "FAIL: missing image wrote to stdout"; failures=$((failures + 1)); }

head -c 1048576 /dev/urandom >"$work/random.img"
"$scanner" --records "$work/random.img" >"$work/out" 2>"$work/err"
expect "not NTFS" 1 $?
grep -qx "无法打开卷，请确认以管理员身份运行。" "$work/err" || { echo "FAIL: not NTFS: stderr was: $(cat "$work/err")"; failures=$((failures + 1)); }

# An NTFS boot sector whose MFT lies beyond the end of the image: opened, but the MFT is unreadable.
head -c 65536 "$images/sample.img" >"$work/truncated.img"
"$scanner" --records "$work/truncated.img" >"$work/out" 2>"$work/err"
status=$?
if [[ $status -eq 1 ]] && grep -qE "^(无法读取 MFT。|无法打开卷，请确认以管理员身份运行。)$" "$work/err"; then
    echo "ok: truncated image"
else
    echo "FAIL: truncated image: status $status, stderr $(cat "$work/err")"
    failures=$((failures + 1))
fi

# A read-only image opens; every line has eight tab-separated fields and the root is record 5.
cp "$images/sample.img" "$work/readonly.img"
chmod 0444 "$work/readonly.img"
"$scanner" --records "$work/readonly.img" >"$work/out" 2>"$work/err"
expect "read-only image" 0 $?
awk -F'\t' 'NF != 8 { bad = 1 } END { exit bad }' "$work/out" || { echo "FAIL: a line without eight fields"; failures=$((failures + 1)); }
grep -qP '^5\t5\td\t0\t0\t[0-9]+\t0x[0-9a-f]+\t\.$' "$work/out" || { echo "FAIL: no root line"; failures=$((failures + 1)); }
sort -n -c -k1,1 "$work/out" 2>/dev/null || { echo "FAIL: lines not in record order"; failures=$((failures + 1)); }

# A scan: progress on stderr (one line each, stderr is no terminal here), the summary on stdout.
"$scanner" --drive E "$images/sample.img" >"$work/out" 2>"$work/err"
expect "scan" 0 $?
head -n 1 "$work/out" | grep -qE '^扫描完成 [0-9.]+ 秒 · MFT · [0-9.]+ (B|KB|MB|GB|TB) · [0-9]+ 文件 · [0-9]+ 文件夹 · 单击三角展开$' ||
    { echo "FAIL: scan: first line is $(head -n 1 "$work/out")"; failures=$((failures + 1)); }
grep -q '^\[E:\] 下的文件夹$' "$work/out" || { echo "FAIL: scan: no folder table for [E:]"; failures=$((failures + 1)); }
grep -q 'E:\\Users\\Alice\\VirtualDisk.vhd$' "$work/out" || { echo "FAIL: scan: largest file missing"; failures=$((failures + 1)); }
for line in "  1% 正在打开 NTFS 卷..." "  5% 正在读取 MFT..." " 90% 解析 ATTRIBUTE_LIST 溢出属性..." " 92% 构建目录树..."; do
    grep -qxF "$line" "$work/err" || { echo "FAIL: scan: progress line '$line' missing"; failures=$((failures + 1)); }
done

"$scanner" "$work/random.img" >"$work/out" 2>"$work/err"
expect "scan of a volume that is not NTFS" 1 $?
tail -n 2 "$work/err" | head -n 1 | grep -qx "错误: 无法打开卷，请确认以管理员身份运行。" || { echo "FAIL: scan error text: $(cat "$work/err")"; failures=$((failures + 1)); }

# Every source that cannot be scanned: the window's text, then the cause and what to do.
reason() {  # reason NAME PATTERN SCANNER-ARGUMENTS... (or a command that runs the scanner)
    local name=$1 pattern=$2
    shift 2
    if [[ $1 == setpriv ]]; then "$@"; else "$scanner" "$@"; fi >"$work/out" 2>"$work/err"
    expect "$name" 1 $?
    tail -n +2 "$work/err" | grep -v '^ *[0-9]*% ' | grep -q -- "$pattern" || { echo "FAIL: $name: stderr was: $(cat "$work/err")"; failures=$((failures + 1)); }
}
reason "missing path" "原因: $work/nothing.img 不存在" "$work/nothing.img"
# A folder is read through the volume that holds it, which here is no NTFS volume.
reason "a folder on a volume that is not NTFS" "^原因: $work 所在的卷是 .* 文件系统（挂载于 .*），只能扫描 NTFS 卷" "$work"
# Root reads everything: the lack of permission is seen as another user, where one can be had.
cp "$images/sample.img" "$work/private.img" && chmod 0600 "$work/private.img"
if command -v setpriv >/dev/null && setpriv --reuid=65534 --regid=65534 --clear-groups "$scanner" --help >/dev/null 2>&1; then
    reason "no permission" "^原因: 没有读取 .* 的权限，请以 root 身份运行" setpriv --reuid=65534 --regid=65534 --clear-groups "$scanner" "$work/private.img"
fi
reason "not NTFS, no table" "^原因: 开头既没有 NTFS 引导扇区，也没有分区表" "$work/random.img"
truncate -s 40M "$work/fat.img" && mkfs.vfat -F 16 "$work/fat.img" >/dev/null
reason "a FAT volume" "^原因: 这是 FAT16 卷，只能扫描 NTFS 卷" "$work/fat.img"
if command -v mkfs.ext4 >/dev/null; then
    truncate -s 8M "$work/ext4.img" && mkfs.ext4 -q -F "$work/ext4.img"
    reason "an ext4 volume" "^原因: 这是 ext4 卷" "$work/ext4.img"
fi
{ printf '\xeb\x58\x90-FVE-FS-'; head -c 65536 /dev/zero; } >"$work/bitlocker.img"
reason "a BitLocker volume" "^原因: 这是 BitLocker 加密卷，请先解锁" "$work/bitlocker.img"
reason "a disk with two NTFS partitions" "有 2 个 NTFS 分区，请用 --partition N 选择其一" "$images/disk-mbr.img"
grep -qE '^ +2 +5242880 +3145728 +3.00 MB +FAT16$' "$work/err" || { echo "FAIL: partition list: $(cat "$work/err")"; failures=$((failures + 1)); }
reason "a partition that is not NTFS" "^原因: 分区 2 不是 NTFS 卷（FAT16）" --partition 2 "$images/disk-mbr.img"
reason "a partition that does not exist" "没有分区 9" --partition 9 "$images/disk-mbr.img"
reason "--partition on a volume" "不能用 --partition" --partition 1 "$images/sample.img"

# A disk: the partition asked for, or the only NTFS one; which one goes to stderr.
"$scanner" --partition 5 "$images/disk-mbr.img" >"$work/out" 2>"$work/err"
expect "--partition 5 of an MBR disk" 0 $?
grep -q '^kestrin-scan: 扫描分区 5（起始 9437184 字节，大小 4194304 字节' "$work/err" || { echo "FAIL: no notice of partition 5: $(cat "$work/err")"; failures=$((failures + 1)); }
"$scanner" "$images/disk-gpt.img" >"$work/out" 2>"$work/err"
expect "the only NTFS partition of a GPT disk" 0 $?
grep -q '只有一个 NTFS 分区，扫描分区 3（起始 6291456 字节' "$work/err" || { echo "FAIL: no notice of partition 3: $(cat "$work/err")"; failures=$((failures + 1)); }
grep -qE '^ +0 B +0  未归属$' "$work/out" || { echo "FAIL: GPT disk partition not accounted"; failures=$((failures + 1)); }

# CSV to a file: the summary still goes to stdout; to "-", stdout is the CSV alone.
"$scanner" --csv "$work/result.csv" "$images/sample.img" >"$work/out" 2>"$work/err"
expect "scan with --csv FILE" 0 $?
head -n 1 "$work/result.csv" | grep -qx $'Path,Type,Size,Allocated,Files,Folders,Modified,Attributes,Record\r' ||
    { echo "FAIL: csv header"; failures=$((failures + 1)); }
sed -n 2p "$work/result.csv" | grep -q '^C:\\,folder,' || { echo "FAIL: csv does not start at the root"; failures=$((failures + 1)); }
grep -q "^扫描完成" "$work/out" || { echo "FAIL: --csv FILE lost the summary"; failures=$((failures + 1)); }
"$scanner" --csv - "$images/sample.img" >"$work/out" 2>"$work/err"
expect "scan with --csv -" 0 $?
cmp -s "$work/out" "$work/result.csv" || { echo "FAIL: --csv - differs from --csv FILE"; failures=$((failures + 1)); }
"$scanner" --csv "$work/no/such/dir/x.csv" "$images/sample.img" >"$work/out" 2>"$work/err"
expect "unwritable csv" 1 $?
"$scanner" --drive 12 "$images/sample.img" >"$work/out" 2>"$work/err"
expect "bad --drive" 2 $?
"$scanner" --records --csv - "$images/sample.img" >"$work/out" 2>"$work/err"
expect "--records with --csv" 2 $?

# The MFT of fragmented-mft continues its run list in record 15. With that record lost, the
# records the rest of the list places cannot be read: the scan completes, warns and says so in
# its status, and the listing does the same.
cp "$images/fragmented-mft.img" "$work/partial.img"
sector=$(od -An -t u2 -j 11 -N 2 "$work/partial.img")
cluster_sectors=$(od -An -t u1 -j 13 -N 1 "$work/partial.img")
mft_lcn=$(od -An -t u8 -j 48 -N 8 "$work/partial.img")
dd if=/dev/zero of="$work/partial.img" bs=1024 count=1 conv=notrunc status=none \
    seek=$(( (mft_lcn * sector * cluster_sectors) / 1024 + 15 ))
"$scanner" "$work/partial.img" >"$work/out" 2>"$work/err"
expect "scan of a partly readable MFT" 3 $?
tail -n 1 "$work/err" | grep -qE '^警告: MFT 中有 [0-9]+ 条记录无法读取，结果不完整。$' || { echo "FAIL: partial MFT: stderr ends with $(tail -n 1 "$work/err")"; failures=$((failures + 1)); }
head -n 1 "$work/out" | grep -q ' · 部分 MFT 无法读取$' || { echo "FAIL: partial MFT: summary line is $(head -n 1 "$work/out")"; failures=$((failures + 1)); }
"$scanner" --records "$work/partial.img" >"$work/out" 2>"$work/err"
expect "listing of a partly readable MFT" 3 $?
grep -q '条记录无法读取' "$work/err" || { echo "FAIL: partial MFT listing: no warning"; failures=$((failures + 1)); }

# The used space, accounted for: six rows after the heading, the last one what nothing claims.
"$scanner" "$images/sample.img" >"$work/out" 2>"$work/err"
sed -n '/^卷空间核算$/,$p' "$work/out" | awk 'NR > 2 { print $NF }' | tr '\n' ' ' | grep -qx '卷已用 文件数据 命名数据流 目录索引 其他属性 未归属 ' ||
    { echo "FAIL: accounting block: $(sed -n '/^卷空间核算$/,$p' "$work/out")"; failures=$((failures + 1)); }
grep -qE '^ +0 B +0  未归属$' "$work/out" || { echo "FAIL: sample has unaccounted clusters"; failures=$((failures + 1)); }

# The ncdu export, read by the programs it is for: ncdu re-exports it with the same entries and
# sizes, gdu lists the root's folders, and the files' sizes add up to the root's total.
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
for image in "$images"/*.img; do
    [[ -n ${KESTRIN_CLI_SKIP_READERS:-} ]] && break
    name=$(basename "$image" .img)
    [[ $name == disk-* ]] && continue
    "$scanner" --ncdu "$work/$name.json" --csv "$work/$name.csv" "$image" >"$work/$name.out" 2>/dev/null ||
        { fail "$name: --ncdu exit status $?"; continue; }
    # ncdu exits 0 on a malformed file and says so on stderr only; -0 keeps stderr for that.
    TERM=dumb ncdu -0 -f "$work/$name.json" -o "$work/$name.again.json" </dev/null >/dev/null 2>"$work/ncdu.err" &&
        [[ ! -s $work/ncdu.err ]] || fail "$name: ncdu cannot read the export: $(cat "$work/ncdu.err")"
    python3 - "$work/$name.json" "$work/$name.again.json" "$work/$name.csv" <<'PY' || fail "$name: the export does not hold what the scan found"
import csv, json, sys

def entries(node, path, out):
    if isinstance(node, list):
        info, children = node[0], node[1:]
        here = path + "/" + info["name"]
        out[here] = ("folder", info.get("asize", 0), info.get("dsize", 0))
        for child in children:
            entries(child, here, out)
    else:
        out[path + "/" + node["name"]] = ("file", node.get("asize", 0), node.get("dsize", 0))
    return out

ours, again = (json.load(open(p, encoding="utf-8")) for p in sys.argv[1:3])
assert ours[:2] == [1, 2] and ours[2]["progname"] == "kestrin-scan", ours[:3]
listed = entries(ours[3], "", {})
assert listed == entries(again[3], "", {}), "ncdu's re-export differs"
rows = list(csv.DictReader(open(sys.argv[3], encoding="utf-8", newline="")))
root = rows[0]
assert root["Type"] == "folder" and root["Record"] == "5", root
files = sum(size for kind, size, _ in listed.values() if kind == "file")
assert files == int(root["Size"]), (files, root["Size"])
assert sum(1 for kind, _, _ in listed.values() if kind == "file") == int(root["Files"])
PY
    gdu -n -f "$work/$name.json" >"$work/$name.gdu" 2>&1 || fail "$name: gdu cannot read the export"
    # Every folder directly under the root, as the CSV has them, is a line of gdu's listing.
    python3 - "$work/$name.csv" "$work/$name.gdu" <<'PY' || fail "$name: gdu does not list the root's folders"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1], encoding="utf-8", newline="")))
root = rows[0]["Path"]
folders = [r["Path"][len(root):] for r in rows[1:]
           if r["Type"] == "folder" and r["Path"].startswith(root) and "\\" not in r["Path"][len(root):]]
listing = open(sys.argv[2], encoding="utf-8").read().splitlines()
missing = [f for f in folders if not any(line.endswith("/" + f) for line in listing)]
assert folders and not missing, missing
PY
done


# A folder on a mounted NTFS volume: its volume is read and the scan cut to the folder, with the
# paths under the mount point. Checked against find on a read-only ntfs-3g mount: the same
# records (find's inode numbers), types and sizes, each at a path find lists for it.
unmount() { fusermount -u "$1" 2>/dev/null || umount "$1" 2>/dev/null; }
mkdir -p "$work/mnt"
if command -v ntfs-3g >/dev/null && ntfs-3g -o ro "$images/sample.img" "$work/mnt" 2>"$work/err"; then
    trap 'unmount "$work/mnt"; unmount "$work/private-mnt"; rm -rf "$work"' EXIT
    "$scanner" --csv "$work/folder.csv" "$work/mnt/Users/" >"$work/out" 2>"$work/err"
    expect "a folder on an ntfs-3g mount" 0 $?
    grep -qx "$work/mnt/Users 下的文件夹" "$work/out" || fail "folder: no table of the folder's folders: $(cat "$work/out")"
    find "$work/mnt/Users" -printf '%i\t%y\t%s\t%p\n' >"$work/find"
    python3 - "$work/folder.csv" "$work/find" "$work/mnt/Users" <<'PY' || fail "folder: the CSV is not what find lists"
import csv, sys
rows = list(csv.DictReader(open(sys.argv[1], encoding="utf-8", newline="")))
listed = {}
for line in open(sys.argv[2], encoding="utf-8"):
    inode, kind, size, path = line.rstrip("\n").split("\t")
    listed.setdefault(int(inode), (kind, int(size), set()))[2].add(path)
assert rows[0]["Path"] == sys.argv[3] and rows[0]["Type"] == "folder", rows[0]
ours = {int(row["Record"]): row for row in rows}
assert len(ours) == len(rows) and set(ours) == set(listed), set(ours) ^ set(listed)
for record, row in ours.items():
    kind, size, paths = listed[record]
    assert row["Type"] == ("folder" if kind == "d" else "file"), (row, kind)
    assert row["Path"] in paths, (row["Path"], paths)  # a hard link has a path for each name
    assert kind == "d" or int(row["Size"]) == size, (row, size)
PY
    # The mount point itself is the volume's root, shown as the user named it.
    "$scanner" --csv - "$work/mnt" 2>/dev/null | sed -n 2p | grep -q "^$work/mnt,folder,.*,5"$'\r$' || fail "folder: the mount point is not the root"
    # Without root, the device behind the mount cannot be read; the reason names it.
    cp "$images/sample.img" "$work/private.img" && chmod 0600 "$work/private.img" && chmod 0755 "$work"
    mkdir -p "$work/private-mnt" && ntfs-3g -o ro "$work/private.img" "$work/private-mnt"
    if setpriv --reuid=65534 --regid=65534 --clear-groups "$scanner" --help >/dev/null 2>&1; then
        reason "a folder without root" "^原因: 扫描 $work/private-mnt/Users 要读取它所在的卷的设备 $work/private.img，没有读取权限，请以 root 身份运行" \
            setpriv --reuid=65534 --regid=65534 --clear-groups "$scanner" "$work/private-mnt/Users"
    fi
    unmount "$work/private-mnt"
    unmount "$work/mnt"
else
    echo "skipped: a folder on an ntfs-3g mount (cannot mount here: $(cat "$work/err"))"
fi

# A volume's $MFT saved as a file (icat IMAGE 0 saves it as collection tools do) scans to the
# volume's own CSV, given the volume's cluster size; without the bitmap the accounting says so.
if command -v icat >/dev/null; then
    for image in "$images"/*.img; do
        name=$(basename "$image" .img)
        [[ $name == disk-* ]] && continue
        icat "$image" 0 >"$work/$name.mft"
        cluster=$(( $(od -An -t u2 -j 11 -N 2 "$image") * $(od -An -t u1 -j 13 -N 1 "$image") ))
        "$scanner" --csv "$work/$name.volume.csv" "$image" >/dev/null 2>&1
        "$scanner" --cluster-size "$cluster" --csv "$work/$name.mft.csv" "$work/$name.mft" >/dev/null 2>"$work/err"
        expect "$name: its \$MFT as a file" 0 $?
        cmp -s "$work/$name.volume.csv" "$work/$name.mft.csv" || fail "$name: the \$MFT file scans to another CSV than the volume"
    done
    "$scanner" "$work/sample.mft" >"$work/out" 2>"$work/err"
    expect "an \$MFT file without --cluster-size" 0 $?
    grep -q '^kestrin-scan: 这是一个 \$MFT 文件，簇大小按默认的 4096 字节计算' "$work/err" || fail "\$MFT file: no word of the default cluster size: $(cat "$work/err")"
    grep -qx '\$MFT 文件中没有卷的分配位图 (\$Bitmap): 卷已用与未归属未知' "$work/out" || fail "\$MFT file: the accounting does not say why 卷已用 is missing"
    grep -q '卷已用$' "$work/out" && fail "\$MFT file: a 卷已用 row without a bitmap"
    # hardlinks has clusters of 1024 bytes: its record 0 says so, and a scan with the default hears it.
    "$scanner" "$work/hardlinks.mft" >/dev/null 2>"$work/err"
    grep -q '^警告: .*卷的簇大小是 1024 字节，而不是 4096 字节；请用 --cluster-size 1024 重新扫描。$' "$work/err" || fail "\$MFT file: no word of the cluster size record 0 implies: $(cat "$work/err")"
else
    echo "skipped: \$MFT files (no icat here)"
fi

# Another file system's structures beside a valid NTFS (ext2's superblock, the UFS1 and UFS2
# magics, written over the sample's unused boot code and free clusters): the NTFS is scanned as
# before, and stderr names the others.
cp "$images/sample.img" "$work/two.img"
printf '\x53\xef' | dd of="$work/two.img" bs=1 seek=$((1024 + 56)) conv=notrunc status=none
printf '\x54\x19\x01\x00' | dd of="$work/two.img" bs=1 seek=$((8192 + 1372)) conv=notrunc status=none
printf '\x19\x01\x54\x19' | dd of="$work/two.img" bs=1 seek=$((65536 + 1372)) conv=notrunc status=none
"$scanner" --csv "$work/two.csv" "$work/two.img" >/dev/null 2>"$work/err"
expect "NTFS with other file systems' structures" 0 $?
grep -q '^警告: 这个卷的开头除了有效的 NTFS 之外，还有 ext2、UFS1、UFS2 文件系统的结构' "$work/err" || fail "two file systems: no warning: $(cat "$work/err")"
"$scanner" --csv "$work/sample.csv" "$images/sample.img" >/dev/null 2>&1
cmp -s "$work/sample.csv" "$work/two.csv" || fail "two file systems: the NTFS scans otherwise"

"$scanner" --csv "$work/earlier.csv" "$images/sample.img" >/dev/null 2>&1
# The same volume later: a folder added, one removed, a file grown, one added, one deleted.
"$scanner" --compare "$work/earlier.csv" "$images/sample-later.img" >"$work/out" 2>"$work/err"
expect "--compare with the volume later" 0 $?
sed -n '/^与上次扫描比较$/,$p' "$work/out" >"$work/changes"
for line in '^ +\+1\.30 MB +1\.30 MB +0 B  C:\\Users\\Alice\\Videos$' \
    '^ +-4\.00 KB +0 B +4\.00 KB  C:\\Program Files\\Kestrel Demo\\lang$' \
    '^\+188\.00 KB +232\.07 KB +44\.07 KB  C:\\Users\\Alice\\Documents$' \
    '^ +1\.00 MB +1\.00 MB  C:\\Users\\Alice\\Videos\\clip1\.mp4$' \
    '^40\.00 KB  40\.00 KB  C:\\Users\\Alice\\Downloads\\setup\.exe$'; do
    grep -qE "$line" "$work/changes" || fail "--compare: no line like $line in: $(cat "$work/changes")"
done
[[ $(sed -n '/^新增的最大 20 个文件$/,/^$/p' "$work/changes" | grep -c 'C:') -eq 4 ]] || fail "--compare: not 4 new files"

# --compare refuses, before scanning, a file no earlier --csv wrote.
"$scanner" --compare "$work/earlier.csv" "$images/sample.img" >"$work/out" 2>"$work/err"
expect "--compare with the same volume" 0 $?
sed -n '/^与上次扫描比较$/,$p' "$work/out" | grep -c '^（无）$' | grep -qx 3 || fail "--compare of a volume with itself: $(cat "$work/out")"
printf 'Path,Type,Size\r\nC:\\,folder,1\r\n' >"$work/short.csv"
{ head -n 5 "$work/earlier.csv"; printf 'C:\\x,file,twelve,0,,,,,9\r\n'; } >"$work/broken.csv"
for bad in "$work/random.img" "$work/short.csv" "$work/broken.csv" "$work/nothing.csv"; do
    "$scanner" --compare "$bad" "$images/sample.img" >"$work/out" 2>"$work/err"
    status=$?
    expect "--compare $(basename "$bad")" 2 $status
    grep -q "无法比较: .* 不是 kestrin-scan --csv 写的文件" "$work/err" || fail "--compare $(basename "$bad"): $(cat "$work/err")"
    grep -q '%' "$work/err" && fail "--compare $(basename "$bad") scanned before refusing"
done

echo "kestrin-scan-cli: $failures failed"
[[ $failures -eq 0 ]]

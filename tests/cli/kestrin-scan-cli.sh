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

echo "kestrin-scan-cli: $failures failed"
[[ $failures -eq 0 ]]

#!/usr/bin/env bash
# Runs the converters that read counting data files with two builds of tarno over the same inputs
# and compares what they write, byte for byte: outputs, rewritten inputs, raw copies (with their
# modification times), exit codes and error messages.
#
# Usage: scripts/compare_outputs.sh OLD_TARNO NEW_TARNO [INPUT_DIR]...
#
# Inputs: the counting files of src/transforms/testdata and src/data/testdata, a set of awkward
# files made here (malformed rows, other line ends, no header, no rows, not a counting file),
# the first $COMPARE_BENCH_FILES (default 200) inputs of the transforms benchmark when it has kept
# them (build/bench/homes/vrk_transforms/in), and the *.vrk files of every INPUT_DIR given.
# The only bytes left out of the comparison are the wall clock's time of the run: the update
# stamp of the "#M" header line, the stamp of each line of an error log and the time in the
# names of the exports named after it. Exit code 0 when both builds wrote the same.
set -euo pipefail
export LC_ALL=C

repo=$(cd "$(dirname "$0")/.." && pwd)
. "$repo/scripts/compare_lib.sh"
compare_setup tarno-compare "OLD_TARNO NEW_TARNO [INPUT_DIR]..." "$@"
shift 2

# --- inputs -------------------------------------------------------------------------------------
inputs=$work/inputs
mkdir -p "$inputs"
n=0
add_input() { # SOURCE_FILE: copied with a dated name, so that the day never depends on the clock
    n=$((n + 1))
    local base
    base=$(basename "$1" .vrk)
    if [[ ! $base =~ [0-9]{8} ]]; then
        base=$(printf '2009%02d%02d_%s' $(((n - 1) / 28 % 12 + 1)) $(((n - 1) % 28 + 1)) "$base")
    fi
    cp "$1" "$inputs/$base.vrk"
}
for f in "$repo"/src/transforms/testdata/*.vrk "$repo"/src/data/testdata/*.vrk; do
    [ -f "$f" ] && add_input "$f"
done

# Awkward inputs: every way a row or a file can be odd that the reader must take as before.
hdr=$'#TKT9\r\n# Shop name: Rue des Essais  \r\n#M dernière mise à jour 01/01/2009 00:00\r\n#D1DEntrée\r\n#D2CCouloir\r\n#D3PParking\r\n#C1YE1 a\r\n#C2YX1 b\r\n#C3YE2 c\r\n#C4YX2 d\r\n#C5YA3\r\n#C6YB3\r\n#R2111111111111111\r\n#K1.000\r\n#F0\r\n#Sdeadbeef\r\n'
heads=$'Magasin \tDate \tHeure \t CANALS\t\t\t\r\n\t\t\tCNL1\tCNL2\tCNL3\tCNL4\r\n'
mk() { printf '%s' "$2" >"$work/$1"; add_input "$work/$1"; }
long=$(printf '\t %d' $(seq 1 70))
mk 20240305.vrk "$hdr$heads"$'001\t05/03/2024\t08:00\t 1\t 2\t 3\t 4\t 5\t 6\r\n001\t05/03/24\t08:15\t 7\t x\t 9\r\n001\t05/03/2024\t24:00\t 1\t 1\r\n001\t05/03/2024\t08:15\t 10\t 11\t 12\t 13\t 14\t 15\r\n'"Magasin Rivoli"$'\t05/03/2024\t09:00'"$long"$'\r\n001\t05/03/2024\t 9:30\t 5\r\n001\t05/03/2024\t09:45\t+3\t -2\t 2147483647\t 99999999999\t 4\r\n001\t05/03/2024\t10:00\t\t 1\r\n001\t05/03/2024\t10:15\t 1 \t 2 \t\t\t\r\n#\r\nx\r\n001\t05/03/2024\t10:70\t 1\r\n001\t05/03/2024\tab:cd\t 1\r\n'
mk 20240306.vrk $'001\t06/03/2024\t00:00\t 1\t 2\n001\t06/03/2024\t23:45\t 3\t 4\n001\t06/03/2024\t12:00\t 5\t 6\n'
mk 20240307.vrk "$hdr$heads"
mk 20240308.vrk $'This is not\r\na counting file\r\n'
mk 20240309.vrk ''
mk 20240310.vrk "$hdr"$'001\t11/03/2024\t07:00\t 1\t 2\t 3\t 4\r001\t11/03/2024\t07:15\t 5\t 6\t 7\t 8\r'
mk 20240311.vrk "$hdr$heads"$'001\t11/03/2024\t07:00\t 100\t 50\t 30\t 20\t 10\t 5\r\n001\t11/03/2024\t07:15\t 1\t 0\t 0\t 1\t 1\t 1\r\n001\t\t07:30\t 4\t 4\t 4\t 4\r\n001\t31/02/2024\t07:45\t 9\t 9\r\n'
mk shop.vrk "$hdr$heads"$'001\t12/03/2024\t12:00\t 1\t 2\t 3\t 4\r\n'

bench_in=$repo/build/bench/homes/vrk_transforms/in
if [ -d "$bench_in" ]; then
    mapfile -t bench_files < <(find "$bench_in" -maxdepth 1 -name '*.vrk' | sort)
    for f in "${bench_files[@]:0:${COMPARE_BENCH_FILES:-200}}"; do
        cp "$f" "$inputs/"
    done
fi
for dir in "$@"; do
    for f in "$dir"/*.vrk; do
        [ -f "$f" ] && cp "$f" "$inputs/"
    done
done
pinned='2020-01-02 03:04:05'
touch -d "$pinned" "$inputs"/*.vrk
echo "$(find "$inputs" -name '*.vrk' | wc -l) inputs"

# --- runs ---------------------------------------------------------------------------------------
# NAME|TYPE|MODE|SETTINGS: MODE "out" writes into an output directory, "inplace" rewrites the
# inputs, "merge" merges the inputs of two source directories into one output directory, "twice"
# runs the in-place conversion a second time over its own result.
cases=(
    "summarize|VRKSUMMARIZE|out|"
    "summarize-all|VRKSUMMARIZE|out|DoorOnly=0 ZeroExits=0"
    "summarize-store|VRKSUMMARIZE|out|DoorOnly=0 StoreId=042"
    "simplify|VRK_CBX|out|"
    "simplify-exits|VRK_CBX|out|ZeroExits=0"
    "merge|VRKMERGE|merge|"
    "normalize|VRKNORMALIZE|out|StaffRemoval=1 StaffCoeff1=20 StaffCoeff2=20 StaffCoeff3=20 StaffCoeff4=20 StaffCoeff5=20 StaffCoeff6=20 StaffCoeff7=20 EXMerge=1"
    "normalize-noexits|VRKNORMALIZE|out|NoExits=1 StoreCode=007"
    "normalize-inplace|VRKNORMALIZE|twice|EXMerge=1"
    "normalize-inplace-staff|VRKNORMALIZE|inplace|StaffRemoval=1 StaffCoeff1=3 StaffCoeff2=3 StaffCoeff3=3 StaffCoeff4=3 StaffCoeff5=3 StaffCoeff6=3 StaffCoeff7=3"
    "correction|CORRECTION|twice|Correction=0.9 1.1 1.2 0.8 1.0 1.5 0.5"
)
# The exports that read counting files, each into its output directory.
for type in CEGID ACE CYLANDE ODEIS CROMA SOFTTOUCH GENERIX CHECKPOINT; do
    cases+=("export-${type,,}|$type|out|")
done

run_case() { # BIN DIR NAME TYPE MODE SETTINGS
    local bin=$1 dir=$2 type=$4 mode=$5 settings=$6
    local -a sets=()
    local s
    if [ "$type" = CORRECTION ]; then
        sets=(--set "$settings")
    else
        for s in $settings; do sets+=(--set "$s"); done
    fi
    mkdir -p "$dir/home" "$dir/in"
    cp -p "$inputs"/*.vrk "$dir/in/"
    local rc=0
    (
        cd "$dir"
        case $mode in
        out)
            "$bin" convert --home home --type "$type" "${sets[@]}" --out out in/*.vrk
            ;;
        inplace | twice)
            "$bin" convert --home home --type "$type" "${sets[@]}" in/*.vrk
            if [ "$mode" = twice ]; then
                echo "== second run" >&2
                touch -d "$pinned" in/*.vrk # its rewritten inputs, copied again as raw copies
                "$bin" convert --home home --type "$type" "${sets[@]}" in/*.vrk
            fi
            ;;
        merge)
            mkdir -p "other source"
            cp -p in/*.vrk "other source/"
            "$bin" convert --home home --type "$type" "${sets[@]}" --out out in/*.vrk
            "$bin" convert --home home --type "$type" "${sets[@]}" --out out "other source"/*.vrk
            ;;
        esac
    ) >"$dir/stdout" 2>"$dir/stderr" || rc=$?
    echo "$rc" >"$dir/exit_code"
    sed -i "s|$dir/|<dir>/|g" "$dir/stderr"
    rm -rf "$dir/home"
    # Raw copies keep their input's time, which is compared; the update stamp is the clock's.
    find "$dir" -path '*compteursbrut*' -type f -printf '%P %T@\n' | sort >"$dir/raw_times"
    find "$dir" -type f -name '*.vrk' -exec sed -i -E \
        's/^(#M dernière mise à jour) [0-9]{2}\/[0-9]{2}\/[0-9]{4} [0-9]{2}:[0-9]{2}/\1 <clock>/' {} +
    # Error logs stamp each line with the clock's time.
    find "$dir" -type f -name '*.ERR' -exec sed -i -E \
        's/^[0-9]{2}\/[0-9]{2}\/[0-9]{4} [0-9]{2}:[0-9]{2}:[0-9]{2} /<clock> /' {} +
    # Exports named after the clock's time: the files of one name, told apart by that time only,
    # joined in the order of their names (how many there are depends on the clock too: two in
    # the same millisecond share one file).
    local f
    find "$dir" -type f -regextype egrep -regex '.*20[0-9]{15}[^/]*' | sort | while read -r f; do
        cat "$f" >>"$(dirname "$f")/$(basename "$f" | sed -E 's/20[0-9]{15}(_[0-9]+)?/<clock>/')"
        rm "$f"
    done
    # Temporary files left behind would differ by name; list them as such.
    find "$dir" -name '.tarno-*' -printf 'left temporary %P\n' >>"$dir/raw_times"
    find "$dir" -name '.tarno-*' -delete
}

status=0
for c in "${cases[@]}"; do
    IFS='|' read -r name type mode settings <<<"$c"
    compare_case "$name" "$name" "$type" "$mode" "$settings"
done
[ $status -eq 0 ] && echo "All outputs are the same." || echo "Outputs differ."
exit $status

# Shared by the compare_*.sh scripts, which call compare_setup first and define
# run_case BIN DIR ARGS... (one conversion case run by BIN in the empty directory DIR).

# compare_setup NAME USAGE ARGS...: checks that ARGS start with OLD_TARNO NEW_TARNO, sets old and
# new to their absolute paths and work to a new temporary directory NAME-XXXXXX, removed at exit.
compare_setup() {
    local name=$1 usage=$2
    shift 2
    if [ $# -lt 2 ]; then
        echo "usage: $0 $usage" >&2
        exit 2
    fi
    old=$(realpath "$1")
    new=$(realpath "$2")
    work=$(mktemp -d "${TMPDIR:-/tmp}/$name-XXXXXX")
    trap 'rm -rf "$work"' EXIT
}

# compare_case NAME ARGS...: runs the case with each build, both in the same directory (names
# and keys taken from the path stay the same), keeps the results in $work/old/NAME and
# $work/new/NAME and compares them; prints the verdict and sets status=1 when they differ.
compare_case() {
    local name=$1 side bin
    shift
    for side in old new; do
        bin=$old
        [ $side = new ] && bin=$new
        mkdir -p "$work/run" "$work/$side"
        run_case "$bin" "$work/run" "$@"
        mv "$work/run" "$work/$side/$name"
    done
    local files
    files=$(find "$work/old/$name" -type f | wc -l)
    if diff -r "$work/old/$name" "$work/new/$name" >"$work/diff_$name" 2>&1; then
        printf '%-26s same (%d files, exit %s)\n' "$name" "$files" "$(cat "$work/old/$name/exit_code")"
    else
        printf '%-26s DIFFERENT\n' "$name"
        head -n 40 "$work/diff_$name"
        status=1
    fi
}

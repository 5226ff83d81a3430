#!/usr/bin/env bash
# Runs two builds of tarno (--once) over copies of the same watched directories, three passes with
# the same changes between them, and compares the status files they leave: byte for byte apart
# from the stamp of the last update (the time of the run), and whether each pass rewrote them.
# Usage: scripts/compare_status_files.sh OLD_TARNO NEW_TARNO [WORK_DIR]
set -euo pipefail
old=$(realpath "$1")
new=$(realpath "$2")
work=${3:-$(mktemp -d)}
rm -rf "$work/pristine"
exts=(vrk 'v*' '*' VRK)

make_home() {
    local home=$1 ini="" slot
    for slot in 0 1 2 3; do
        mkdir -p "$home/in$slot" "$home/out$slot"
        ini+="[Directory$slot]\r\nTrackDirectory=$home/in$slot\r\nConvType=NONE\r\n"
        ini+="OutDir=$home/out$slot\r\nFileExt=${exts[$slot]}\r\n"
        local d=$home/in$slot i
        for i in $(seq 1 300); do
            printf 'file %d\r\n' "$i" >"$d/$(printf '%03d_shop%d.vrk' "$i" $((i % 7)))"
        done
        for name in B.vrk b.vrk a.VRK Zeta.vrk '#hash.vrk' ' space.vrk' 'é.vrk' 'É.vrk' x.txt y.vr \
            z.vrkk noext .hidden.vrk $'tab\tname.vrk' $'nl\nname.vrk' "$(printf 'cr\rname.vrk')" \
            old.dst; do
            printf '%s\r\n' "$name" >"$d/$name"
        done
        ln -s B.vrk "$d/link.vrk"
        mkdir -p "$d/dir.vrk"
        find "$d" -mindepth 1 ! -type l -exec touch -d '2023-05-06 07:08:09.123456789' {} +
        touch -d '2021-01-01 00:00:00.999' "$d/B.vrk" "$d/b.vrk"
    done
    printf "[General]\r\nLogDetailed=1\r\nTimeBetweenActions=60\r\n$ini" >"$home/tarno.ini"
}

# The same changes in both homes, with fixed times.
change() {
    local home=$1 slot d
    for slot in 0 1 2 3; do
        d=$home/in$slot
        touch -d '2024-01-02 03:04:05.678' "$d/010_shop3.vrk" "$d/a.VRK"
        touch -d '2023-05-06 07:08:10.500' "$d/011_shop4.vrk" # within two seconds: unchanged
        printf 'more\r\n' >>"$d/012_shop5.vrk"
        touch -d '2023-05-06 07:08:09.123' "$d/012_shop5.vrk" # the size changed
        rm -f "$d/013_shop6.vrk" "$d/Zeta.vrk"
        printf 'new\r\n' >"$d/aa_new.vrk"
        printf 'new\r\n' >"$d/AA_NEW.vrk"
        touch -d '2022-02-02 02:02:02' "$d/aa_new.vrk" "$d/AA_NEW.vrk"
    done
    # Records written by hand: comments, local times, another case, duplicates, gone files.
    local s=$home/in1/fclist_none1.dst
    printf '# a comment\r\n020_shop6.vrk\t9\t2023/05/06 08:08:09.123\r\nZ.vrk\t1\t2020/01/01 00:00:00.000 UTC\r\n' >>"$s"
    printf 'b.VRK\t7\t2021/01/01 00:00:00.999 UTC\r\n001_shop1.vrk\t8\t2023/05/06 07:08:09.123 UTC\r\n' >>"$s"
    printf '003_shop3.vrk\t8\t2023/05/06 07:08:09.123 UTC\n' >>"$s"
    # A damaged record: the file is read up to it.
    printf '050_shop1.vrk\t8\t2023/99/06 07:08:09.123 UTC\r\n' >>"$home/in3/fclist_none3.dst"
}

# One build's three passes over a fresh copy of the home (always the same path, which the status
# files name), with the changes after the first: its status files, whether each pass rewrote
# them, and the names of the outputs are kept in $work/$2.
run_passes() {
    local bin=$1 out=$work/$2 pass slot dst
    rm -rf "$home" "$out"
    cp -a "$work/pristine" "$home"
    for pass in 1 2 3; do
        mkdir -p "$out/$pass"
        for slot in 0 1 2 3; do
            stat -c %i "$home/in$slot/fclist_none$slot.dst" >"$out/$pass/inode$slot" 2>/dev/null ||
                echo none >"$out/$pass/inode$slot"
        done
        "$bin" --home "$home" --rundir "$home/run" --once >/dev/null 2>&1
        for slot in 0 1 2 3; do
            dst=$home/in$slot/fclist_none$slot.dst
            if [ "$(stat -c %i "$dst")" = "$(cat "$out/$pass/inode$slot")" ]; then
                echo kept >"$out/$pass/rewritten$slot"
            else
                echo rewritten >"$out/$pass/rewritten$slot"
            fi
            rm "$out/$pass/inode$slot"
            # The stamp of the last update is the time of the run.
            sed '4s/^# last update: .*$/# last update:/' "$dst" >"$out/$pass/status$slot"
            ls -A "$home/out$slot" >"$out/$pass/outputs$slot"
        done
        if [ "$pass" = 1 ]; then
            change "$home"
        fi
    done
}

home=$work/home
make_home "$work/pristine"
# Made at one path, run at another: the configuration names the directories where they run.
sed -i "s|$work/pristine|$home|g" "$work/pristine/tarno.ini"
run_passes "$old" old
run_passes "$new" new
if diff -r "$work/old" "$work/new" >&2; then
    echo "the status files of both builds are the same:"
    (cd "$work/new" && grep -H . */rewritten* | tr '\n' ' ')
    echo
else
    echo "the status files differ" >&2
    exit 1
fi

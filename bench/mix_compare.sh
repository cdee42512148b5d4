#!/bin/sh
# Whole-module render time of our player and mixer against libxmp and libopenmpt, all with
# nearest-neighbour resampling at 32000 Hz 16-bit stereo into /dev/null, run side by side.
#   bench/mix_compare.sh <build dir> <module>... [RUNS=10]
# Prints the mean wall time per render of each, in milliseconds.
set -e
build=$1
shift
runs=${RUNS:-10}
now() { date +%s%N; }
time_it() {
    start=$(now)
    i=0
    while [ $i -lt "$runs" ]; do "$@" >/dev/null 2>&1; i=$((i + 1)); done
    echo $(( ($(now) - start) / runs / 1000 ))
}
for mod in "$@"; do
    ours=$(time_it "$build/tests/sound/mix_modrender" "$mod" /dev/null)
    xmp=$(time_it xmp --norc --nocmd -q -d wav -o /dev/null -f 32000 -b 16 -i nearest -a 1 "$mod")
    mpt=$(time_it openmpt123 --batch --filter 1 --samplerate 32000 --no-float --stdout -q "$mod")
    printf '%s: ours %d.%03d ms, xmp %d.%03d ms, openmpt123 %d.%03d ms\n' "$(basename "$mod")" \
        $((ours / 1000)) $((ours % 1000)) $((xmp / 1000)) $((xmp % 1000)) $((mpt / 1000)) $((mpt % 1000))
done

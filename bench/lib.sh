# Shared by the comparison scripts: sourced, not run.
# compare NAME GOAL RUNS OURS PEER [PREPARE] times both commands with
# hyperfine, side by side in one run, and prints the ratio of mean wall times
# (ours / peer). PREPARE, when given, runs untimed before every run of either.
# peak_kib COMMAND prints the command's peak resident memory in KiB.

compare() {
    name=$1 goal=$2 n=$3 ours=$4 peer=$5 prepare=${6:-true}
    hyperfine --style none --warmup 1 --runs "$n" --export-csv "$work/t.csv" --prepare "$prepare" \
        -n ours "$ours" -n peer "$peer" >/dev/null
    awk -F, -v name="$name" -v goal="$goal" '
        NR == 2 { ours = $2; ours_sd = $3 }
        NR == 3 { peer = $2; peer_sd = $3 }
        END {
            ratio = ours / peer
            printf "%-36s ours %7.3f s (sd %.3f)  peer %7.3f s (sd %.3f)  ratio %.2f  goal <= %s  %s\n",
                name, ours, ours_sd, peer, peer_sd, ratio, goal, (ratio <= goal ? "met" : "MISSED")
        }' "$work/t.csv"
}

peak_kib() {
    /usr/bin/time -f '%M' -o "$work/rss" sh -c "$1" >/dev/null 2>&1
    cat "$work/rss"
}

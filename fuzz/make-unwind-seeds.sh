#!/bin/sh
# Seeds for fuzz_unwind_tables: the __unwind_info section of a Mach-O
# executable and the .eh_frame of an ELF one, both built here by clang and
# lld, each behind the target's 3-byte header.
# usage: make-unwind-seeds.sh TARGET CORPUS_FOLDER
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
src=$root/tests/kithost/fixtures
out=$2
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

clang-14 -target x86_64-apple-macos11 -c "$src/slice.c" -o slice.o
ld64.lld-14 -arch x86_64 -platform_version macos 11.0 11.0 -e _main slice.o -o macho
llvm-objcopy-14 --dump-section __TEXT,__unwind_info=unwind_info macho
clang-14 -nostdlib -static -fuse-ld=lld -Wl,-z,noseparate-code -Wl,-e,main -o elf "$src/slice.c"
llvm-objcopy-14 --dump-section .eh_frame=eh_frame elf

{ printf '\000\000\000'; cat unwind_info; } > "$out/seed-unwind-info"
# The first FDE follows the CIE: its 4-byte length plus the length itself.
cie=$(od -An -tu4 -N4 eh_frame | tr -d ' ')
fde=$((cie + 4))
{ printf "\\001\\$(printf %03o $((fde % 256)))\\$(printf %03o $((fde / 256)))"; cat eh_frame; } > "$out/seed-eh-frame"

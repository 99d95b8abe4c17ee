#!/bin/sh
# Seeds for fuzz_binary_image, built when the fuzzer runs with the same LLVM
# cross tools as the kit host's test files: Mach-O objects of three
# architectures, a fat file of them, a linked Mach-O executable, and small
# ELF executables (64-bit, 32-bit, big-endian) with a GNU build-id, plus an
# ELF object without program headers.
# usage: make-binary-seeds.sh TARGET CORPUS_FOLDER
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
src=$root/tests/kithost/fixtures
out=$2
mkdir -p "$out"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cd "$tmp"

clang-14 -target x86_64-apple-macos11 -c "$src/slice.c" -o x86_64.o
clang-14 -target arm64-apple-macos11 -c "$src/slice.c" -o arm64.o
clang-14 -target armv7-apple-ios9 -fno-unwind-tables -fno-asynchronous-unwind-tables \
         -c "$src/callfree.c" -o armv7.o
ld64.lld-14 -arch x86_64 -platform_version macos 10.11.2 10.15.6 -e _main x86_64.o -o macho-x86_64
# Slices packed at 16-byte alignment keep the fat seed small.
llvm-lipo-14 -create x86_64.o arm64.o armv7.o -segalign x86_64 4 -segalign arm64 4 \
             -segalign armv7 4 -output macho-fat.o

elf() {  # name build-id [clang options]
    name=$1 id=$2
    shift 2
    clang-14 "$@" -nostdlib -static -fuse-ld=lld -Wl,-z,noseparate-code -Wl,-e,main \
             -Wl,--build-id="$id" -o "$name" "$src/callfree.c"
}
elf elf64 0x00112233445566778899aabbccddeeff01234567
elf elf32 sha1 -m32
elf elf64be md5 -target powerpc64-linux-gnu
clang-14 -c "$src/callfree.c" -o elf.o

for f in x86_64.o arm64.o armv7.o macho-x86_64 macho-fat.o elf64 elf32 elf64be elf.o; do
    cp "$f" "$out/seed-$f"
done

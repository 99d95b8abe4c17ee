// Builds the offline dictionary from a tab-separated list: one entry per line,
// "headword<TAB>text", where text already uses backslash-n between senses.
#include "DictWriter.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>

namespace {

void usage() {
    std::fprintf(stderr,
                 "usage: mvdict-writer [options] ENTRIES.tsv OUTPUT_FOLDER\n"
                 "  --index NAME          index file name (default mvdict.idx)\n"
                 "  --block-words N       words per key block (default 64)\n"
                 "  --file-words N        words per data file, 0 for one per kind (default 0)\n"
                 "  --offset-width N      1..4, 0 for the smallest that fits\n"
                 "  --word-offset-width N\n"
                 "  --header-width N\n"
                 "  --base N              position from which key-block offsets count\n"
                 "  --first-file N        number of the first data file\n");
}

bool parseNumber(const char* s, unsigned long& out) {
    char* end = nullptr;
    out = std::strtoul(s, &end, 10);
    return end && *end == '\0' && *s != '\0';
}

}  // namespace

int main(int argc, char** argv) {
    dictwriter::Options opt;
    std::string indexName = "mvdict.idx";
    std::string input, folder;
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        auto numeric = [&](unsigned long& v) {
            if (i + 1 >= argc || !parseNumber(argv[++i], v)) {
                std::fprintf(stderr, "%s needs a number\n", a);
                std::exit(2);
            }
        };
        unsigned long v = 0;
        if (!std::strcmp(a, "--index") && i + 1 < argc) {
            indexName = argv[++i];
        } else if (!std::strcmp(a, "--block-words")) {
            numeric(v), opt.wordsPerBlock = v;
        } else if (!std::strcmp(a, "--file-words")) {
            numeric(v), opt.wordsPerFile = v;
        } else if (!std::strcmp(a, "--offset-width")) {
            numeric(v), opt.offsetWidth = int(v);
        } else if (!std::strcmp(a, "--word-offset-width")) {
            numeric(v), opt.wordOffsetWidth = int(v);
        } else if (!std::strcmp(a, "--header-width")) {
            numeric(v), opt.headerWidth = int(v);
        } else if (!std::strcmp(a, "--base")) {
            numeric(v), opt.base = std::uint32_t(v);
        } else if (!std::strcmp(a, "--first-file")) {
            numeric(v), opt.firstFileNumber = int(v);
        } else if (a[0] == '-' && a[1] != '\0') {
            usage();
            return 2;
        } else if (input.empty()) {
            input = a;
        } else if (folder.empty()) {
            folder = a;
        } else {
            usage();
            return 2;
        }
    }
    if (input.empty() || folder.empty()) {
        usage();
        return 2;
    }

    std::ifstream in(input == "-" ? "/dev/stdin" : input, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", input.c_str());
        return 1;
    }
    std::vector<dictwriter::Entry> entries;
    std::string line;
    std::size_t lineNo = 0;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        const auto tab = line.find('\t');
        if (tab == std::string::npos) {
            std::fprintf(stderr, "%s:%zu: no tab\n", input.c_str(), lineNo);
            return 1;
        }
        entries.push_back({line.substr(0, tab), line.substr(tab + 1)});
    }

    const auto r = dictwriter::writeDictionary(std::move(entries), folder, indexName, opt);
    if (!r.ok) {
        std::fprintf(stderr, "mvdict-writer: %s\n", r.error.c_str());
        return 1;
    }
    std::printf("wrote %zu ASCII and %zu non-ASCII headwords:", r.entries[0], r.entries[1]);
    for (const auto& f : r.files) std::printf(" %s", f.c_str());
    std::printf("\n");
    return 0;
}

// Writes seed inputs for the offline dictionary targets: small dictionaries
// made by the project's writer in several layouts (widths, base, one or
// several data files, one or many blocks), so the fuzzer starts from files
// the reader accepts. Not a fuzz target itself.
//   fuzz_offline_seeds fuzz_offline_dict|fuzz_offline_block CORPUS_FOLDER
#include "OfflineArchive.h"
#include "OfflineBlock.h"

#include "dictwriter/DictWriter.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>
#include <algorithm>

namespace fs = std::filesystem;

namespace {

std::vector<dictwriter::Entry> entries() {
    return {{"apple", "/'æpl/\\nn. 苹果"},     {"apply", "/ə'plaɪ/\\nv. 申请\\nv. 应用"},
            {"a", "/ə/\\nart. 一"},            {"book", "/bʊk/\\nn. 书"},
            {"run", "/rʌn/\\nv. 跑\\nn. 奔跑"}, {"Run-up", "n. 准备阶段"},
            {"time", "/taɪm/\\nn. 时间"},      {"zebra", "/'zebrə/\\nn. 斑马"},
            {"中国", "zhōng guó\\nChina"},     {"苹果", "píng guǒ\\napple"},
            {"猫", "māo\\ncat"},               {"好", "hǎo\\ngood"}};
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void writeSeed(const fs::path& folder, const std::string& name, const std::string& bytes) {
    std::ofstream(folder / name, std::ios::binary) << bytes;
}

bool dictSeeds(const fs::path& out) {
    struct Layout {
        const char* name;
        dictwriter::Options options;
    };
    std::vector<Layout> layouts(5);
    layouts[0].name = "plain";
    layouts[1].name = "small-blocks";
    layouts[1].options.wordsPerBlock = 2;
    layouts[2].name = "several-files";
    layouts[2].options.wordsPerBlock = 2;
    layouts[2].options.wordsPerFile = 3;
    layouts[3].name = "wide-base";
    layouts[3].options.base = 7;
    layouts[3].options.offsetWidth = layouts[3].options.wordOffsetWidth = layouts[3].options.headerWidth = 4;
    layouts[4].name = "reversed";
    layouts[4].options.reverseRecords = true;
    layouts[4].options.firstFileNumber = 10;
    for (const Layout& l : layouts) {
        const fs::path tmp = fs::temp_directory_path() / ("mirvok-seed-" + std::to_string(::getpid()));
        fs::create_directories(tmp);
        const auto r = dictwriter::writeDictionary(entries(), tmp.string(), "mvdict.idx", l.options);
        if (!r.ok) {
            std::fprintf(stderr, "fuzz_offline_seeds: %s: %s\n", l.name, r.error.c_str());
            return false;
        }
        std::vector<std::pair<int, std::string>> files;
        for (const std::string& name : r.files) {
            const int number = name == "mvdict.idx" ? -1 : int(std::strtol(name.c_str(), nullptr, 16));
            files.emplace_back(number, readFile(tmp / name));
        }
        fs::remove_all(tmp);
        writeSeed(out, std::string("dict-") + l.name, offline_archive::pack(files));
    }
    return true;
}

// Key block rows: [text offset, big-endian][word] separated by ';'.
std::string keyBlock(int headerWidth, int wordOffsetWidth, std::string& content) {
    std::string block(std::size_t(2 * headerWidth), '\0');
    content.clear();
    auto rows = entries();
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) {
        return dictwriter::compareFolded(a.word, b.word) < 0;
    });
    bool first = true;
    for (const auto& e : rows) {
        if (!first) block.push_back(';');
        first = false;
        for (int i = wordOffsetWidth - 1; i >= 0; --i) block.push_back(char(content.size() >> (8 * i) & 0xFF));
        block += e.word;
        content += e.text;
    }
    return block;
}

bool blockSeeds(const fs::path& out) {
    for (int hw = 1; hw <= 4; hw += 3)
        for (int ww = 2; ww <= 4; ww += 2) {
            std::string content;
            const std::string key = keyBlock(hw, ww, content);
            writeSeed(out, "block-" + std::to_string(hw) + std::to_string(ww),
                      offline_block::pack(hw, ww, key, content));
        }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: fuzz_offline_seeds fuzz_offline_dict|fuzz_offline_block CORPUS_FOLDER\n");
        return 2;
    }
    const std::string target = argv[1];
    const fs::path out = argv[2];
    fs::create_directories(out);
    if (target == "fuzz_offline_dict") return dictSeeds(out) ? 0 : 1;
    if (target == "fuzz_offline_block") return blockSeeds(out) ? 0 : 1;
    std::fprintf(stderr, "fuzz_offline_seeds: no seeds for %s\n", target.c_str());
    return 2;
}

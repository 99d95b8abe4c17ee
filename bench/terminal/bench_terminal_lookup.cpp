// The terminal commands against a terminal dictionary, in one run: wall time
// (median of the runs) and peak memory (largest maximum resident set) of
// `mirvok --lookup hello`, `--lookup hello --json`, `--help` and `--version`,
// each beside `sdcv -n hello` on a generated 100,000-entry StarDict
// dictionary (Debian's sdcv, when installed), taken in turns so that both
// meet the same load. No display variables reach either program.
//
//   bench_terminal_lookup [--runs 41] [--program PATH]
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

struct Sample {
    double ms = -1;
    long maxRssKb = 0;
    int status = -1;
};

struct Figures {
    std::vector<double> ms;
    long maxRssKb = 0;
    int failures = 0;
};

std::vector<std::string> g_env;

// Runs `argv` with stdout and stderr on /dev/null; wall time and peak RSS.
// A forked child, not a spawned one: the peak the kernel reports for a
// program includes that of the memory it was started from, and a fork
// shares nothing of ours but the few pages we wrote.
Sample runOnce(const std::vector<std::string>& argv) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& e : g_env) env.push_back(const_cast<char*>(e.c_str()));
    env.push_back(nullptr);
    Sample s;
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid < 0) return s;
    if (pid == 0) {
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        dup2(null, 2);
        execve(args[0], args.data(), env.data());
        _exit(127);
    }
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    s.ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    s.maxRssKb = usage.ru_maxrss;
    s.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return s;
}

void add(Figures& f, const Sample& s) {
    if (s.status != 0) {
        ++f.failures;
        return;
    }
    f.ms.push_back(s.ms);
    f.maxRssKb = std::max(f.maxRssKb, s.maxRssKb);
}

double median(std::vector<double> v) {
    if (v.empty()) return -1;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

void putBigEndian(std::string& out, unsigned value) {
    for (int shift = 24; shift >= 0; shift -= 8) out += char((value >> shift) & 0xff);
}

// 100,000 headwords (hello among them) with a short entry each, as
// `<dir>/dic/bench/bench.{ifo,idx,dict}`; the index sorted the way StarDict
// compares (ASCII case-folded, all lower case here).
bool writeDictionary(const std::string& dir) {
    std::vector<std::string> words;
    words.reserve(100000);
    words.emplace_back("hello");
    for (int i = 0; words.size() < 100000; ++i) {
        std::string w;
        for (int n = i; w.size() < 4 || n > 0; n /= 26) w += char('a' + n % 26);
        w += "ing";
        if (w != "hello") words.push_back(w);
    }
    std::sort(words.begin(), words.end());
    std::string idx, dict;
    for (const std::string& w : words) {
        const std::string entry = "[" + w + "] n. the entry of " + w + "; 释义 " + w;
        idx += w;
        idx += '\0';
        putBigEndian(idx, unsigned(dict.size()));
        putBigEndian(idx, unsigned(entry.size()));
        dict += entry;
    }
    const std::string folder = dir + "/dic/bench";
    mkdir((dir + "/dic").c_str(), 0700);
    mkdir(folder.c_str(), 0700);
    std::ofstream(folder + "/bench.idx", std::ios::binary) << idx;
    std::ofstream(folder + "/bench.dict", std::ios::binary) << dict;
    std::ofstream ifo(folder + "/bench.ifo", std::ios::binary);
    ifo << "StarDict's dict ifo file\nversion=2.4.2\nbookname=bench\nwordcount=" << words.size()
        << "\nidxfilesize=" << idx.size() << "\nsametypesequence=m\n";
    return bool(ifo);
}

std::string findProgram(const char* name) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "/usr/bin:/bin";
    for (std::size_t at = 0; at <= dirs.size();) {
        const std::size_t end = std::min(dirs.find(':', at), dirs.size());
        const std::string candidate = dirs.substr(at, end - at) + "/" + name;
        if (access(candidate.c_str(), X_OK) == 0) return candidate;
        at = end + 1;
    }
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    int runs = 41;
    std::string program = MIRVOK_EXECUTABLE;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--runs") == 0) runs = std::max(1, std::atoi(argv[i + 1]));
        else if (std::strcmp(argv[i], "--program") == 0) program = argv[i + 1];
    }
    char tmpl[] = "/tmp/bench_terminal-XXXXXX";
    const char* dir = mkdtemp(tmpl);
    if (!dir) {
        std::perror("bench_terminal_lookup: mkdtemp");
        return 1;
    }
    for (char** e = environ; *e; ++e) {
        const std::string v = *e;
        if (v.rfind("DISPLAY=", 0) == 0 || v.rfind("WAYLAND_DISPLAY=", 0) == 0 || v.rfind("HOME=", 0) == 0 ||
            v.rfind("XDG_", 0) == 0 || v.rfind("QT_QPA_PLATFORM=", 0) == 0)
            continue;
        g_env.push_back(v);
    }
    // Neither program reads the user's own files.
    g_env.push_back(std::string("HOME=") + dir);

    const std::string sdcv = findProgram("sdcv");
    // Written by a child, so that none of it stays in this process's memory.
    bool withSdcv = false;
    if (!sdcv.empty()) {
        const pid_t writer = fork();
        if (writer == 0) _exit(writeDictionary(dir) ? 0 : 1);
        int status = 1;
        waitpid(writer, &status, 0);
        withSdcv = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    const std::vector<std::string> sdcvArgs = {sdcv, "-n", "-x", "-2", std::string(dir), "hello"};
    if (!sdcv.empty() && runOnce(sdcvArgs).status != 0) std::fprintf(stderr, "sdcv did not find hello\n");
    if (!withSdcv) std::printf("sdcv is not installed (apt-get install sdcv): mirvok's figures only\n");

    const std::vector<std::pair<const char*, std::vector<std::string>>> commands = {
        {"--lookup hello", {program, "--lookup", "hello"}},
        {"--lookup hello --json", {program, "--lookup", "hello", "--json"}},
        {"--help", {program, "--help"}},
        {"--version", {program, "--version"}},
    };
    // Unmeasured first runs: the files come into the page cache.
    for (const auto& c : commands) runOnce(c.second);
    if (withSdcv) runOnce(sdcvArgs);

    // What starting any program costs here: on a busy machine it is most of
    // both figures, and the ratio is shown net of it too.
    const std::string trueProgram = findProgram("true");
    std::vector<Figures> ours(commands.size());
    Figures theirs, floor;
    for (int run = 0; run < runs; ++run)
        for (std::size_t c = 0; c < commands.size(); ++c) {
            add(ours[c], runOnce(commands[c].second));
            if (withSdcv) add(theirs, runOnce(sdcvArgs));
            if (!trueProgram.empty() && c == 0) add(floor, runOnce({trueProgram}));
        }

    const double sdcvMs = median(theirs.ms), floorMs = median(floor.ms);
    std::printf("terminal commands: median of %d runs each, peak RSS the largest of them (%s)\n", runs,
                program.c_str());
    if (floorMs > 0) std::printf("  %-28s %7.2f ms  (starting any program)\n", "true", floorMs);
    if (withSdcv)
        std::printf("  %-28s %7.2f ms  %6.1f MB peak   (100,000 entries, %d runs)\n", "sdcv -n hello", sdcvMs,
                    double(theirs.maxRssKb) / 1024.0, int(theirs.ms.size()));
    for (std::size_t c = 0; c < commands.size(); ++c) {
        const double ms = median(ours[c].ms);
        std::printf("  mirvok %-21s %7.2f ms  %6.1f MB peak", commands[c].first, ms,
                    double(ours[c].maxRssKb) / 1024.0);
        if (withSdcv && sdcvMs > 0) std::printf("   %.2fx sdcv", ms / sdcvMs);
        if (withSdcv && floorMs > 0 && sdcvMs > floorMs)
            std::printf(" (%.2fx net of starting)", (ms - floorMs) / (sdcvMs - floorMs));
        if (ours[c].failures) std::printf("   (%d runs failed)", ours[c].failures);
        std::printf("\n");
    }
    const std::string cleanup = std::string("rm -rf '") + dir + "'";
    return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}

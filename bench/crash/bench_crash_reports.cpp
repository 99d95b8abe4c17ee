// Processing and packaging one crash report the size of a busy run: 20
// threads of 40 frames over ~110 images (the ones loaded here, padded with
// images of other builds). Median of 10 runs, each on a fresh copy.
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <link.h>
#include <random>
#include <vector>

#include "crash/CRKFileManager.h"
#include "crash/CRKInternalReport.h"
#include "crash/CRKPackageReportOperation.h"
#include "crash/CRKProcessReportOperation.h"
#include "crash/CRKSymbolResolver.h"
#include "kithost/binary/ElfNote.h"

namespace {
struct Loaded {
    quint64 base, size;
    QByteArray uuid, path;
};

int collect(dl_phdr_info* info, size_t, void* data)
{
    auto* out = static_cast<std::vector<Loaded>*>(data);
    quint64 low = ~0ULL, high = 0;
    QByteArray uuid;
    for (int i = 0; i < info->dlpi_phnum; ++i) {
        const ElfW(Phdr)& ph = info->dlpi_phdr[i];
        if (ph.p_type == PT_LOAD) {
            low = std::min<quint64>(low, info->dlpi_addr + ph.p_vaddr);
            if (ph.p_flags & PF_X)
                high = std::max<quint64>(high, info->dlpi_addr + ph.p_vaddr + ph.p_memsz);
        } else if (ph.p_type == PT_NOTE) {
            const uint8_t* id = nullptr;
            size_t n = 0;
            if (CRKElfNotesFindGNUBuildId(reinterpret_cast<const void*>(info->dlpi_addr + ph.p_vaddr), ph.p_memsz,
                                          ph.p_align, false, &id, &n) && id)
                uuid = QByteArray(reinterpret_cast<const char*>(id), int(std::min<size_t>(n, 16))).toHex();
        }
    }
    if (high > low && !uuid.isEmpty())
        out->push_back({low, high - low, uuid, info->dlpi_name && *info->dlpi_name ? info->dlpi_name : "/proc/self/exe"});
    return 0;
}
}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("XDG_CACHE_HOME", home.path().toUtf8());
    std::vector<Loaded> images;
    dl_iterate_phdr(collect, &images);
    const size_t real = images.size();
    for (size_t i = real; i < 110; ++i)
        images.push_back({0x7f0000000000ULL + i * 0x1000000ULL, 0x800000, QByteArray::number(quint64(i), 16).rightJustified(32, 'a'), "/usr/lib/other.so"});
    QByteArray imageLines;
    for (const Loaded& l : images)
        imageLines += "{\"load\":{\"path\":\"" + l.path + "\",\"uuid\":\"" + l.uuid + "\",\"base\":" + QByteArray::number(l.base)
                      + ",\"size\":" + QByteArray::number(l.size) + "}}\n";
    std::mt19937_64 random(7);
    QByteArray threads = "{\"threads\":[";
    for (int t = 0; t < 20; ++t) {
        threads += t ? ",{\"registers\":{},\"stacktrace\":[" : "{\"registers\":{},\"stacktrace\":[";
        for (int f = 0; f < 40; ++f) {
            const Loaded& l = images[random() % images.size()];
            threads += (f ? "," : "") + QByteArray::number(l.base + random() % l.size);
        }
        threads += "]}";
    }
    threads += "]}\n";

    auto fm = std::make_shared<CRKFileManager>();
    fm->prepareForNewLaunch();
    std::vector<double> ms;
    for (int run = 0; run < 10; ++run) {
        const QString dir = fm->processingPath() + "/run" + QString::number(run);
        QDir().mkpath(dir);
        auto write = [&](const char* name, const QByteArray& bytes) {
            QFile f(dir + "/" + name);
            f.open(QIODevice::WriteOnly);
            f.write(bytes);
        };
        write("metadata.crkrecord", "{\"identity\":{\"session_id\":\"run\",\"api_key\":\"k\",\"started_at\":1}}\n");
        write("binary_images.crkrecord", imageLines);
        write("signal.crkrecord", "{\"signal\":{\"number\":11}}\n" + threads);
        write("log_a.crkrecord", QByteArray(60000, 'x'));
        QElapsedTimer timer;
        timer.start();
        auto report = CRKInternalReport::reportWithPath(dir);
        CRKProcessReportOperation(report, std::make_shared<CRKSymbolResolver>()).main();
        CRKPackageReportOperation package(report, fm);
        package.main();
        ms.push_back(timer.nsecsElapsed() / 1e6);
        if (package.finalPath().isEmpty())
            std::fprintf(stderr, "bench_crash_reports: no package\n");
    }
    std::sort(ms.begin(), ms.end());
    std::printf("process + package one report (20 threads x 40 frames, %zu images, %zu loaded): median %.1f ms "
                "(min %.1f, max %.1f)\n",
                images.size(), real, (ms[4] + ms[5]) / 2, ms.front(), ms.back());
    return 0;
}

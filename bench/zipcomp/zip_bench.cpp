// In-process throughput of the archive writer on the benchmark corpus (made by
// make_corpus.sh; QELVARO_ZIP_CORPUS names its backup root), per compression level and
// worker count. The comparison with other tools is run.sh.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "zipcomp/zip_component.h"

namespace {

std::string corpusRoot() {
    const char* root = std::getenv("QELVARO_ZIP_CORPUS");
    return root ? root : "";
}

void BM_ZipCorpus(benchmark::State& state) {
    std::string root = corpusRoot();
    if (root.empty() || !std::filesystem::is_directory(root)) {
        state.SkipWithError("set QELVARO_ZIP_CORPUS to a folder (bench/zipcomp/make_corpus.sh makes one)");
        return;
    }
    std::string archive = (std::filesystem::temp_directory_path() / "qzip-bench.zip").string();
    std::int64_t bytes = 0;
    for (auto _ : state) {
        zipcomp::ZipComponent zip;
        zip.BasePath = root;
        zip.ZipFilename = archive;
        zip.CompressionLevel = static_cast<int>(state.range(0));
        zip.setThreads(static_cast<unsigned>(state.range(1)));
        zip.GlobalStatus = [&](const zipcomp::GlobalStatusArgs& a) { bytes = a.lBytesTotal; };
        if (zip.Zip() != 0) {
            state.SkipWithError("Zip failed");
            break;
        }
    }
    state.SetBytesProcessed(bytes * state.iterations());
    state.counters["archive_MB"] = static_cast<double>(std::filesystem::file_size(archive)) / 1e6;
    std::remove(archive.c_str());
}
BENCHMARK(BM_ZipCorpus)->ArgsProduct({{1, 6, 9}, {1, 2}})->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

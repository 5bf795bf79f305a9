// resgraft-engine-bench --src=SRC --dst=DST --out=OUT [Google Benchmark flags]
//
// The engine's steps, one case each, on a workload pair made by
// resgraft-bench-workload, so that a change shows which step it made cheaper or
// dearer: loading an image, carrying the four kinds over, measuring and laying the
// tree out into a section buffer, the whole save, and the checksum of the written
// file. Every case sets bytes_per_second to the bytes it moves.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/transfer.h"
#include "engine/checksum.h"
#include "engine/pe.h"
#include "sys/file_io.h"
#include "sys/page_memory.h"

namespace {

using resgraft::engine::ResourceLayout;
using resgraft::engine::TPEFile;

std::string g_src;
std::string g_dst;
std::string g_out;

uint64_t SizeOf(const std::string& path) {
  std::optional<resgraft::sys::File> file = resgraft::sys::File::OpenRead(path);
  return file ? file->Size().value_or(0) : 0;
}

void LoadOrDie(TPEFile& pe, const std::string& path) {
  std::string msg;
  pe.Clear();
  pe.LoadFromFile(path, msg);
  if (!msg.empty()) {
    std::cerr << "cannot load " << path << '\n';
    std::exit(1);
  }
}

// Loads both files into the window's two globals and carries all four kinds over.
TPEFile& TransferredDestination() {
  resgraft::app::InitializeUnit1();
  LoadOrDie(*resgraft::app::SourceFile, g_src);
  LoadOrDie(*resgraft::app::TargetFile, g_dst);
  resgraft::app::ApplyTransferRules(resgraft::app::TransferKinds{});
  return *resgraft::app::TargetFile;
}

// Loading the destination, from an empty object.
void BM_Load(benchmark::State& state) {
  TPEFile pe;
  for (auto _ : state) {
    state.PauseTiming();
    pe.Clear();
    state.ResumeTiming();
    std::string msg;
    pe.LoadFromFile(g_dst, msg);
    benchmark::DoNotOptimize(msg);
  }
  state.SetBytesProcessed(static_cast<int64_t>(static_cast<uint64_t>(state.iterations()) * SizeOf(g_dst)));
}

// The four transfer rules on a freshly loaded pair.
void BM_Transfer(benchmark::State& state) {
  resgraft::app::InitializeUnit1();
  LoadOrDie(*resgraft::app::SourceFile, g_src);
  for (auto _ : state) {
    state.PauseTiming();
    LoadOrDie(*resgraft::app::TargetFile, g_dst);
    state.ResumeTiming();
    resgraft::app::ApplyTransferRules(resgraft::app::TransferKinds{});
  }
  state.SetBytesProcessed(static_cast<int64_t>(static_cast<uint64_t>(state.iterations()) * SizeOf(g_src)));
  resgraft::app::FinalizeUnit1();
}

// Measuring the transferred tree and laying it out into a zeroed section buffer.
void BM_MeasureAndWrite(benchmark::State& state) {
  TPEFile& pe = TransferredDestination();
  uint32_t section_size = 0;
  for (auto _ : state) {
    ResourceLayout sizes{};
    if (!pe.Resources.Measure(sizes, 0) ||
        !resgraft::engine::SectionSize(sizes, section_size)) {
      state.SkipWithError("measure failed");
      break;
    }
    const uint32_t raw_size = pe.ResizeResourceSection(section_size);
    // The section buffer as the save makes it: fresh zero pages.
    const resgraft::sys::PageMemory buffer = resgraft::sys::PageMemory::Allocate(raw_size);
    ResourceLayout cursors{};
    resgraft::engine::RegionEnds(sizes, cursors);
    if (!pe.WriteDirectory(buffer.bytes(), pe.Resources, cursors, 0)) {
      state.SkipWithError("write failed");
      break;
    }
    benchmark::DoNotOptimize(buffer.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(static_cast<uint64_t>(state.iterations()) * uint64_t{section_size}));
  resgraft::app::FinalizeUnit1();
}

// The whole save of the transferred destination: layout, blocks, checksum.
void BM_Save(benchmark::State& state) {
  TPEFile& pe = TransferredDestination();
  for (auto _ : state) {
    // Replacing the previous output would add dropping its pages to the save.
    state.PauseTiming();
    std::remove(g_out.c_str());
    state.ResumeTiming();
    std::string msg;
    pe.SaveToFile(g_out, msg);
    if (!msg.empty()) {
      state.SkipWithError("save failed");
      break;
    }
  }
  state.SetBytesProcessed(static_cast<int64_t>(static_cast<uint64_t>(state.iterations()) * SizeOf(g_out)));
  resgraft::app::FinalizeUnit1();
}

// The checksum of the written file, over its read-only mapping. The file is written
// by a save first: how a file was written decides how its pages sit in the cache
// and so what mapping it costs.
void BM_Checksum(benchmark::State& state) {
  std::string msg;
  TransferredDestination().SaveToFile(g_out, msg);
  resgraft::app::FinalizeUnit1();
  std::optional<resgraft::sys::File> file = resgraft::sys::File::OpenRead(g_out);
  const uint64_t size = file ? file->Size().value_or(0) : 0;
  if (!msg.empty() || !file || size == 0 || size >= UINT32_MAX) {
    state.SkipWithError("cannot save the transferred destination");
    return;
  }
  for (auto _ : state) {
    benchmark::DoNotOptimize(resgraft::engine::ImageChecksum(*file, static_cast<uint32_t>(size)));
  }
  state.SetBytesProcessed(static_cast<int64_t>(static_cast<uint64_t>(state.iterations()) * size));
}

BENCHMARK(BM_Load)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Transfer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MeasureAndWrite)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Save)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Checksum)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  std::vector<char*> rest;
  for (int i = 0; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg.starts_with("--src=")) {
      g_src = std::string(arg.substr(6));
    } else if (arg.starts_with("--dst=")) {
      g_dst = std::string(arg.substr(6));
    } else if (arg.starts_with("--out=")) {
      g_out = std::string(arg.substr(6));
    } else {
      rest.push_back(argv[i]);
    }
  }
  if (g_src.empty() || g_dst.empty() || g_out.empty()) {
    std::cerr << "usage: resgraft-engine-bench --src=SRC --dst=DST --out=OUT [benchmark flags]\n";
    return 2;
  }
  int rest_count = static_cast<int>(rest.size());
  benchmark::Initialize(&rest_count, rest.data());
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

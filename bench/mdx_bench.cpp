// .mdx bulk build and seek speed. Three tags as a claims table has them: a
// 10-byte claim key, a 25-byte composite key and a numeric key, 1,000,000
// keys each; beside them the time sort(1) needs for the same keys as text
// (BM_AllThreeTags prints the ratio as vs_sort).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "mdx_file.h"
#include "mdx_tag.h"

using namespace talvex::engine::mdx;
namespace fs = std::filesystem;

namespace {

constexpr uint32_t kKeys = 1000000;

struct Data {
  KeyBatch claim{10}, composite{25}, amount{12};
  std::vector<std::string> claimText, compositeText, amountText;
  Data() {
    std::mt19937 rng(42);
    claim.reserve(kKeys);
    composite.reserve(kKeys);
    amount.reserve(kKeys);
    char buf[64];
    for (uint32_t r = 1; r <= kKeys; ++r) {
      // About three rows per claim number, as claim lines are.
      std::snprintf(buf, sizeof buf, "%10u", static_cast<unsigned>(1000000u + rng() % (kKeys / 3)));
      std::string c(buf, 10);
      std::string name;
      for (int i = 0; i < 13; ++i) name.push_back(char('A' + rng() % 26));
      std::string comp = c + (rng() % 2 ? "01" : "02") + name;
      std::snprintf(buf, sizeof buf, "%.2f", double(rng() % 10000000) / 100.0);
      claim.add(c, r);
      composite.add(comp, r);
      amount.add(encodeNumericKeyText(buf), r);
      claimText.push_back(c);
      compositeText.push_back(comp);
      amountText.push_back(buf);
    }
  }
};

Data& data() {
  static Data d;
  return d;
}

std::string scratch(const std::string& name) {
  return (fs::temp_directory_path() / ("mdxbench-" + name)).string();
}

std::vector<TagDef> defs() {
  return {{"CLAIM", "STR(CLAIM,10)", "", KeyType::Character, 10, false, false},
          {"CLAIMID", "STR(CLAIM,10)+ID_TYPE+NAME", "", KeyType::Character, 25, false, false},
          {"AMOUNT", "AMOUNT", "", KeyType::Numeric, 12, false, false}};
}

const KeyBatch& batchFor(int tag) {
  Data& d = data();
  return tag == 0 ? d.claim : tag == 1 ? d.composite : d.amount;
}

void BM_BulkBuild(benchmark::State& state) {
  const int tag = int(state.range(0));
  const std::string path = scratch("build.mdx");
  const KeyBatch& keys = batchFor(tag);
  for (auto _ : state) {
    Status st;
    auto f = MdxFile::create(path, CreateOptions{"CLAIMS"}, defs(), &st);
    if (!f || !f->tag(size_t(tag)).bulkBuild(keys)) state.SkipWithError("build failed");
  }
  state.counters["keys/s"] =
      benchmark::Counter(double(keys.size()) * double(state.iterations()), benchmark::Counter::kIsRate);
  fs::remove(path);
}
BENCHMARK(BM_BulkBuild)->Arg(0)->Arg(1)->Arg(2)->ArgName("tag")->Iterations(1)->UseRealTime()
    ->Unit(benchmark::kMillisecond);

// sort(1) on the keys of one tag, one per line, byte order: the yardstick.
// Seconds, or a negative number when sort failed.
double SortSeconds(int tag) {
  Data& d = data();
  const auto& lines = tag == 0 ? d.claimText : tag == 1 ? d.compositeText : d.amountText;
  const std::string in = scratch("keys.txt"), out = scratch("sorted.txt");
  {
    std::ofstream f(in);
    for (const auto& l : lines) f << l << '\n';
  }
  const std::string cmd = "LC_ALL=C sort " + std::string(tag == 2 ? "-n " : "") + in + " -o " + out;
  const auto start = std::chrono::steady_clock::now();
  const bool ok = std::system(cmd.c_str()) == 0;
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  fs::remove(in);
  fs::remove(out);
  return ok ? seconds : -1;
}

// The three tags built in one .mdx, beside the sum of sort(1) of their keys
// in the same run (vs_sort: goal at most 2).
void BM_AllThreeTags(benchmark::State& state) {
  const std::string path = scratch("all.mdx");
  data();  // the keys are made before the clock starts
  double built = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    Status st;
    auto f = MdxFile::create(path, CreateOptions{"CLAIMS"}, defs(), &st);
    for (int t = 0; f && t < 3; ++t)
      if (!f->tag(size_t(t)).bulkBuild(batchFor(t))) state.SkipWithError("build failed");
    built = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  double sorted = 0;
  for (int t = 0; t < 3; ++t) {
    const double s = SortSeconds(t);
    if (s < 0) state.SkipWithError("sort failed");
    sorted += s;
  }
  state.counters["keys/s"] = benchmark::Counter(3.0 * kKeys * double(state.iterations()),
                                                benchmark::Counter::kIsRate);
  state.counters["sort_s"] = sorted;
  state.counters["vs_sort"] = sorted > 0 ? built / sorted : 0;
  fs::remove(path);
}
BENCHMARK(BM_AllThreeTags)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// sort(1) of each tag's keys on its own.
void BM_SortText(benchmark::State& state) {
  const int tag = int(state.range(0));
  for (auto _ : state) {
    const double s = SortSeconds(tag);
    if (s < 0) state.SkipWithError("sort failed");
    state.SetIterationTime(s);
  }
  state.counters["keys/s"] =
      benchmark::Counter(double(kKeys) * double(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_SortText)->Arg(0)->Arg(1)->Arg(2)->ArgName("tag")->Iterations(1)->UseManualTime()
    ->Unit(benchmark::kMillisecond);

void BM_Seek(benchmark::State& state) {
  const int tag = int(state.range(0));
  const bool trusted = state.range(1) != 0;
  const std::string path = scratch("seek.mdx");
  Status st;
  auto f = MdxFile::create(path, CreateOptions{"CLAIMS"}, defs(), &st);
  if (!f || !f->tag(size_t(tag)).bulkBuild(batchFor(tag))) {
    state.SkipWithError("build failed");
    return;
  }
  f->setTrusted(trusted);
  const KeyBatch& keys = batchFor(tag);
  Cursor c(f->tag(size_t(tag)));
  std::mt19937 rng(7);
  SeekResult r;
  for (auto _ : state) {
    if (!c.seek(keys.key(rng() % keys.size()), &r)) state.SkipWithError("seek failed");
    benchmark::DoNotOptimize(c.recno());
  }
  state.counters["seeks/s"] =
      benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  f.reset();
  fs::remove(path);
}
// trusted = 1: table locked or exclusive; 0: shared, each seek takes the
// index lock and checks the tag header for changes by others.
BENCHMARK(BM_Seek)->Args({0, 1})->Args({1, 1})->Args({2, 1})->Args({0, 0})
    ->ArgNames({"tag", "trusted"})->UseRealTime();

}  // namespace

BENCHMARK_MAIN();

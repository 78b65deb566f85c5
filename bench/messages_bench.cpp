// Messages formatted per second: FormatMessageA from a loaded module, the collector's
// load-format-free cycle per record, and the C++ form.

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>
#include <vector>

#include "platform/messages/format_message.h"
#include "platform/messages/test_images.h"
#include "testing/temp_dir.h"

namespace {

namespace messages = tamsel::platform::messages;

// A message module on disk shaped like a real one: 200 messages of a few lines with inserts.
class SampleModule {
 public:
  SampleModule() {
    std::vector<std::pair<std::uint32_t, std::string>> texts;
    for (std::uint32_t id = 1000; id < 1200; ++id) {
      texts.push_back({id, "The service %1 on computer %2 entered the " + std::to_string(id) +
                               " state.\r\nReason: %3\r\nSee the event log for details.\r\n"});
    }
    auto image = messages::testing::BuildPeImage(
        true, {{0x0409, messages::testing::BuildMessageTable(texts, true)}});
    path_ = (temp_.Path() / "bench.dll").string();
    std::ofstream(path_, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.bytes.data()),
               static_cast<std::streamsize>(image.bytes.size()));
  }
  const std::string& Path() const { return path_; }

 private:
  tamsel::testing::ScopedTempDir temp_;
  std::string path_;
};

const SampleModule& Sample() {
  static SampleModule sample;
  return sample;
}

constexpr messages::DWORD kFlags = messages::FORMAT_MESSAGE_FROM_HMODULE |
                                   messages::FORMAT_MESSAGE_ALLOCATE_BUFFER |
                                   messages::FORMAT_MESSAGE_ARGUMENT_ARRAY;

struct Inserts {
  const char* texts[3] = {"Tamsel", "SRV01", "The account has no access to the folder."};
  messages::DWORD_PTR values[3];
  messages::MessageArguments arguments{values, 3};
  Inserts() {
    for (int i = 0; i < 3; ++i) values[i] = reinterpret_cast<messages::DWORD_PTR>(texts[i]);
  }
};

void BM_FormatMessageFromLoadedModule(benchmark::State& state) {
  tamsel::platform::Win32Error error;
  messages::ModuleHandle module = messages::ModuleHandle::Load(Sample().Path(), error);
  Inserts inserts;
  std::uint32_t id = 1000;
  for (auto _ : state) {
    char* text = nullptr;
    auto length = messages::FormatMessageA(kFlags, module.Get(), id, 0x0400,
                                           reinterpret_cast<char*>(&text), 0, &inserts.arguments);
    benchmark::DoNotOptimize(length);
    messages::LocalFree(text);
    id = id == 1199 ? 1000 : id + 1;
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatMessageFromLoadedModule);

// What the collector does for each record: load the module, format, free it again.
void BM_LoadFormatFreePerRecord(benchmark::State& state) {
  Inserts inserts;
  for (auto _ : state) {
    messages::HMODULE module = messages::LoadLibraryExA(Sample().Path().c_str(), nullptr,
                                                        messages::DONT_RESOLVE_DLL_REFERENCES);
    char* text = nullptr;
    auto length = messages::FormatMessageA(kFlags, module, 1100, 0x0400,
                                           reinterpret_cast<char*>(&text), 0, &inserts.arguments);
    benchmark::DoNotOptimize(length);
    messages::LocalFree(text);
    messages::FreeLibrary(module);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_LoadFormatFreePerRecord);

void BM_FormatModuleMessageCpp(benchmark::State& state) {
  std::shared_ptr<const messages::MessageModule> module;
  messages::MessageModule::Load(Sample().Path(), module);
  const std::vector<std::string> inserts = {"Tamsel", "SRV01", "no access"};
  std::string text;
  for (auto _ : state) {
    messages::FormatModuleMessage(*module, 1042, 0x0400, inserts, text);
    benchmark::DoNotOptimize(text.data());
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FormatModuleMessageCpp);

}  // namespace

BENCHMARK_MAIN();

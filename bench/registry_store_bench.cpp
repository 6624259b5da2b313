// One window's save and restore against the real file store, as the program
// does them on unload and load.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/os.h"
#include "platform/regstore/regstore.h"

namespace {

constexpr os::HKEY kCurrentUser = 0x80000001;
constexpr const char* kKey = "Software\\Quillmoss\\Pixometer\\Window Position";

class StoreFolder {
public:
    StoreFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "pixo-bench-XXXXXX").string();
        m_path = mkdtemp(pattern.data()) ? pattern : std::string();
        regstore::UseFileStore(m_path + "/pixometer/registry.sqlite3");
    }
    ~StoreFolder() {
        regstore::UseMemoryStore();
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }

private:
    std::string m_path;
};

void Write(os::HKEY key, const char* name, const std::string& text) {
    os::RegSetValueExA(key, name, 0, 1, reinterpret_cast<const std::uint8_t*>(text.data()),
                       static_cast<os::DWORD>(text.size()));
}

void Save() {
    os::HKEY key = 0;
    if (os::RegCreateKeyA(kCurrentUser, kKey, &key) != 0) return;
    Write(key, "Left", "1785");
    Write(key, "Top", "-300");
    os::RegCloseKey(key);
}

void BM_SavePosition(benchmark::State& state) {
    StoreFolder folder;
    for (auto _ : state) Save();
}
BENCHMARK(BM_SavePosition);

void BM_RestorePosition(benchmark::State& state) {
    StoreFolder folder;
    Save();
    std::uint8_t buffer[255];
    for (auto _ : state) {
        os::HKEY key = 0;
        os::RegOpenKeyExA(kCurrentUser, kKey, 0, 0x20019, &key);
        for (const char* name : {"Left", "Top"}) {
            os::DWORD type = 1;
            os::DWORD size = sizeof buffer;
            benchmark::DoNotOptimize(os::RegQueryValueExA(key, name, nullptr, &type, buffer, &size));
        }
        os::RegCloseKey(key);
    }
}
BENCHMARK(BM_RestorePosition);

}  // namespace

BENCHMARK_MAIN();

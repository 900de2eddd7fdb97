// Runs the fuzz target over every file of the given folders (or files), without libFuzzer: the
// corpus replay of CI, built by any compiler. A failing input aborts with its name printed first.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

int main(int argc, char** argv) {
  namespace fs = std::filesystem;
  std::vector<fs::path> inputs;
  for (int index = 1; index < argc; ++index) {
    if (fs::is_directory(argv[index])) {
      for (const auto& entry : fs::directory_iterator(argv[index])) {
        if (entry.is_regular_file()) inputs.push_back(entry.path());
      }
    } else {
      inputs.emplace_back(argv[index]);
    }
  }
  if (inputs.empty()) {
    std::fprintf(stderr, "usage: %s <corpus folder or input>...\n", argv[0]);
    return 2;
  }
  std::sort(inputs.begin(), inputs.end());
  const auto start = std::chrono::steady_clock::now();
  for (const fs::path& input : inputs) {
    std::fprintf(stderr, "%s\n", input.c_str());
    std::ifstream in(input, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    LLVMFuzzerTestOneInput(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
  }
  const auto elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start);
  std::printf("%zu inputs replayed in %.1f s\n", inputs.size(), elapsed.count());
  return 0;
}

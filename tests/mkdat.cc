// mkdat: pack files into a DAT archive, each under its own base name.
// A helper for the demo, the fuzz corpus and the benchmarks:
//   mkdat OUT.DAT FILE...   the files in the order given
//   mkdat OUT.DAT DIR       every regular file in DIR, sorted by name

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/dat_builder.h"

int main(int argc, char* argv[]) {
  if (argc < 2) {
    std::fputs("usage: mkdat OUT.DAT FILE...\n", stderr);
    return 2;
  }
  std::vector<std::string> paths(argv + 2, argv + argc);
  std::error_code ec;
  if (paths.size() == 1 && std::filesystem::is_directory(paths[0], ec)) {
    std::string dir = paths[0];
    paths.clear();
    for (const auto& e : std::filesystem::directory_iterator(dir))
      if (e.is_regular_file()) paths.push_back(e.path().string());
    std::sort(paths.begin(), paths.end());
  }
  std::vector<TestEntry> entries;
  for (const std::string& path : paths) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "mkdat: cannot read %s\n", path.c_str());
      return 1;
    }
    entries.push_back({path.substr(path.find_last_of('/') + 1),
                       std::string(std::istreambuf_iterator<char>(in), {})});
  }
  std::string dat = MakeDat(entries);
  std::ofstream out(argv[1], std::ios::binary);
  out.write(dat.data(), static_cast<std::streamsize>(dat.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "mkdat: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}

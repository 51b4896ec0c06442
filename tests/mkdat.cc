// mkdat: pack files into a DAT archive, each under its own base name.
// A helper for the demo and the benchmarks: mkdat OUT.DAT FILE...

#include <cstdio>
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
  std::vector<TestEntry> entries;
  for (int i = 2; i < argc; ++i) {
    std::ifstream in(argv[i], std::ios::binary);
    if (!in) {
      std::fprintf(stderr, "mkdat: cannot read %s\n", argv[i]);
      return 1;
    }
    std::string path = argv[i];
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

#include "tests/hostile/HostileDatabase.h"

#include <fstream>
#include <iterator>

namespace ondrel::test {

writer::IspecLayout BuildHostileIspec(const std::filesystem::path& dir) {
  writer::IspecContent s;
  s.name = "ORD";
  s.definition.fields = {{"ORDNO", 1, "N", 6, 0},
                         {"CUSTOMER", 2, "A", 14, 0},
                         {"[LINK]", 3, "A", 4, 0},
                         {"AMOUNT", 4, "N", 7, 2}};
  static const char* customers[] = {"Hartley Ltd", "Okafor & Sons", "Lindqvist AB", "Moreau SA"};
  for (int i = 0; i < 300; ++i)
    s.records.push_back({{std::to_string(500000 + i), customers[i % 4], "L" + std::to_string(i),
                          std::to_string((i * 7919) % 1000000)},
                         i % 23 == 5});
  s.profiles = {{.name = "ORDNO", .keyFields = {{"ORDNO"}}, .maxLeafFill = 6, .maxInteriorFill = 6},
                {.name = "BYCUST", .keyFields = {{"CUSTOMER"}, {"ORDNO"}}, .entryTail = 8}};
  return writer::BuildIspec(dir, s);
}

std::map<std::string, std::uintmax_t> FileSizes(const std::filesystem::path& dir) {
  std::map<std::string, std::uintmax_t> sizes;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.is_regular_file()) sizes[e.path().string()] = e.file_size();
  return sizes;
}

std::map<std::string, FileState> Snapshot(const std::filesystem::path& dir) {
  std::map<std::string, FileState> files;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    if (!e.is_regular_file()) continue;
    std::ifstream in(e.path(), std::ios::binary);
    files[e.path().string()] = {
        std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>()),
        e.last_write_time()};
  }
  return files;
}

}  // namespace ondrel::test

// Helpers shared by the test programs: reading files and the expected-outcome
// tables of the conformance folders' READMEs.
#pragma once

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace omber::testing {

inline std::string conformancePath(const std::string& relative) {
  return std::string(OMBER_CONFORMANCE_DIR) + "/" + relative;
}

inline std::vector<std::uint8_t> readBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string readText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Regular files under `dir` (recursively) whose name ends with `suffix`, as
// paths relative to `dir`, sorted.
inline std::vector<std::string> filesEndingWith(const std::string& dir, const std::string& suffix) {
  std::vector<std::string> out;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (e.is_regular_file() && name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
      // Forward slashes on every system: the tables name files that way.
      out.push_back(std::filesystem::relative(e.path(), dir).generic_string());
    }
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The rows of every markdown table in a README whose first cell is a
// `file name`: the cells of each row with backticks and outer spaces removed.
inline std::vector<std::vector<std::string>> readmeFileRows(const std::string& readmePath) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(readText(readmePath));
  std::string line;
  while (std::getline(in, line)) {
    if (line.rfind("| `", 0) != 0) continue;
    std::vector<std::string> cells;
    std::size_t start = 1;
    for (std::size_t bar; (bar = line.find('|', start)) != std::string::npos; start = bar + 1) {
      std::string cell = line.substr(start, bar - start);
      cell.erase(std::remove(cell.begin(), cell.end(), '`'), cell.end());
      const auto first = cell.find_first_not_of(' ');
      const auto last = cell.find_last_not_of(' ');
      cells.push_back(first == std::string::npos ? "" : cell.substr(first, last - first + 1));
    }
    rows.push_back(cells);
  }
  return rows;
}

}  // namespace omber::testing

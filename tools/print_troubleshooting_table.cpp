// Writes the guide given as its argument with its troubleshooting table made afresh from the
// program's tables, to standard output (scripts/guide.sh puts it in place).
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>

#include "failure_guide.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: print_troubleshooting_table GUIDE.md\n";
    return 2;
  }
  std::ifstream file(argv[1], std::ios::binary);
  if (!file) {
    std::cerr << "cannot read " << argv[1] << "\n";
    return 1;
  }
  const std::string guide{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  std::cout << quillmark::WithTroubleshootingTable(guide, quillmark::TroubleshootingTable());
  return std::cout ? 0 : 1;
}

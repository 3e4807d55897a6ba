// Writes what the build can take from the tables instead of keeping it by hand: the MSI package's
// preset rows, their refusals and messages (core/settings_table.h), the languages of both
// installers, of the message table and of the administrative templates (the language table,
// language/interface_language.cpp). A program of the build machine: cmake/table_lists.cmake
// compiles it with the machine's own compiler and runs it when the build is configured.
//
// Usage: table_lists OUTPUT_DIR
// Writes into OUTPUT_DIR (a file only when its contents change, so that what depends on it is not
// rebuilt for nothing):
//   table_lists.cmake       the CMake lists (languages, message-table files, presets)
//   languages.txt           the language codes, one a line, for scripts and tests
//   pictures.txt            each language's locale and the name of its pictures, for
//                           scripts/make-pictures.sh ("zh_TW.UTF-8:traditional-chinese")
//   languages.nsh           the setup's languages and a macro run once per language
//   preset_refusals.wxi     the package's refusal of each preset (actions, messages)
//   preset_sequence.wxi     when those refusals run (included in both sequences)
//   presets.wxi             the preset rows (components writing the settings key)
//   policy_texts.wxi        the folder and component of each language's Ostinel.adml
//   feature_components.wxi  the feature's references to those components and the presets
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "installer/table_lists.h"

namespace {

bool WriteIfChanged(const std::string& path, const std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (in) {
    const std::string old((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (old == text) return true;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) std::fprintf(stderr, "table_lists: cannot write %s\n", path.c_str());
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: table_lists OUTPUT_DIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  bool written = true;
  for (const auto& [name, text] : TableListFiles()) written = WriteIfChanged(dir + name, text) && written;
  return written ? 0 : 1;
}

// What the build writes from the tables (core/settings_table.h, the language table): the package's
// preset rows and their refusals, and every list of languages. table_lists_main.cpp writes the
// files; installer/table_lists_test.cpp holds the refusals to what the settings dialog can make.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "language/interface_language.h"

// The package's preset of one stored value: its public property, the condition (MSI syntax, XML
// escaped) on which the install is refused, and the message that says why.
struct Preset {
  std::string Name;      // the stored value, STORED_VALUES' name
  std::string Property;  // the package's public property
  std::string Condition;
  std::string Message;
};

// One per stored value, in STORED_VALUES order.
std::vector<Preset> Presets();

// The languages in the installers' order: the language of every other locale first (the setup's
// first language is the one it falls back to), then the others by code.
std::vector<const InterfaceLanguage*> InstallerOrder();

// The component GUID of a language's Ostinel.adml in the package: the one earlier packages shipped,
// or, for a language they did not hold, one derived from its code.
std::string PolicyTextsGuid(std::string_view code);

// Each file's name and contents (table_lists_main.cpp lists them).
std::vector<std::pair<std::string, std::string>> TableListFiles();

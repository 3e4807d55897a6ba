// What the build writes from the tables (installer/table_lists.h); table_lists_main.cpp writes it
// into files.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "installer/table_lists.h"

#include "core/settings_table.h"

namespace {

const char* WordsOfBit(std::uint32_t bit) {
  for (const SetupBitWords& words : SETUP_BIT_WORDS) {
    if (words.Bit == bit) return words.Words;
  }
  return "";
}

std::string Narrow(const wchar_t* text) {
  std::string out;
  for (; *text; ++text) out += static_cast<char>(*text);  // the tables' names are ASCII
  return out;
}

std::string Upper(std::string text) {
  for (char& c : text) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return text;
}

// "zh-TW" -> "ZhTw": the language's part of an identifier in the package.
std::string IdentifierPart(std::string_view code) {
  std::string out;
  bool first = true;
  for (char c : code) {
    if (c == '-') {
      first = true;
      continue;
    }
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (first && c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    out += c;
    first = false;
  }
  return out;
}

// The component GUID of a language's Ostinel.adml: the one packages have shipped for the languages
// they held before the GUIDs were derived, else one derived from the language's code (the same in
// every build, different for every code).
constexpr std::array<std::pair<std::string_view, std::string_view>, 3> kShippedPolicyTexts = {{
    {"en-US", "9BC79D5E-2937-4BD9-9085-92BB8B2BDFBC"},
    {"zh-CN", "701E7518-0DF0-448F-BA54-C9A606FBAEA2"},
    {"zh-TW", "A86E804E-000A-4275-8B7C-64CCA5A6DBA2"},
}};

std::uint64_t Fnv1a(std::string_view text, std::uint64_t hash) {
  for (char c : text) hash = (hash ^ static_cast<unsigned char>(c)) * 0x100000001B3u;
  return hash;
}

}  // namespace

std::string PolicyTextsGuid(std::string_view code) {
  for (const auto& [shipped, guid] : kShippedPolicyTexts) {
    if (shipped == code) return std::string(guid);
  }
  const std::string name = std::string("Ostinel PolicyTexts ") + std::string(code);
  std::uint64_t high = Fnv1a(name, 0xCBF29CE484222325u);
  std::uint64_t low = Fnv1a(name, high ^ 0x9E3779B97F4A7C15u);
  high = (high & ~std::uint64_t{0xF000}) | 0x8000u;  // version 8: made by this program's own rule
  low = (low & 0x3FFFFFFFFFFFFFFFu) | 0x8000000000000000u;  // the RFC 4122 variant
  char text[40];
  std::snprintf(text, sizeof text, "%08X-%04X-%04X-%04X-%012llX", static_cast<unsigned>(high >> 32),
                static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFu));
  return text;
}

std::vector<const InterfaceLanguage*> InstallerOrder() {
  std::vector<const InterfaceLanguage*> order;
  for (const InterfaceLanguage& language : InterfaceLanguages()) order.push_back(&language);
  const InterfaceLanguage* fallback = &FallbackLanguage();
  std::stable_sort(order.begin(), order.end(), [fallback](const InterfaceLanguage* a, const InterfaceLanguage* b) {
    if ((a == fallback) != (b == fallback)) return a == fallback;
    return std::string_view(a->Code) < std::string_view(b->Code);
  });
  return order;
}

namespace {

// A word of bits is a stored value whose bits policy rows decide; its highest value the dialog can
// make has every switch and one bit of each method.
bool IsWordOfBits(StoredSetting setting) {
  for (const PolicyRow& row : POLICY_ROWS) {
    if (row.Setting == setting && row.Bits != 0) return true;
  }
  return false;
}

std::vector<std::uint32_t> BitsOf(std::uint32_t bits) {
  std::vector<std::uint32_t> out;
  for (std::uint32_t bit = 1; bit != 0 && bit <= bits; bit <<= 1) {
    if ((bits & bit) != 0) out.push_back(bit);
  }
  return out;
}

}  // namespace

std::vector<Preset> Presets() {
  std::vector<Preset> presets;
  for (std::size_t i = 0; i < STORED_VALUES.size(); ++i) {
    const StoredValue& value = STORED_VALUES[i];
    const StoredSetting setting = STORED_SETTINGS[i];
    Preset preset;
    preset.Name = Narrow(value.Name);
    preset.Property = Upper(preset.Name);
    const std::string& p = preset.Property;
    preset.Condition = p + " AND NOT (" + p + " &gt;= " + std::to_string(value.Lowest) + " AND " + p +
                       " &lt;= " + std::to_string(value.Highest);
    std::string use;
    std::uint32_t highestMade = value.Highest;
    if (IsWordOfBits(setting)) {
      std::vector<std::uint32_t> switches;
      std::vector<std::string> methods;
      highestMade = 0;
      for (const PolicyRow& row : POLICY_ROWS) {
        if (row.Setting != setting || row.Bits == 0) continue;
        const std::vector<std::uint32_t> bits = BitsOf(row.Bits);
        if (row.Kind == PolicyKind::Method) {
          std::string exclusive;
          std::string choices;
          for (std::uint32_t bit : bits) {
            exclusive += std::string(exclusive.empty() ? "" : " AND ") + p + " &gt;&lt; " + std::to_string(bit);
            choices += std::string(choices.empty() ? "" : " and ") + std::to_string(bit) + " (" + WordsOfBit(bit) + ")";
          }
          preset.Condition += " AND NOT (" + exclusive + ")";
          methods.push_back("at most one of " + choices);
          highestMade += bits.back();
        } else {
          switches.insert(switches.end(), bits.begin(), bits.end());
          highestMade += row.Bits;
        }
      }
      std::sort(switches.begin(), switches.end());
      std::string listed;
      for (std::uint32_t bit : switches) {
        listed += (listed.empty() ? "" : ", ") + std::to_string(bit) + " (" + WordsOfBit(bit) + ")";
      }
      for (const std::string& method : methods) listed += (listed.empty() ? "" : " and ") + method;
      use = "a decimal sum of " + listed;
    } else {
      use = std::string("a decimal number of ") + value.Unit;
    }
    preset.Condition += ")";
    preset.Message = p + "=[" + p + "] is not " + value.Thing + " the settings dialog can make: use " + use + ", " +
                     std::to_string(value.Lowest) + " to " + std::to_string(highestMade) + ".";
    if (!presets.empty()) preset.Message = "[PresetRefused] " + preset.Message;
    presets.push_back(preset);
  }
  return presets;
}

namespace {

// The first refusal's place in both sequences; one after the other from there.
constexpr int FIRST_REFUSAL_SEQUENCE = 26;

const char* const kNote = "Written by the build from the tables (installer/table_lists.cpp); do not edit.";

std::string WixInclude(const std::string& body) {
  return std::string("<?xml version=\"1.0\" encoding=\"utf-8\"?>\n<!-- ") + kNote + " -->\n<Include>\n" + body +
         "</Include>\n";
}

std::string TableListsCmake() {
  std::ostringstream out;
  out << "# " << kNote << "\n";
  out << "set(OSTINEL_LANGUAGES";
  for (const InterfaceLanguage* language : InstallerOrder()) out << " " << language->Code;
  out << ")\n";
  out << "set(OSTINEL_MESSAGE_FILES";
  for (const InterfaceLanguage* language : InstallerOrder()) {
    char name[16];
    std::snprintf(name, sizeof name, "MSG%05X.bin", static_cast<unsigned>(language->LangId));
    out << " " << name;
  }
  out << ")\n";
  out << "set(OSTINEL_PRESET_NAMES";
  for (const Preset& preset : Presets()) out << " " << preset.Name;
  out << ")\n";
  out << "set(OSTINEL_PRESET_PROPERTIES";
  for (const Preset& preset : Presets()) out << " " << preset.Property;
  out << ")\n";
  return out.str();
}

std::string LanguagesText() {
  std::string out;
  for (const InterfaceLanguage* language : InstallerOrder()) out += std::string(language->Code) + "\n";
  return out;
}

std::string PicturesText() {
  std::string out;
  for (const InterfaceLanguage* language : InstallerOrder()) {
    std::string locale = language->Code;
    std::replace(locale.begin(), locale.end(), '-', '_');
    std::string name = language->Name;
    for (char& c : name) c = c == ' ' ? '-' : (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    out += locale + ".UTF-8:" + name + "\n";
  }
  return out;
}

std::string LanguagesNsh() {
  std::string out = std::string("; ") + kNote + "\n!macro OstinelLanguages\n";
  for (const InterfaceLanguage* language : InstallerOrder()) {
    out += std::string("  !insertmacro MUI_LANGUAGE \"") + language->InstallerLanguage + "\"\n";
  }
  out += "!macroend\n; Inserts MACRO once for each language's code.\n!macro ForEachLanguage MACRO\n";
  for (const InterfaceLanguage* language : InstallerOrder()) {
    out += std::string("  !insertmacro ${MACRO} ") + language->Code + "\n";
  }
  return out + "!macroend\n";
}

std::string PresetRefusals() {
  std::string body;
  for (const Preset& preset : Presets()) {
    body += "    <CustomAction Id=\"Refuse" + preset.Name + "\" Property=\"PresetRefused\" Impersonate=\"yes\"\n" +
            "                  Value=\"" + preset.Message + "\"/>\n";
  }
  return WixInclude(body);
}

std::string PresetSequence() {
  std::string body;
  int sequence = FIRST_REFUSAL_SEQUENCE;
  for (const Preset& preset : Presets()) {
    body += "      <Custom Action=\"Refuse" + preset.Name + "\" Sequence=\"" + std::to_string(sequence++) + "\">" +
            preset.Condition + "</Custom>\n";
  }
  return WixInclude(body);
}

std::string PresetComponents() {
  const std::string key = Narrow(SETTINGS_KEY);
  std::string body;
  for (const Preset& preset : Presets()) {
    body += "      <Component Id=\"Preset" + preset.Name + "\" Guid=\"\" Win64=\"no\">\n" +
            "        <RegistryValue Root=\"HKLM\" Key=\"" + key + "\" Name=\"" + preset.Name +
            "\" Type=\"integer\"\n" + "                       Value=\"[" + preset.Property +
            "]\" KeyPath=\"yes\"/>\n      </Component>\n";
  }
  return WixInclude(body);
}

std::string PolicyTexts() {
  std::string body;
  for (const InterfaceLanguage* language : InstallerOrder()) {
    const std::string code = language->Code;
    const std::string id = IdentifierPart(code);
    body += "            <Directory Id=\"Policy" + id + "Dir\" Name=\"" + code + "\">\n" +
            "              <Component Id=\"PolicyTexts" + id + "\" Guid=\"" + PolicyTextsGuid(code) +
            "\" Win64=\"yes\">\n" + "                <File Id=\"OstinelAdml" + id +
            "\" Name=\"Ostinel.adml\" Source=\"$(var.PolicyDir)/" + code + "/Ostinel.adml\" KeyPath=\"yes\"/>\n" +
            "              </Component>\n            </Directory>\n";
  }
  return WixInclude(body);
}

std::string FeatureComponents() {
  std::string body;
  for (const InterfaceLanguage* language : InstallerOrder()) {
    body += "      <ComponentRef Id=\"PolicyTexts" + IdentifierPart(language->Code) + "\"/>\n";
  }
  for (const Preset& preset : Presets()) body += "      <ComponentRef Id=\"Preset" + preset.Name + "\"/>\n";
  return WixInclude(body);
}

}  // namespace

std::vector<std::pair<std::string, std::string>> TableListFiles() {
  return {
      {"table_lists.cmake", TableListsCmake()},   {"languages.txt", LanguagesText()},
      {"pictures.txt", PicturesText()},           {"languages.nsh", LanguagesNsh()},
      {"preset_refusals.wxi", PresetRefusals()},  {"preset_sequence.wxi", PresetSequence()},
      {"presets.wxi", PresetComponents()},        {"policy_texts.wxi", PolicyTexts()},
      {"feature_components.wxi", FeatureComponents()},
  };
}

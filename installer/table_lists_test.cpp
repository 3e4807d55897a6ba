// What the build writes from the tables: the package refuses exactly the presets the settings dialog
// cannot make and says the range it can, and the installers' lists hold every language once.
#include "installer/table_lists.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "core/settings_table.h"
#include "settings_ui/settings_logic.h"

namespace {

// A Windows Installer condition (XML escaped, as the fragments hold it) evaluated with one property
// set to a number: enough of the syntax for the refusals (AND, OR, NOT, parentheses, >=, <=, <, >,
// =, <>, and >< for "has a bit in common").
class Condition {
 public:
  Condition(std::string text, std::string property, std::int64_t value)
      : property_(std::move(property)), value_(value) {
    text = std::regex_replace(text, std::regex("&gt;"), ">");
    text = std::regex_replace(text, std::regex("&lt;"), "<");
    text = std::regex_replace(text, std::regex("&amp;"), "&");
    static const std::regex token(R"(\s*([A-Za-z_][A-Za-z0-9_]*|[0-9]+|>=|<=|><|<>|[=<>()]))");
    for (std::sregex_iterator it(text.begin(), text.end(), token), end; it != end; ++it) tokens_.push_back((*it)[1]);
  }

  bool Evaluate() {
    const bool result = Or();
    EXPECT_EQ(next_, tokens_.size()) << "condition not read to its end";
    return result;
  }

 private:
  std::string Peek() const { return next_ < tokens_.size() ? tokens_[next_] : ""; }
  std::string Take() { return next_ < tokens_.size() ? tokens_[next_++] : ""; }
  bool Or() {
    bool result = And();
    while (Peek() == "OR") {
      Take();
      result = And() || result;
    }
    return result;
  }
  bool And() {
    bool result = Not();
    while (Peek() == "AND") {
      Take();
      result = Not() && result;
    }
    return result;
  }
  bool Not() {
    if (Peek() == "NOT") {
      Take();
      return !Not();
    }
    if (Peek() == "(") {
      Take();
      const bool result = Or();
      EXPECT_EQ(Take(), ")");
      return result;
    }
    const std::optional<std::int64_t> left = Value(Take());
    static const std::set<std::string> operators = {">=", "<=", "><", "<>", "=", "<", ">"};
    if (!operators.count(Peek())) return left.has_value();
    const std::string op = Take();
    const std::optional<std::int64_t> right = Value(Take());
    if (!left || !right) return false;
    if (op == ">=") return *left >= *right;
    if (op == "<=") return *left <= *right;
    if (op == "<") return *left < *right;
    if (op == ">") return *left > *right;
    if (op == "=") return *left == *right;
    if (op == "<>") return *left != *right;
    return (*left & *right) != 0;  // ><
  }
  std::optional<std::int64_t> Value(const std::string& token) {
    if (!token.empty() && std::isdigit(static_cast<unsigned char>(token[0]))) return std::stoll(token);
    EXPECT_EQ(token, property_) << "the condition names another property";
    return value_;
  }

  std::string property_;
  std::int64_t value_;
  std::vector<std::string> tokens_;
  std::size_t next_ = 0;
};

// What the dialog can store: the word its controls stand for (every bit it shows, one method), a
// number within the range its control offers (the table's).
bool DialogCanMake(std::size_t stored, std::int64_t value) {
  if (static_cast<StoredSetting>(stored) == StoredSetting::ButtonSetup) {
    const auto word = static_cast<std::uint32_t>(value);
    return SetupWordFromControls(ControlsForSetupWord(word)) == word;
  }
  return value >= std::int64_t{STORED_VALUES[stored].Lowest} && value <= std::int64_t{STORED_VALUES[stored].Highest};
}

std::set<std::string> Matches(const std::string& text, const std::string& pattern) {
  std::set<std::string> found;
  const std::regex re(pattern);
  for (std::sregex_iterator it(text.begin(), text.end(), re), end; it != end; ++it) found.insert((*it)[1]);
  return found;
}

}  // namespace

TEST(TableLists, PresetsRefuseExactlyWhatTheDialogCannotMake) {
  const std::vector<Preset> presets = Presets();
  ASSERT_EQ(presets.size(), STORED_VALUES.size());
  for (std::size_t i = 0; i < presets.size(); ++i) {
    const Preset& preset = presets[i];
    SCOPED_TRACE(preset.Name);
    std::int64_t lowestMade = -1;
    std::int64_t highestMade = -1;
    for (std::int64_t value = 0; value <= 2 * static_cast<std::int64_t>(STORED_VALUES[i].Highest) + 2; ++value) {
      const bool made = DialogCanMake(i, value);
      EXPECT_EQ(Condition(preset.Condition, preset.Property, value).Evaluate(), !made) << value;
      if (made && lowestMade < 0) lowestMade = value;
      if (made) highestMade = value;
    }
    // The message names the property and what the dialog can make, from the lowest to the highest;
    // after the first it follows the reasons already given.
    std::smatch range;
    ASSERT_TRUE(std::regex_search(preset.Message, range, std::regex(R"(, ([0-9]+) to ([0-9]+)\.$)")));
    EXPECT_EQ(std::stoll(range[1]), lowestMade);
    EXPECT_EQ(std::stoll(range[2]), highestMade);
    EXPECT_NE(preset.Message.find(preset.Property + "=[" + preset.Property + "] is not "), std::string::npos);
    EXPECT_NE(preset.Message.find(" the settings dialog can make: use a decimal "), std::string::npos);
    EXPECT_EQ(preset.Message.rfind("[PresetRefused] ", 0) == 0, i > 0);
  }
  // The word's message names each bit the dialog shows.
  for (std::uint32_t bit = 1; bit <= SETUP_DIALOG_BITS; bit <<= 1) {
    if ((SETUP_DIALOG_BITS & bit) == 0) continue;
    std::string named(" ");
    named.append(std::to_string(bit)).append(" (");
    EXPECT_NE(presets[0].Message.find(named), std::string::npos) << bit;
  }
}

TEST(TableLists, InstallersHoldEveryLanguageOnceFallbackFirst) {
  const std::vector<const InterfaceLanguage*> order = InstallerOrder();
  ASSERT_EQ(order.size(), InterfaceLanguages().size());
  EXPECT_EQ(order[0], &FallbackLanguage());  // the setup's first language is the one it falls back to
  for (std::size_t i = 2; i < order.size(); ++i) EXPECT_LT(std::string(order[i - 1]->Code), order[i]->Code);

  std::map<std::string, std::string> files;
  for (const auto& [name, text] : TableListFiles()) files[name] = text;
  std::set<std::string> codes;
  std::set<std::string> installerLanguages;
  for (const InterfaceLanguage& language : InterfaceLanguages()) {
    codes.insert(language.Code);
    installerLanguages.insert(language.InstallerLanguage);
  }
  EXPECT_EQ(Matches(files["languages.nsh"], R"re(MUI_LANGUAGE "(\w+)")re"), installerLanguages);
  EXPECT_EQ(Matches(files["languages.nsh"], R"re(\$\{MACRO\} (\S+))re"), codes);
  EXPECT_EQ(Matches(files["languages.txt"], R"re(([^\n]+)\n)re"), codes);
  // Every macro of the setup's file ends.
  EXPECT_EQ(Matches(files["languages.nsh"], R"re(!macro (\w+))re"),
            (std::set<std::string>{"OstinelLanguages", "ForEachLanguage"}));
  const std::string& nsh = files["languages.nsh"];
  std::size_t ends = 0;
  for (std::size_t at = 0; (at = nsh.find("!macroend\n", at)) != std::string::npos; ++at) ++ends;
  EXPECT_EQ(ends, 2u);
  // The pictures script's locales and picture names (as the README's picture table spells them).
  std::set<std::string> pictureLocales;
  for (const std::string& line : Matches(files["pictures.txt"], R"re(([^\n]*)\n)re")) {
    std::smatch parts;
    ASSERT_TRUE(std::regex_match(line, parts, std::regex(R"re(([A-Za-z0-9_]+)\.UTF-8:([a-z]+(-[a-z]+)*))re"))) << line;
    pictureLocales.insert(parts[1]);
  }
  EXPECT_EQ(pictureLocales.size(), codes.size());
  EXPECT_EQ(Matches(files["policy_texts.wxi"], R"re(\$\(var\.PolicyDir\)/([^/]+)/Ostinel\.adml)re"), codes);
  // Every component the fragments define is in the feature, and every refusal runs.
  std::set<std::string> components = Matches(files["policy_texts.wxi"], R"re(<Component Id="(\w+)")re");
  EXPECT_EQ(components.size(), codes.size());
  const std::set<std::string> presetComponents = Matches(files["presets.wxi"], R"re(<Component Id="(\w+)")re");
  EXPECT_EQ(presetComponents.size(), STORED_VALUES.size());
  components.insert(presetComponents.begin(), presetComponents.end());
  EXPECT_EQ(Matches(files["feature_components.wxi"], R"re(<ComponentRef Id="(\w+)")re"), components);
  const std::set<std::string> refusals = Matches(files["preset_refusals.wxi"], R"re(<CustomAction Id="(\w+)")re");
  EXPECT_EQ(refusals.size(), STORED_VALUES.size());
  EXPECT_EQ(Matches(files["preset_sequence.wxi"], R"re(<Custom Action="(\w+)")re"), refusals);
  // The CMake lists: one message-table file per language.
  EXPECT_EQ(Matches(files["table_lists.cmake"], R"re( (MSG[0-9A-F]{5}\.bin))re").size(), codes.size());
}

TEST(TableLists, EachLanguageHasAComponentOfItsOwn) {
  const std::regex guid("[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}");
  std::set<std::string> guids;
  for (const InterfaceLanguage& language : InterfaceLanguages()) guids.insert(PolicyTextsGuid(language.Code));
  // Codes no language has: a GUID derived from each, the same every time, none like another.
  for (const char* code : {"qx-QX", "qx-QY", "qy-QX"}) {
    const std::string made = PolicyTextsGuid(code);
    EXPECT_TRUE(std::regex_match(made, guid)) << made;
    EXPECT_EQ(made[14], '8') << made;                                   // version: made by its own rule
    EXPECT_NE(std::string("89AB").find(made[19]), std::string::npos) << made;  // the RFC 4122 variant
    EXPECT_EQ(PolicyTextsGuid(code), made);
    guids.insert(made);
  }
  for (const std::string& each : guids) EXPECT_TRUE(std::regex_match(each, guid)) << each;
  // A derived GUID never changes: a language that shipped with it keeps its component in every
  // later package.
  EXPECT_EQ(PolicyTextsGuid("qx-QX"), "5AB747A3-A4E4-8968-B536-EE4D3C604CD0");
  EXPECT_EQ(guids.size(), InterfaceLanguages().size() + 3);
}

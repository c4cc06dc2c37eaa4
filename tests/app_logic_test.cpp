// The window's pure helpers: the strict integer conversion and the choice of language.
#include <gtest/gtest.h>

#include <map>

#include "app/conversion.h"
#include "texts/system_language.h"

namespace krt6 {
namespace {

TEST(StrToIntTest, AcceptsIntegers) {
  const std::pair<const char*, int> cases[] = {
      {"0", 0},
      {"8000", 8000},
      {"-5", -5},
      {"+7", 7},
      {"  12", 12},
      {"-0012", -12},
      {"2147483647", 2147483647},
      {"-2147483648", -2147483647 - 1},
  };
  for (const auto& [text, value] : cases)
    EXPECT_EQ(StrToInt(QString::fromLatin1(text)), value) << text;
}

TEST(StrToIntTest, RejectsWithTheOperatorsText) {
  for (const char* text : {"", " ", "abc", "1a", "12 ", "-", "+", "1.5", "2147483648",
                           "-2147483649", "99999999999999999999", "１２"}) {
    try {
      StrToInt(QString::fromUtf8(text));
      ADD_FAILURE() << "accepted '" << text << "'";
    } catch (const ConversionError& error) {
      EXPECT_EQ(std::string(error.what()),
                std::string("'") + text + "' is not a valid integer value");
    }
  }
}

TEST(StrToIntTest, PercentSignsInTheTextAreShownAsTyped) {
  try {
    StrToInt(QStringLiteral("%1%s"));
    ADD_FAILURE();
  } catch (const ConversionError& error) {
    EXPECT_STREQ(error.what(), "'%1%s' is not a valid integer value");
  }
}

TEST(SystemLanguageTest, JapaneseOnlyForJapanInJapanese) {
  const std::pair<const char*, int> cases[] = {
      {"ja_JP", 1},       {"ja_JP.UTF-8", 1},
      {"ja_JP.eucJP", 1}, {"ja_JP@calendar", 1},
      {"ja", 0},          {"ja_JPX", 0},
      {"en_US.UTF-8", 0}, {"zh_CN.UTF-8", 0},
      {"C", 0},           {"", 0},
      {"POSIX", 0},       {"en_JP", 0},
  };
  for (const auto& [name, language] : cases) {
    EXPECT_EQ(static_cast<int>(LanguageForLocale(name)), language) << name;
  }
}

TEST(SystemLanguageTest, LocaleNameComesFromTheFirstSetVariable) {
  std::map<std::string, const char*> env;
  auto getenv_fn = [&env](const char* name) -> const char* {
    auto it = env.find(name);
    return it == env.end() ? nullptr : it->second;
  };
  EXPECT_EQ(SystemLocaleName(getenv_fn), "");
  env["LANG"] = "ja_JP.UTF-8";
  EXPECT_EQ(SystemLocaleName(getenv_fn), "ja_JP.UTF-8");
  env["LC_MESSAGES"] = "en_US.UTF-8";
  EXPECT_EQ(SystemLocaleName(getenv_fn), "en_US.UTF-8");
  env["LC_ALL"] = "";  // set but empty does not count
  EXPECT_EQ(SystemLocaleName(getenv_fn), "en_US.UTF-8");
  env["LC_ALL"] = "ja_JP";
  EXPECT_EQ(SystemLocaleName(getenv_fn), "ja_JP");
}

}  // namespace
}  // namespace krt6

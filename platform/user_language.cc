#include "platform/user_language.h"

#include <optional>

#include "host/host_env.h"
#include "platform/windows_version.h"

namespace brimwell {
namespace {

struct LocaleLanguage {
  std::string_view language;   // ISO 639 code
  std::string_view territory;  // ISO 3166 code, "" for the language's default
  std::uint16_t lang_id;
};

// Languages with territories that Windows tells apart come with the
// territory first; the entry without one is the default.
constexpr LocaleLanguage kLocales[] = {
    {"ar", "", 0x0401}, {"bg", "", 0x0402}, {"ca", "", 0x0403}, {"zh", "TW", 0x0404}, {"zh", "HK", 0x0C04},
    {"zh", "SG", 0x1004}, {"zh", "", 0x0804}, {"cs", "", 0x0405}, {"da", "", 0x0406}, {"de", "AT", 0x0C07},
    {"de", "CH", 0x0807}, {"de", "", 0x0407}, {"el", "", 0x0408}, {"en", "GB", 0x0809}, {"en", "AU", 0x0C09},
    {"en", "CA", 0x1009}, {"en", "IE", 0x1809}, {"en", "", 0x0409}, {"es", "MX", 0x080A}, {"es", "", 0x0C0A},
    {"fi", "", 0x040B}, {"fr", "BE", 0x080C}, {"fr", "CA", 0x0C0C}, {"fr", "CH", 0x100C}, {"fr", "", 0x040C},
    {"he", "", 0x040D}, {"iw", "", 0x040D}, {"hu", "", 0x040E}, {"is", "", 0x040F}, {"it", "CH", 0x0810},
    {"it", "", 0x0410}, {"ja", "", 0x0411}, {"ko", "", 0x0412}, {"nl", "BE", 0x0813}, {"nl", "", 0x0413},
    {"nb", "", 0x0414}, {"no", "", 0x0414}, {"nn", "", 0x0814}, {"pl", "", 0x0415}, {"pt", "BR", 0x0416},
    {"pt", "", 0x0816}, {"ro", "", 0x0418}, {"ru", "", 0x0419}, {"hr", "", 0x041A}, {"sr", "", 0x0C1A},
    {"sk", "", 0x041B}, {"sq", "", 0x041C}, {"sv", "", 0x041D}, {"th", "", 0x041E}, {"tr", "", 0x041F},
    {"ur", "", 0x0420}, {"id", "", 0x0421}, {"uk", "", 0x0422}, {"be", "", 0x0423}, {"sl", "", 0x0424},
    {"et", "", 0x0425}, {"lv", "", 0x0426}, {"lt", "", 0x0427}, {"fa", "", 0x0429}, {"vi", "", 0x042A},
    {"eu", "", 0x042D}, {"af", "", 0x0436}, {"hi", "", 0x0439}, {"ms", "", 0x043E},
};

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

}  // namespace

std::uint16_t LangIdOfLocale(std::string_view locale) {
  locale = locale.substr(0, locale.find_first_of(".@"));
  const std::size_t underscore = locale.find('_');
  std::string language;
  for (char c : locale.substr(0, underscore)) language += Lower(c);
  std::string territory;
  if (underscore != std::string_view::npos) {
    for (char c : locale.substr(underscore + 1)) territory += Upper(c);
  }
  for (const LocaleLanguage& l : kLocales) {
    if (l.language == language && (l.territory.empty() || l.territory == territory)) return l.lang_id;
  }
  return kDefaultLangId;
}

HostLocale HostMessagesLocale() {
  for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    std::optional<std::string> value = host::Env::Default().GetEnv(variable);
    if (value && !value->empty()) return {*value, variable};
  }
  return {};
}

}  // namespace brimwell

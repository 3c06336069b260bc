// The user default language of the emulated Windows. A prefix may state it
// (UserDefaultLanguage in brimwell.ini, set by `brimwell prefix set
// --language`); when it does not, it follows the host's locale for messages:
// the first of LC_ALL, LC_MESSAGES and LANG that is set and not empty,
// mapped to a Windows language identifier by its language and territory
// ("de_DE.UTF-8" is 0x0407, "pt_BR" 0x0416). "C", "POSIX", an unset locale
// and a language Windows has no identifier for mean US English, 0x0409.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace brimwell {

// The Windows language identifier of a POSIX locale name
// ("language[_territory][.codeset][@modifier]").
std::uint16_t LangIdOfLocale(std::string_view locale);
// The host locale name that decides the language of messages ("" when
// none is set), and the variable it came from ("LANG").
struct HostLocale {
  std::string name;
  std::string variable;
};
HostLocale HostMessagesLocale();

}  // namespace brimwell

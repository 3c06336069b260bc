// Expansion of the variables that texts of the project may hold: the meta
// variables of shell links (%a the link's own directory, %p the program
// files directory, ...) and the %P of registry and INI entries.
#pragma once

#include <string>
#include <string_view>

namespace brimwell {

class EngineContext;
class TInstallContainer;

inline constexpr char kCannotExpandLinkDir[] = "Cannot expand the %a meta variable because the component is Nil";
inline constexpr char kCannotExpandContainerDirNil[] =
    "Cannot expand the %c meta variable because the component is Nil";
inline constexpr char kCannotExpandContainerDirNoContainer[] =
    "Cannot expand the %c meta variable because the Container property is Nil";
inline constexpr char kCannotExpandInstallDir[] =
    "Cannot expand the %i meta variable because there is no TInstall component";

// Scans `text` once, left to right; "%" and the next character (any case)
// become the variable's value without trailing backslash:
//   %a GetDestPath of `link`          %b Programs folder
//   %c GetDestPath of link's container %d desktop folder
//   %f common files directory         %i GetDestPath of the TInstall
//   %m Start Menu folder              %p program files directory
//   %s system directory               %w Windows directory
//   %% a single "%"
// Any other character after "%" is dropped with the "%", as is a final "%".
// Throws EAI for %a without a link, EAICannotExpandContainerDirMV for %c
// without a link or container, EAICannotExpandInstallDirMV for %i without a
// driver.
std::string ExpandMetaVariables(const EngineContext& ctx, std::string_view text, TInstallContainer* link);

// "%%" yields "%", "%P" or "%p" yields `path`, "%" and any other character
// yields that character, a final "%" is dropped.
std::string ExpandPathVariable(std::string_view text, std::string_view path);

}  // namespace brimwell

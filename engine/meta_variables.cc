#include "engine/meta_variables.h"

#include <cctype>

#include "engine/api_routines.h"
#include "engine/engine_context.h"
#include "engine/engine_errors.h"
#include "engine/install_object.h"
#include "engine/shell_folders.h"

namespace brimwell {
namespace {

std::string MetaValue(const EngineContext& ctx, char variable, TInstallContainer* link) {
  switch (variable) {
    case 'a':
      if (link == nullptr) Raise<EAI>(&ctx, kCannotExpandLinkDir);
      return link->GetDestPath();
    case 'b': return GetShellFolder(ctx, ShellFolder::kPrograms);
    case 'c': {
      if (link == nullptr) Raise<EAICannotExpandContainerDirMV>(&ctx, kCannotExpandContainerDirNil);
      auto* object = dynamic_cast<TInstallObject*>(link);
      if (object == nullptr || object->Container() == nullptr) {
        Raise<EAICannotExpandContainerDirMV>(&ctx, kCannotExpandContainerDirNoContainer);
      }
      return object->Container()->GetDestPath();
    }
    case 'd': return GetShellFolder(ctx, ShellFolder::kDesktop);
    case 'f': return GetShellFolder(ctx, ShellFolder::kCommonFiles);
    case 'i':
      if (ctx.DriverView() == nullptr) Raise<EAICannotExpandInstallDirMV>(&ctx, kCannotExpandInstallDir);
      return ctx.DriverView()->DriverDestPath();
    case 'm': return GetShellFolder(ctx, ShellFolder::kStartMenu);
    case 'p': return GetShellFolder(ctx, ShellFolder::kProgramFiles);
    case 's': return GetShellFolder(ctx, ShellFolder::kSystem);
    case 'w': return GetShellFolder(ctx, ShellFolder::kWindows);
    case '%': return "%";
    default: return {};
  }
}

}  // namespace

std::string ExpandMetaVariables(const EngineContext& ctx, std::string_view text, TInstallContainer* link) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 1 == text.size()) break;  // a final "%" is dropped
    char variable = static_cast<char>(std::tolower(static_cast<unsigned char>(text[++i])));
    std::string value = MetaValue(ctx, variable, link);
    out += variable == '%' ? value : StripTrailingBackslash(value);
  }
  return out;
}

std::string ExpandPathVariable(std::string_view text, std::string_view path) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 1 == text.size()) break;
    char next = text[++i];
    if (next == 'P' || next == 'p') {
      out += path;
    } else {
      out += next;  // "%%" gives "%", "%x" gives "x"
    }
  }
  return out;
}

}  // namespace brimwell

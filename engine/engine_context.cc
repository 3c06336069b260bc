#include "engine/engine_context.h"

#include "engine/engine_errors.h"
#include "engine/net_access.h"
#include "engine/net_location_access.h"
#include "netloc/net_location_state.h"
#include "archive/brwl_compress.h"
#include "archive/version_resource.h"
#include "framework/bound_project.h"
#include "host/host_env.h"
#include "platform/machine.h"
#include "platform/paths.h"
#include "translate/translator.h"

namespace brimwell {

EngineContext::EngineContext(Application& app, Machine& machine, Options options)
    : app_(app),
      machine_(machine),
      arguments_(std::move(options.arguments)),
      executable_(options.executable.empty() ? std::filesystem::path(RunningExecutablePath()) : std::move(options.executable)),
      log_(options.log ? std::move(options.log) : std::make_unique<RunLog>()),
      versions_(std::make_unique<TVersionResource>(nullptr, machine)),
      main_archive_(std::make_unique<TBrwlCompress>(nullptr)) {
  ArchiveServices services;
  services.machine = &machine_;
  services.versions = versions_.get();
  services.application = &app_;
  services.translate = [this](std::string_view text) { return Translate(text); };
  main_archive_->SetServices(std::move(services));
  NetLocationServices net;
  net.machine = &machine_;
  net.application = &app_;
  net.translate = [this](std::string_view text) { return Translate(text); };
  net.log = [this](std::string_view line) { log_->Write("download", line); };
  net_locations_ = std::make_unique<NetLocationState>(std::move(net));
  net_access_ = MakeNetLocationAccess(*this);
}

EngineContext::~EngineContext() = default;

void EngineContext::CheckCancelRequest() const {
  const int signal_number = host::Env::Default().CaughtTerminationSignal();
  if (signal_number == 0) return;
  log_->Write("cancel", "signal " + std::to_string(signal_number));
  Raise<EAIUserAbort>(this, kInstallationAbortedByUser);
}

std::string EngineContext::ExecutablePath() const {
  return machine_.GetPaths().ToWindows(executable_);
}

std::string EngineContext::Translate(std::string_view text) const {
  if (!translator_.translate) return std::string(text);
  return translator_.translate(text);
}

void EngineContext::SetMainTranslator(TTranslator* translator) {
  main_translator_ = translator;
  if (translator == nullptr) {
    translator_ = TranslatorHook();
    return;
  }
  translator_.translate = [translator](std::string_view text) {
    return translator->TranslateText(blEnglish, text);
  };
  translator_.target_language = [translator] { return static_cast<int>(translator->TranslateIntoLanguage()); };
  translator_.set_target_language = [translator](int ordinal) {
    // A value that names no language keeps the translator's own.
    if (IsLanguageOrdinal(ordinal)) translator->SetTranslateIntoLanguage(static_cast<TBrwlLanguage>(ordinal));
  };
}

void EngineContext::SetNetAccess(std::unique_ptr<NetLocationAccess> access) {
  net_access_ = std::move(access);
}

std::string EngineText(const EngineContext* ctx, std::string_view format,
                       std::initializer_list<FormatArg> args) {
  std::string text = ctx != nullptr ? ctx->Translate(format) : std::string(format);
  if (args.size() == 0) return text;
  return Format(text, args);
}

}  // namespace brimwell

// ProjectForm: the root that owns a project's components, playing the part
// of the engine's main form (or of a data module, which has no window). It
// carries the EngineContext to every component it owns, is the translation
// site of its translators (the main translator lives in the context), and
// runs actions that must wait until the whole project has been loaded.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "framework/component.h"
#include "netloc/net_location_state.h"
#include "translate/translation_site.h"

namespace brimwell {

class EngineContext;
class MainForm;

class ProjectForm : public TComponent, public NetLocationHost, public TranslationSite {
  BRIMWELL_CLASS_INFO()

 public:
  enum class Kind { kForm, kDataModule };

  // `ctx` must outlive the form. `window` is the user-interface window of a
  // form (may be nullptr; a data module has none).
  explicit ProjectForm(EngineContext& ctx, Kind kind = Kind::kForm, MainForm* window = nullptr);
  // Frees the owned components while the form is still whole, so their
  // destructors can reach the context.
  ~ProjectForm() override;

  EngineContext& Context() const { return ctx_; }
  NetLocationState* NetLocations() const override;
  Kind GetKind() const { return kind_; }
  bool IsForm() const { return kind_ == Kind::kForm; }
  MainForm* Window() const { return window_; }
  void SetWindow(MainForm* window) { window_ = window; }

  // Runs `action` once the project being loaded has been loaded whole (at
  // this form's Loaded); at once when no load is in progress.
  void WhenLoaded(std::function<void()> action);
  void Loaded() override;

  // TranslationSite: the context's main translator and the prefix's user
  // default language.
  TTranslator* MainTranslator() const override;
  void SetMainTranslator(TTranslator* translator) override;
  std::uint16_t UserDefaultLangId() const override;

 private:
  EngineContext& ctx_;
  Kind kind_;
  MainForm* window_;
  std::vector<std::function<void()>> when_loaded_;
};

// The context of the form that (directly or further up) owns `component`;
// nullptr for a component outside any ProjectForm.
EngineContext* ContextOf(const TComponent* component);
// The ProjectForm owning `component` directly, or nullptr.
ProjectForm* FormOf(const TComponent* component);

}  // namespace brimwell

#include "engine/project_form.h"

#include "engine/engine_context.h"
#include "platform/machine.h"

namespace brimwell {

const ClassInfo& ProjectForm::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<ProjectForm>("ProjectForm", &TComponent::StaticClassInfo()).Build();
  return info;
}

ProjectForm::ProjectForm(EngineContext& ctx, Kind kind, MainForm* window)
    : TComponent(nullptr), ctx_(ctx), kind_(kind), window_(window) {}

NetLocationState* ProjectForm::NetLocations() const { return &ctx_.NetLocations(); }

ProjectForm::~ProjectForm() {
  // Everything goes: components see it (Destroying) and skip the work that
  // only matters when one of them goes alone, so freeing stays linear.
  SetState(ComponentState::kDestroying, true);
  while (ComponentCount() > 0) delete Components(ComponentCount() - 1);
}

void ProjectForm::WhenLoaded(std::function<void()> action) {
  if (Loading()) {
    when_loaded_.push_back(std::move(action));
  } else {
    action();
  }
}

void ProjectForm::Loaded() {
  TComponent::Loaded();
  // Actions may queue further actions; take the list first.
  std::vector<std::function<void()>> actions;
  actions.swap(when_loaded_);
  for (auto& action : actions) action();
}

TTranslator* ProjectForm::MainTranslator() const { return ctx_.MainTranslator(); }

void ProjectForm::SetMainTranslator(TTranslator* translator) { ctx_.SetMainTranslator(translator); }

std::uint16_t ProjectForm::UserDefaultLangId() const { return ctx_.GetMachine().GetUserDefaultLangId(); }

EngineContext* ContextOf(const TComponent* component) {
  for (const TComponent* c = component; c != nullptr; c = c->Owner()) {
    if (auto* form = dynamic_cast<const ProjectForm*>(c)) return &form->Context();
  }
  return nullptr;
}

ProjectForm* FormOf(const TComponent* component) {
  if (component == nullptr) return nullptr;
  return dynamic_cast<ProjectForm*>(component->Owner());
}

}  // namespace brimwell

#include "engine/custom_install_file.h"

#include "engine/component_calls.h"
#include "engine/engine_context.h"

namespace brimwell {

const ClassInfo& TCustomInstallFile::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TCustomInstallFile>("TCustomInstallFile", &TFileRelated::StaticClassInfo()).Build();
  return info;
}

TCustomInstallFile::TCustomInstallFile(TComponent* owner) : TFileRelated(owner) {
  SetNet(false);
  if (Context() != nullptr) Context()->Files().Add(this);
}

TCustomInstallFile::~TCustomInstallFile() {
  if (Context() != nullptr) {
    Context()->Files().Remove(this);
    Context()->DeferredRegistrations().Remove(this);
  }
}

int TCustomInstallFile::ComponentType() const { return kTypeInstallFile; }

std::string TCustomInstallFile::InstalledPath() { return GetDestPath() + "\\" + dest_name_; }

void TCustomInstallFile::ReadInfoFromArchive() {}

void TCustomInstallFile::RegisterDeferred() {}

}  // namespace brimwell

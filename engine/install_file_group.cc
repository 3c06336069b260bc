#include "engine/install_file_group.h"

#include "archive/brwl_compress.h"
#include "engine/engine_context.h"
#include "engine/install.h"
#include "engine/path_specifier.h"
#include "engine/standard_path_specifiers.h"

namespace brimwell {

const ClassInfo& TInstallFileGroup::StaticClassInfo() {
  using G = TInstallFileGroup;
  static const ClassInfo info =
      ClassBuilder<G>("TInstallFileGroup", &TFileContainer::StaticClassInfo())
          .Creatable()
          .Enum("AddToArchive", kLzhCommandInfo, &G::AddToArchive, &G::SetAddToArchive, lzcOverwrite)
          .Property("AllowChangeDir", &G::AllowChangeDir, &G::SetAllowChangeDir, true)
          .Property("AllowChoice", &G::AllowChoice, &G::SetAllowChoice, true)
          .Property("ArchiveFile", &G::ArchiveFile, &G::SetArchiveFile)
          .Reference("ArchiveFileType", "TCustomPathSpecifier", &G::ArchiveFileType, &G::SetArchiveFileType)
          .Reference("Container", "TInstallContainer", &G::Container, &G::SetContainer)
          .Property("Description", &G::Description, &G::SetDescription)
          .Property("DestDir", &G::DestDir, &G::SetDestDir)
          .Reference("DestDirType", "TCustomPathSpecifier", &G::DestDirType, &G::SetDestDirType)
          .Property("GroupName", &G::GroupName, &G::SetGroupName, kUnnamedGroup)
          .Property("Include", &G::Include, &G::SetInclude, true)
          .Set("InstallTypes", kInstallTypeInfo, &G::InstallTypes, &G::SetInstallTypes,
               TInstallTypeSet{TInstallType::itAlways})
          .Reference("NetLocation", "TCustomNetInstallLocation", &G::NetLocation, &G::SetNetLocation)
          .Property("Order", &G::Order, &G::SetOrder, -1)
          .Build();
  return info;
}

TInstallFileGroup::TInstallFileGroup(TComponent* owner) : TFileContainer(owner) {
  SetGroupName(kUnnamedGroup);
  // A group's files are kept in its container's archive unless the project
  // names another.
  if (Context() != nullptr) StoreArchiveFileType(StandardSpecifier<TpsContainerArchiveFile>(Context()));
  if (Designing() && !Loading() && Context() != nullptr && Context()->Driver() != nullptr) {
    SetContainer(Context()->Driver());
  }
}

void TInstallFileGroup::SetContainer(TInstallContainer* container) {
  TInstallContainer* before = Container();
  TFileContainer::SetContainer(container);
  if (Loading() || Container() == before || Container() == nullptr) return;
  if (GroupName().empty() || GroupName() == kUnnamedGroup) {
    SetGroupName(kGroupNamePrefix + std::to_string(Container()->FileContainerCount()));
  }
}

}  // namespace brimwell

#include "tests/engine/engine_fixture.h"

namespace brimwell::testing {

const ClassInfo& TTestFile::StaticClassInfo() {
  using F = TTestFile;
  static const ClassInfo info =
      ClassBuilder<F>("TTestFile", &TCustomInstallFile::StaticClassInfo())
          .Creatable()
          .Reference("ArchiveFileType", "TCustomPathSpecifier", &F::ArchiveFileType, &F::SetArchiveFileType)
          .Property("ArchiveFile", &F::ArchiveFile, &F::SetArchiveFile)
          .Reference("Container", "TInstallContainer", &F::Container, &F::SetContainer)
          .Property("DestDir", &F::DestDir, &F::SetDestDir)
          .Property("DestName", &F::DestName, &F::SetDestName)
          .Reference("DestDirType", "TCustomPathSpecifier", &F::DestDirType, &F::SetDestDirType)
          .Property("Include", &F::Include, &F::SetInclude, true)
          .Set("InstallTypes", kInstallTypeInfo, &F::InstallTypes, &F::SetInstallTypes,
               TInstallTypeSet{TInstallType::itAlways})
          .Property("Order", &F::Order, &F::SetOrder, -1)
          .Property("RunAfterInstall", &F::RunAfterInstall, &F::SetRunAfterInstall, false)
          .Property("Size", &F::Size, &F::SetSize, 0)
          .Build();
  return info;
}

const ClassInfo& TInstallBDE::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TInstallBDE>("TInstallBDE", &TCustomInstallFile::StaticClassInfo())
          .Creatable()
          .Reference("Container", "TInstallContainer", &TInstallBDE::Container, &TInstallBDE::SetContainer)
          .Build();
  return info;
}

const ClassInfo& TTestEntry::StaticClassInfo() {
  static const ClassInfo info =
      ClassBuilder<TTestEntry>("TTestEntry", &TInstallObject::StaticClassInfo())
          .Creatable()
          .Reference("Container", "TInstallContainer", &TTestEntry::Container, &TTestEntry::SetContainer)
          .Property("Order", &TTestEntry::Order, &TTestEntry::SetOrder, -1)
          .Build();
  return info;
}

void RegisterTestClasses(ClassRegistry& registry) {
  registry.Register<TTestFile>();
  registry.Register<TInstallBDE>();
  registry.Register<TTestEntry>();
}

}  // namespace brimwell::testing

// TInstallFileGroup: a named group of files and further groups that the
// user may include or leave out, with its own destination directory and
// archive.
#pragma once

#include "engine/file_container.h"

namespace brimwell {

class TInstallFileGroup : public TFileContainer {
  BRIMWELL_CLASS_INFO()

 public:
  static constexpr char kUnnamedGroup[] = "Unnamed File Group";

  static constexpr char kGroupNamePrefix[] = "Group #";

  // In the designer, a new group is placed in the project's driver at once.
  explicit TInstallFileGroup(TComponent* owner);

  // Outside loading, a group still called "Unnamed File Group" that gets a
  // container is named "Group #" and the number of file containers in it
  // (itself included).
  void SetContainer(TInstallContainer* container) override;
};

}  // namespace brimwell

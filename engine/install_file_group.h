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

  explicit TInstallFileGroup(TComponent* owner);
};

}  // namespace brimwell

// Fuzzes the project reader: nesting check, JSON parsing, the document's
// shape, every kind of property of the test classes, references and the
// freeing of a half-loaded tree. Whatever loads is saved and loaded again.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "framework/class_registry.h"
#include "framework/component.h"
#include "framework/exception.h"
#include "framework/project_file.h"
#include "tests/framework/test_classes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace brimwell;
  static ClassRegistry* registry = [] {
    auto* r = new ClassRegistry;
    testing::RegisterTestClasses(*r);
    return r;
  }();
  std::string_view text(reinterpret_cast<const char*>(data), size);
  testing::TRoot root;
  try {
    // No base directory: a picture path names nothing that can be read.
    LoadProject(text, *registry, root, "/nonexistent");
  } catch (const Exception&) {
    // A refused project leaves nothing behind.
    if (root.ComponentCount() != 0) std::abort();
    return 0;
  }
  std::string saved;
  try {
    saved = SaveProject(root);
  } catch (const EProjectError&) {
    return 0;  // a reference to a component without a name
  }
  testing::TRoot again;
  try {
    LoadProject(saved, *registry, again, "/nonexistent");
  } catch (const Exception&) {
    // Loaded handlers may refuse what the first load let pass; the saved
    // text itself must always be a well-formed project.
  }
  return 0;
}

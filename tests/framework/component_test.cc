#include "framework/component.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "framework/class_registry.h"
#include "framework/exception.h"
#include "tests/framework/test_classes.h"

namespace brimwell {
namespace {

using testing::TRoot;
using testing::TTarget;
using testing::TWidget;

// Records the order in which components die.
class TRecorder : public TComponent {
  BRIMWELL_CLASS_INFO()
 public:
  TRecorder(TComponent* owner, std::vector<std::string>* log) : TComponent(owner), log_(log) {}
  ~TRecorder() override { log_->push_back(Name()); }

 private:
  std::vector<std::string>* log_;
};

const ClassInfo& TRecorder::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TRecorder>("TRecorder", &TComponent::StaticClassInfo()).Build();
  return info;
}

TEST(ComponentTest, OwnerFreesItsComponentsLastFirst) {
  std::vector<std::string> log;
  {
    TRoot root;
    auto* a = Create<TRecorder>(&root, &log);
    a->SetName("A");
    Create<TRecorder>(&root, &log)->SetName("B");
    Create<TRecorder>(a, &log)->SetName("A1");  // grandchild
    EXPECT_EQ(root.ComponentCount(), 2);
  }
  // A component finishes its own teardown before its owned components go.
  EXPECT_EQ(log, (std::vector<std::string>{"B", "A", "A1"}));
}

TEST(ComponentTest, FreeingEarlyLeavesTheOwner) {
  std::vector<std::string> log;
  TRoot root;
  auto* a = Create<TRecorder>(&root, &log);
  a->SetName("A");
  Create<TRecorder>(&root, &log)->SetName("B");
  delete a;
  ASSERT_EQ(root.ComponentCount(), 1);
  EXPECT_EQ(root.Components(0)->Name(), "B");
  EXPECT_EQ(root.FindComponent("a"), nullptr);
  EXPECT_THROW(root.Components(1), EComponentError);
}

TEST(ComponentTest, NamesAreIdentifiersUniqueWithoutCase) {
  TRoot root;
  auto* a = Create<TTarget>(&root);
  auto* b = Create<TTarget>(&root);
  a->SetName("Readme");
  try {
    b->SetName("README");
    FAIL() << "duplicate accepted";
  } catch (const EComponentError& e) {
    EXPECT_STREQ(e.what(), "A component named README already exists");
  }
  for (const char* bad : {"1abc", "a b", "a-b", "ä"}) {
    EXPECT_THROW(b->SetName(bad), EComponentError) << bad;
  }
  b->SetName("_ok2");
  a->SetName("readme");  // renaming itself in another case is fine
  EXPECT_EQ(root.FindComponent("README"), a);
  // Components of different owners may share a name.
  TRoot other;
  EXPECT_NO_THROW(Create<TTarget>(&other)->SetName("Readme"));
}

TEST(ComponentTest, ReferenceClearedWhenTargetIsFreed) {
  TRoot root;
  auto* w = Create<TWidget>(&root);
  auto* t = Create<TTarget>(&root);
  w->SetTarget(t);
  delete t;
  EXPECT_EQ(w->Target(), nullptr);
}

TEST(ComponentTest, ReferenceAcrossOwnersClearedAndForgotten) {
  TRoot root_a;
  auto* w = Create<TWidget>(&root_a);
  {
    TRoot root_b;
    auto* t = Create<TTarget>(&root_b);
    w->SetTarget(t);
  }  // root_b and its target die first
  EXPECT_EQ(w->Target(), nullptr);

  // The other way round: the referrer dies first and the target must not
  // notify a freed component later.
  TRoot root_c;
  auto* t = Create<TTarget>(&root_c);
  {
    TRoot root_d;
    Create<TWidget>(&root_d)->SetTarget(t);
  }
  delete t;  // would touch freed memory if the link were kept (ASan/valgrind)
}

TEST(ComponentTest, StateFlagsReachOwnedComponents) {
  TRoot root;
  auto* w = Create<TWidget>(&root);
  root.SetState(ComponentState::kDesigning, true);
  EXPECT_TRUE(w->Designing());
  // A component created under a loading owner starts loading too.
  root.SetState(ComponentState::kLoading, true);
  auto* late = Create<TWidget>(&root);
  EXPECT_TRUE(late->Loading());
  late->Loaded();
  EXPECT_FALSE(late->Loading());
  EXPECT_TRUE(root.Loading());
}

TEST(ClassRegistryTest, CreatesByNameAndAnswersAncestry) {
  ClassRegistry registry;
  testing::RegisterTestClasses(registry);
  TRoot root;
  TComponent* c = registry.Create("twidget", &root);
  EXPECT_EQ(c->ClassName(), "TWidget");
  EXPECT_EQ(c->Owner(), &root);
  EXPECT_TRUE(registry.InheritsFrom("TSpecialTarget", "TTarget"));
  EXPECT_TRUE(registry.InheritsFrom("TSpecialTarget", "TComponent"));
  EXPECT_FALSE(registry.InheritsFrom("TTarget", "TSpecialTarget"));
  EXPECT_FALSE(registry.InheritsFrom("TNothing", "TComponent"));
  EXPECT_THROW(registry.Create("TNothing", &root), EComponentError);
  registry.Register<TRoot>();
  EXPECT_THROW(registry.Create("TRoot", &root), EComponentError);  // abstract
}

class TLiar : public TWidget {
  BRIMWELL_CLASS_INFO()
 public:
  explicit TLiar(TComponent* owner) : TWidget(owner) { SetCaption("Other"); }
};

const ClassInfo& TLiar::StaticClassInfo() {
  static const ClassInfo info = ClassBuilder<TLiar>("TLiar", &TWidget::StaticClassInfo()).Creatable().Build();
  return info;
}

TEST(ClassRegistryTest, DefaultsAgreeWithConstructors) {
  ClassRegistry registry;
  testing::RegisterTestClasses(registry);
  EXPECT_EQ(FindDefaultMismatches(registry), std::vector<std::string>{});

  // A class whose constructor disagrees with its declared default is found.
  registry.Register<TLiar>();
  EXPECT_EQ(FindDefaultMismatches(registry),
            std::vector<std::string>{"TLiar.Caption: default \"Widget\", constructor \"Other\""});
}

TEST(PersistentTest, AssignCopiesPublishedPropertiesDeeply) {
  TRoot root;
  auto* a = Create<TWidget>(&root);
  auto* b = Create<TWidget>(&root);
  auto* t = Create<TTarget>(&root);
  a->SetCaption("Copy me");
  a->SetTarget(t);
  a->Info().SetCompany("Acme");
  a->Entries().Add();
  dynamic_cast<testing::TLine&>(a->Entries().Items(0)).SetKey("K");
  b->Assign(*a);
  EXPECT_EQ(b->Caption(), "Copy me");
  EXPECT_EQ(b->Target(), t);
  EXPECT_EQ(b->Info().Company(), "Acme");
  ASSERT_EQ(b->Entries().Count(), 1);
  EXPECT_EQ(dynamic_cast<testing::TLine&>(b->Entries().Items(0)).Key(), "K");
  EXPECT_EQ(b->Name(), "");  // names are not copied
  TTarget other(nullptr);
  EXPECT_THROW(other.Assign(*a), EConvertError);
}

}  // namespace
}  // namespace brimwell

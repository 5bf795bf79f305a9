#include "vcl/classes.h"

#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "vcl/controls.h"
#include "vcl/stdctrls.h"

namespace resgraft::vcl {
namespace {

// A component that writes down what happens to it.
class Probe : public TComponent {
 public:
  Probe(TComponent* owner, std::string name, std::vector<std::string>* journal)
      : TComponent(owner), journal_(journal) {
    SetName(std::move(name));
  }
  ~Probe() override { journal_->push_back("destroy " + Name()); }

  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    // A component being inserted is still being constructed: it has no name yet.
    const std::string other = AComponent->Name().empty() ? "(new)" : AComponent->Name();
    journal_->push_back(Name() + (Operation == opInsert ? " insert " : " remove ") + other);
  }
  void Loaded() override {
    journal_->push_back(Name() + " loaded with value " + std::to_string(value_) +
                        (ComponentState().Contains(csLoading) ? " while loading" : ""));
    TComponent::Loaded();
  }

  void SetValue(int value) {
    value_ = value;
    journal_->push_back(Name() + " value " + std::to_string(value) +
                        (ComponentState().Contains(csLoading) ? " while loading" : ""));
  }

 private:
  std::vector<std::string>* journal_;
  int value_ = 0;
};

TEST(ComponentTest, OwnerDestroysWhatItOwnsLastInsertedFirst) {
  std::vector<std::string> journal;
  auto* owner = new Probe(nullptr, "owner", &journal);
  new Probe(owner, "a", &journal);
  new Probe(owner, "b", &journal);
  new Probe(owner, "c", &journal);
  journal.clear();

  delete owner;

  // Components that go with their owner are not announced to their siblings.
  EXPECT_EQ(journal, (std::vector<std::string>{"destroy owner", "destroy c", "destroy b", "destroy a"}));
}

TEST(ComponentTest, InsertAndRemovalAreAnnouncedToTheOwnersComponents) {
  std::vector<std::string> journal;
  Probe owner(nullptr, "owner", &journal);
  new Probe(&owner, "a", &journal);
  journal.clear();

  auto* b = new Probe(&owner, "b", &journal);
  delete b;

  // The owner passes the news on to what it owns before it acts on it itself.
  EXPECT_EQ(journal, (std::vector<std::string>{"a insert (new)", "owner insert (new)", "destroy b", "a remove b",
                                                "owner remove b"}));
}

// Free notification: either side of the relation hears of the other's removal,
// whoever owns them; and nothing is left pointing at a component that has gone.
TEST(ComponentTest, FreeNotificationOnRemoval) {
  struct Case {
    const char* name;
    bool asker_destroyed;  // which side goes: the one that asked, or the other
    bool same_owner;
    std::vector<std::string> told;
  };
  const Case kCases[] = {
      {"other side goes, different owners", false, false, {"asker remove other"}},
      {"asking side goes, different owners", true, false, {"other remove asker"}},
      // Under one owner the owner's announcement arrives as well.
      {"other side goes, same owner", false, true, {"asker remove other", "asker remove other"}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> journal;
    Probe owner1(nullptr, "owner1", &journal);
    Probe owner2(nullptr, "owner2", &journal);
    auto* asker = new Probe(&owner1, "asker", &journal);
    auto* other = new Probe(c.same_owner ? &owner1 : &owner2, "other", &journal);
    asker->FreeNotification(other);
    journal.clear();

    delete (c.asker_destroyed ? asker : other);

    std::vector<std::string> told;
    for (const std::string& line : journal) {
      if (line.find(" remove ") != std::string::npos && line.rfind("owner", 0) != 0) told.push_back(line);
    }
    EXPECT_EQ(told, c.told);
    // The survivor goes with its owner later; it must not reach the one gone.
  }
}

// What a reader of a form description does: components created by class name
// under csLoading, properties assigned in order, then Loaded on every one.
TEST(ComponentTest, LoadedComesAfterTheDescriptionsPropertiesAreSet) {
  std::vector<std::string> journal;
  TComponent form(nullptr);
  RegisterComponentClass<TComponent>("TProbeForTest");
  ASSERT_NE(FindComponentClass("TProbeForTest"), nullptr);
  EXPECT_EQ(FindComponentClass("TNoSuchClass"), nullptr);

  auto* first = new Probe(&form, "First", &journal);
  auto* second = new Probe(&form, "Second", &journal);
  TComponent* edit = FindComponentClass("TEdit")(&form);
  edit->SetName("Edit1");
  ASSERT_NE(dynamic_cast<TEdit*>(edit), nullptr);
  journal.clear();
  for (int i = 0; i < form.ComponentCount(); ++i) form.Components(i)->Loading();
  first->SetValue(1);
  second->SetValue(2);
  static_cast<TEdit*>(edit)->SetText("text");
  for (int i = 0; i < form.ComponentCount(); ++i) form.Components(i)->Loaded();

  EXPECT_EQ(journal, (std::vector<std::string>{"First value 1 while loading", "Second value 2 while loading",
                                                "First loaded with value 1 while loading",
                                                "Second loaded with value 2 while loading"}));
  EXPECT_FALSE(edit->ComponentState().Contains(csLoading));
  EXPECT_EQ(form.FindComponent("edit1"), edit);
  EXPECT_EQ(form.FindComponent("Second"), second);
  EXPECT_EQ(form.FindComponent("Third"), nullptr);
  journal.clear();
}

struct Base {
  virtual ~Base() = default;
  virtual void Act(int& value) { value = 1; }
  void Other(int& value) { value = 3; }
};
struct Derived : Base {
  void Act(int& value) override { value = 2; }
};

TEST(MethodTest, ComparesByObjectAndMethodAndCallsThroughTheObjectsClass) {
  Derived a;
  Derived b;
  using Method = TMethod<int&>;
  struct Case {
    const char* name;
    Method left;
    Method right;
    bool equal;
  };
  const Case kCases[] = {
      {"same object and method", Method(&a, &Base::Act), Method(&a, &Base::Act), true},
      {"named through the derived pointer", Method(&a, &Base::Act), Method(static_cast<Base*>(&a), &Base::Act),
       true},
      {"other object", Method(&a, &Base::Act), Method(&b, &Base::Act), false},
      {"other method", Method(&a, &Base::Act), Method(&a, &Base::Other), false},
      {"both unassigned", Method(), Method(nullptr), true},
      {"one unassigned", Method(&a, &Base::Act), Method(), false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.left == c.right, c.equal);
  }

  int value = 0;
  Method(static_cast<Base*>(&a), &Base::Act)(value);
  EXPECT_EQ(value, 2);
  EXPECT_THROW(Method()(value), Exception);
}

TEST(StringListTest, KeepsOrderAndRefusesIndicesOutOfRange) {
  TStringList list;
  EXPECT_EQ(list.Add("b"), 0);
  EXPECT_EQ(list.Add("a"), 1);
  list.Insert(0, "c");
  ASSERT_EQ(list.Count(), 3);
  EXPECT_EQ(list[0], "c");
  EXPECT_EQ(list.Strings(2), "a");
  EXPECT_EQ(list.IndexOf("b"), 1);
  try {
    (void)list[3];
    ADD_FAILURE() << "no exception";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message(), "List index out of bounds (3)");
  }
  EXPECT_THROW((void)list[-1], Exception);
  list.Clear();
  EXPECT_EQ(list.Count(), 0);
}

}  // namespace
}  // namespace resgraft::vcl

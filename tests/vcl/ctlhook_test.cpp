#include "components/ctlhook.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "vcl/forms.h"
#include "vcl/stdctrls.h"
#include "vcl_test_support.h"

namespace resgraft::components {
namespace {

using vcl::HWND;
using vcl::TEdit;
using vcl::TForm;
using vcl::TMessage;
using vcl::TWinControl;
using vcl::TWndMethod;
using vcl::testing::FlushRetiredWidgets;
using vcl::testing::MessageLog;

// A hook that writes down what it is told and what it sees.
class ProbeHook : public TControlHook {
 public:
  explicit ProbeHook(vcl::TComponent* owner, std::vector<std::string>* chain = nullptr, std::string name = {})
      : TControlHook(owner), chain_(chain), name_(std::move(name)) {}

  TWndMethod HookProcMethod() { return TWndMethod(static_cast<TControlHook*>(this), &TControlHook::HookProc); }

  std::vector<uint8_t> changes;
  std::vector<std::pair<uint32_t, HWND>> seen;  // message, HookedHandle when it came

 protected:
  void HandleChanged(uint8_t Change) override {
    changes.push_back(Change);
    TControlHook::HandleChanged(Change);
  }
  void HookedWndProc(TMessage& Message) override {
    seen.emplace_back(Message.Msg, HookedHandle());
    if (chain_ != nullptr && Message.Msg == vcl::WM_APP) chain_->push_back(name_);
    TControlHook::HookedWndProc(Message);
  }

 private:
  std::vector<std::string>* chain_;
  std::string name_;
};

// A form with one edit box whose own window procedure is watched.
struct Scene {
  Scene() : form(std::make_unique<TForm>(nullptr)) {
    form->SetBounds(0, 0, 377, 138);
    edit = new TEdit(form.get());
    edit->SetParent(form.get());
    edit->SetBounds(8, 16, 305, 20);
    log = std::make_unique<MessageLog>(*edit);
    own_procedure = log->Method();
  }
  ~Scene() {
    form.reset();
    FlushRetiredWidgets();
  }

  std::unique_ptr<TForm> form;
  TEdit* edit;
  std::unique_ptr<MessageLog> log;
  TWndMethod own_procedure;  // what the edit box's WindowProc held before any hook
};

std::optional<std::string> Raised(const std::function<void()>& action) {
  try {
    action();
  } catch (const vcl::Exception& e) {
    return e.Message();
  }
  return std::nullopt;
}

TEST(ControlHookTest, StateTable) {
  enum class Event { kAssign, kUnhook, kWindowDestroyed, kCreateMessage, kCreateThenMessage, kControlDeleted };
  enum class Handle { kZero, kLive, kBeingCreated };
  struct Case {
    const char* name;
    THookTarget target;
    bool with_control;
    Event event;
    bool hooked;
    Handle handle;
    std::vector<uint8_t> changes;
    bool procedure_is_hook;  // the edit box's WindowProc is the hook's
    std::optional<std::string> raised;
  };
  const Case kCases[] = {
      {"hooking a control", htControl, true, Event::kAssign, true, Handle::kLive, {}, true, {}},
      {"no control, htControl: nothing, silently", htControl, false, Event::kAssign, false, Handle::kZero, {},
       false, {}},
      {"no form to find, htForm", htForm, false, Event::kAssign, false, Handle::kZero, {}, false,
       "フック先を特定できません。"},
      {"unhooking puts the procedure back", htControl, true, Event::kUnhook, false, Handle::kZero, {}, false, {}},
      {"window destroyed", htControl, true, Event::kWindowDestroyed, true, Handle::kZero, {1}, true, {}},
      {"WM_CREATE", htControl, true, Event::kCreateMessage, true, Handle::kBeingCreated, {}, true, {}},
      {"message after WM_CREATE", htControl, true, Event::kCreateThenMessage, true, Handle::kLive, {2}, true, {}},
      // Its window's WM_DESTROY and then its removal each say the window is gone.
      {"control removed", htControl, true, Event::kControlDeleted, false, Handle::kZero, {1, 1}, false, {}},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Scene scene;
    // Owned by nothing, so that no owner is a form.
    ProbeHook hook(nullptr);

    const std::optional<std::string> raised = Raised([&] {
      hook.SetTarget(c.target);
      hook.SetControl(c.with_control ? scene.edit : nullptr);
    });
    switch (c.event) {
      case Event::kAssign:
        break;
      case Event::kUnhook:
        hook.SetHooked(false);
        break;
      case Event::kWindowDestroyed:
        scene.edit->DestroyHandle();
        break;
      case Event::kCreateMessage:
        scene.edit->Perform(vcl::WM_CREATE, 0, 0);
        break;
      case Event::kCreateThenMessage:
        scene.edit->Perform(vcl::WM_CREATE, 0, 0);
        scene.edit->Perform(vcl::WM_APP, 0, 0);
        break;
      case Event::kControlDeleted:
        delete scene.edit;
        scene.edit = nullptr;
        break;
    }

    EXPECT_EQ(raised, c.raised);
    EXPECT_EQ(hook.HookedControl(), c.hooked ? scene.edit : nullptr);
    switch (c.handle) {
      case Handle::kZero:
        EXPECT_EQ(hook.HookedHandle(), 0u);
        break;
      case Handle::kLive:
        ASSERT_TRUE(scene.edit->HandleAllocated());
        EXPECT_EQ(hook.HookedHandle(), scene.edit->Handle());
        break;
      case Handle::kBeingCreated:
        EXPECT_EQ(hook.HookedHandle(), kHandleBeingCreated);
        break;
    }
    EXPECT_EQ(hook.changes, c.changes);
    if (scene.edit != nullptr) {
      EXPECT_EQ(scene.edit->WindowProc() == hook.HookProcMethod(), c.procedure_is_hook);
      if (!c.procedure_is_hook) {
        EXPECT_EQ(scene.edit->WindowProc(), scene.own_procedure);
      }
    }
    if (c.hooked) {
      EXPECT_EQ(hook.SavedWndProc(), scene.own_procedure);
    }
  }
}

TEST(ControlHookTest, FollowsTheHandleWhenTheWindowIsDestroyedAndCreatedAnew) {
  Scene scene;
  ProbeHook hook(scene.form.get());
  hook.SetControl(scene.edit);
  const HWND old_handle = hook.HookedHandle();
  scene.log->messages.clear();
  hook.seen.clear();

  scene.edit->RecreateWnd();

  const HWND new_handle = scene.edit->Handle();
  EXPECT_NE(new_handle, old_handle);
  EXPECT_EQ(hook.HookedHandle(), new_handle);
  EXPECT_EQ(scene.edit->WindowProc(), hook.HookProcMethod()) << "the hook stays across the new window";
  // 0 at WM_DESTROY, -1 at WM_CREATE, the new handle at the next message.
  ASSERT_GE(hook.seen.size(), 3u);
  EXPECT_EQ(hook.seen[0], std::make_pair(vcl::WM_DESTROY, HWND{0}));
  EXPECT_EQ(hook.seen[1], std::make_pair(vcl::WM_CREATE, kHandleBeingCreated));
  EXPECT_EQ(hook.seen[2], std::make_pair(vcl::WM_SIZE, new_handle));
  EXPECT_EQ(hook.changes, (std::vector<uint8_t>{1, 2}));
  // Every one of them still reached the control's own procedure.
  const std::vector<uint32_t> own = scene.log->ClassicNumbers();
  ASSERT_GE(own.size(), 3u);
  EXPECT_EQ(std::vector<uint32_t>(own.begin(), own.begin() + 3),
            (std::vector<uint32_t>{vcl::WM_DESTROY, vcl::WM_CREATE, vcl::WM_SIZE}));
  EXPECT_EQ(scene.log->messages.size(), hook.seen.size()) << "nothing kept from the control";
}

TEST(ControlHookTest, ChainOfTwoHooksComesOffInReverseOrder) {
  Scene scene;
  std::vector<std::string> chain;
  ProbeHook first(scene.form.get(), &chain, "first");
  ProbeHook second(scene.form.get(), &chain, "second");
  first.SetControl(scene.edit);
  second.SetControl(scene.edit);
  EXPECT_EQ(second.SavedWndProc(), first.HookProcMethod());

  scene.edit->Perform(vcl::WM_APP, 0, 0);
  EXPECT_EQ(chain, (std::vector<std::string>{"second", "first"}));
  EXPECT_EQ(scene.log->Numbers().back(), vcl::WM_APP);

  second.SetHooked(false);
  EXPECT_EQ(scene.edit->WindowProc(), first.HookProcMethod());
  first.SetHooked(false);
  EXPECT_EQ(scene.edit->WindowProc(), scene.own_procedure);
}

TEST(ControlHookTest, AControlDestroyedBeforeItsHookIsForgotten) {
  Scene scene;
  auto hook = std::make_unique<ProbeHook>(nullptr);
  hook->SetControl(scene.edit);

  delete scene.edit;
  scene.edit = nullptr;

  EXPECT_EQ(hook->HookedControl(), nullptr);
  EXPECT_EQ(hook->HookedHandle(), 0u);
  EXPECT_EQ(hook->Control(), nullptr) << "hooking again must not reach the destroyed control";
  EXPECT_EQ(hook->changes, (std::vector<uint8_t>{1, 1}));
  hook->SetTarget(htControl);  // hooks again: nothing to hook
  EXPECT_EQ(hook->HookedControl(), nullptr);
  hook.reset();  // leaves the destroyed control alone
}

TEST(ControlHookTest, AHookDestroyedBeforeItsControlPutsTheProcedureBack) {
  Scene scene;
  auto hook = std::make_unique<ProbeHook>(scene.form.get());
  hook->SetControl(scene.edit);
  hook.reset();
  EXPECT_EQ(scene.edit->WindowProc(), scene.own_procedure);
  scene.edit->Perform(vcl::WM_APP, 0, 0);
  EXPECT_EQ(scene.log->Numbers().back(), vcl::WM_APP);
}

TEST(ControlHookTest, FormTargets) {
  struct Case {
    const char* name;
    enum { kNone, kOnForm, kOnPanel, kUnderLooseControl } control;
    enum { kForm, kNobody, kPlainComponent } hook_owner;
    bool control_owned_by_form;
    bool form_hooked;  // else the exception
  };
  const Case kCases[] = {
      {"no control, hook owned by the form", Case::kNone, Case::kForm, true, true},
      {"control on the form, owned elsewhere", Case::kOnForm, Case::kNobody, false, true},
      {"control on a panel on the form", Case::kOnPanel, Case::kNobody, true, true},
      {"no control, no form among the owners", Case::kNone, Case::kPlainComponent, true, false},
      {"parents do not end in a form, though the form owns both", Case::kUnderLooseControl, Case::kForm, true,
       false},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Scene scene;
    vcl::TComponent plain_owner(nullptr);
    auto* panel = new TWinControl(scene.form.get());
    panel->SetParent(scene.form.get());
    auto* loose = new TWinControl(scene.form.get());
    auto* control = new TEdit(c.control_owned_by_form ? static_cast<vcl::TComponent*>(scene.form.get()) : nullptr);
    std::unique_ptr<TEdit> unowned(c.control_owned_by_form ? nullptr : control);
    switch (c.control) {
      case Case::kNone:
      case Case::kOnForm:
        control->SetParent(scene.form.get());
        break;
      case Case::kOnPanel:
        control->SetParent(panel);
        break;
      case Case::kUnderLooseControl:
        control->SetParent(loose);
        break;
    }
    vcl::TComponent* owner = c.hook_owner == Case::kForm      ? static_cast<vcl::TComponent*>(scene.form.get())
                             : c.hook_owner == Case::kNobody ? nullptr
                                                             : &plain_owner;
    auto* hook = new ProbeHook(owner);
    std::unique_ptr<ProbeHook> unowned_hook(owner == nullptr ? hook : nullptr);

    const std::optional<std::string> raised = Raised([&] {
      if (c.control != Case::kNone) hook->SetControl(control);
      hook->SetTarget(htForm);
    });

    if (c.form_hooked) {
      EXPECT_EQ(raised, std::nullopt);
      EXPECT_EQ(hook->HookedControl(), scene.form.get());
      EXPECT_EQ(hook->HookedHandle(), scene.form->Handle());
      EXPECT_EQ(FindOwnerForm(c.control == Case::kNone ? static_cast<vcl::TComponent*>(hook) : control),
                scene.form.get());
    } else {
      EXPECT_EQ(raised, "フック先を特定できません。");
      EXPECT_EQ(hook->HookedControl(), nullptr);
    }
    unowned_hook.reset();
    if (owner == &plain_owner) delete hook;
    unowned.reset();
  }
}

TEST(ControlHookTest, AssigningTheSameControlHooksItAgain) {
  Scene scene;
  ProbeHook hook(scene.form.get());
  hook.SetControl(scene.edit);
  hook.SetControl(scene.edit);
  EXPECT_EQ(hook.SavedWndProc(), scene.own_procedure) << "not the hook's own procedure";
  EXPECT_EQ(scene.edit->WindowProc(), hook.HookProcMethod());
}

TEST(ControlHookTest, ReadFromADescription) {
  struct Case {
    const char* name;
    bool designing;
  };
  const Case kCases[] = {{"at run time", false}, {"at design time", true}};
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Scene scene;
    auto* hook = new ProbeHook(scene.form.get());
    if (c.designing) scene.form->SetDesigning(true);
    hook->Loading();
    hook->SetControl(scene.edit);
    hook->SetTarget(htControl);
    // Hooked as soon as the control is assigned, its window made for it.
    EXPECT_EQ(scene.edit->HandleAllocated(), !c.designing);
    hook->Loaded();

    EXPECT_FALSE(hook->ComponentState().Contains(vcl::csLoading));
    if (c.designing) {
      EXPECT_EQ(hook->HookedControl(), nullptr);
      EXPECT_EQ(scene.edit->WindowProc(), scene.own_procedure);
    } else {
      EXPECT_EQ(hook->HookedControl(), scene.edit);
      EXPECT_EQ(hook->SavedWndProc(), scene.own_procedure);
      EXPECT_EQ(scene.edit->WindowProc(), hook->HookProcMethod());
    }
  }
}

}  // namespace
}  // namespace resgraft::components

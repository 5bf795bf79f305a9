#include "vcl/classes.h"

#include <algorithm>
#include <map>

namespace resgraft::vcl {

int TStrings::Add(std::string value) {
  const int index = Count();
  Insert(index, std::move(value));
  return index;
}

int TStrings::IndexOf(std::string_view value) const {
  for (int i = 0; i < Count(); ++i) {
    if (Get(i) == value) return i;
  }
  return -1;
}

void TStringList::CheckIndex(int index, int limit) const {
  if (index < 0 || index > limit) {
    throw Exception("List index out of bounds (" + std::to_string(index) + ")");
  }
}

const std::string& TStringList::Get(int index) const {
  CheckIndex(index, Count() - 1);
  return items_[static_cast<size_t>(index)];
}

void TStringList::Insert(int index, std::string value) {
  CheckIndex(index, Count());
  items_.insert(items_.begin() + index, std::move(value));
}

void TStringList::Delete(int index) {
  CheckIndex(index, Count() - 1);
  items_.erase(items_.begin() + index);
}

TComponent::TComponent(TComponent* AOwner) {
  if (AOwner != nullptr) AOwner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell every partner of a free-notification relation first, while they can
  // still forget this component; each partner drops its own entry.
  while (!free_notifies_.empty()) {
    TComponent* partner = free_notifies_.back();
    free_notifies_.pop_back();
    std::erase(partner->free_notifies_, this);
    partner->Notification(this, opRemove);
  }
  DestroyComponents();
  if (owner_ != nullptr) owner_->RemoveComponent(this);
}

void TComponent::DestroyComponents() {
  while (!components_.empty()) {
    TComponent* component = components_.back();
    // Taken out of the list before it is destroyed, so that its removal is not
    // announced to its siblings a second time.
    components_.pop_back();
    component->owner_ = nullptr;
    delete component;
  }
}

void TComponent::InsertComponent(TComponent* component) {
  components_.push_back(component);
  component->owner_ = this;
  if (state_.Contains(csDesigning)) component->SetDesigning(true);
  Notification(component, opInsert);
}

void TComponent::RemoveComponent(TComponent* component) {
  Notification(component, opRemove);
  std::erase(components_, component);
  component->owner_ = nullptr;
}

void TComponent::SetDesigning(bool designing) {
  if (designing) {
    state_.Include(csDesigning);
  } else {
    state_.Exclude(csDesigning);
  }
  for (TComponent* component : components_) component->SetDesigning(designing);
}

TComponent* TComponent::Components(int index) const {
  if (index < 0 || index >= ComponentCount()) {
    throw Exception("List index out of bounds (" + std::to_string(index) + ")");
  }
  return components_[static_cast<size_t>(index)];
}

namespace {

bool SameText(std::string_view a, std::string_view b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* component : components_) {
    if (SameText(component->name_, name)) return component;
  }
  return nullptr;
}

void TComponent::FreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr || AComponent == this) return;
  if (std::find(free_notifies_.begin(), free_notifies_.end(), AComponent) == free_notifies_.end()) {
    free_notifies_.push_back(AComponent);
    AComponent->free_notifies_.push_back(this);
  }
}

void TComponent::RemoveFreeNotification(TComponent* AComponent) {
  if (AComponent == nullptr) return;
  std::erase(free_notifies_, AComponent);
  std::erase(AComponent->free_notifies_, this);
}

void TComponent::Loaded() { state_.Exclude(csLoading); }

void TComponent::Notification(TComponent* AComponent, TOperation Operation) {
  // A component may go away while the news travels; walk by index from the end
  // and re-check the bound, as owned components can destroy their siblings.
  for (size_t i = components_.size(); i > 0; --i) {
    if (i > components_.size()) continue;
    components_[i - 1]->Notification(AComponent, Operation);
  }
}

}  // namespace resgraft::vcl

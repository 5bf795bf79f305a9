#ifndef RESGRAFT_VCL_CLASSES_H_
#define RESGRAFT_VCL_CLASSES_H_

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <new>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace resgraft::vcl {

// The root of the class tree: what event senders are typed as.
class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

// A set of the values of a small enumeration (ordinals 0..31).
template <class E>
class TSet {
 public:
  constexpr TSet() = default;
  constexpr TSet(std::initializer_list<E> items) {
    for (E item : items) Include(item);
  }
  constexpr bool Contains(E item) const { return (bits_ & Bit(item)) != 0; }
  constexpr TSet& Include(E item) {
    bits_ |= Bit(item);
    return *this;
  }
  constexpr TSet& Exclude(E item) {
    bits_ &= ~Bit(item);
    return *this;
  }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const TSet&) const = default;

 private:
  static constexpr uint32_t Bit(E item) { return uint32_t{1} << static_cast<unsigned>(item); }
  uint32_t bits_ = 0;
};

// A method pointer: an object and one of its member functions, which can be
// stored, compared and called. Two method pointers are equal when they name the
// same object and the same member function (named through the same class).
template <class... Args>
class TMethod {
 public:
  constexpr TMethod() = default;
  constexpr TMethod(std::nullptr_t) {}

  // Binds `method` of class M to `object`, a pointer to M or to a class derived
  // from it. A virtual method is called through the object's class when invoked.
  template <class C, class M>
    requires std::is_base_of_v<M, C>
  TMethod(C* object, void (M::*method)(Args...))
      : object_(static_cast<M*>(object)), invoke_(&Invoke<M>), equal_(&Equal<M>) {
    static_assert(sizeof(method) <= sizeof(storage_));
    new (storage_) Member<M>(method);
  }

  // True when an object and a method are bound.
  explicit operator bool() const { return invoke_ != nullptr; }
  bool Assigned() const { return invoke_ != nullptr; }
  const void* Object() const { return object_; }

  // Calls the bound method; an unassigned method pointer raises Exception.
  void operator()(Args... args) const;

  bool operator==(const TMethod& other) const {
    if (invoke_ != other.invoke_ || object_ != other.object_) return false;
    return invoke_ == nullptr || equal_(storage_, other.storage_);
  }

 private:
  template <class M>
  using Member = void (M::*)(Args...);
  using Storage = unsigned char[2 * sizeof(void*)];

  template <class M>
  static Member<M> Load(const unsigned char* storage) {
    return *std::launder(reinterpret_cast<const Member<M>*>(storage));
  }
  template <class M>
  static void Invoke(void* object, const unsigned char* storage, Args... args) {
    (static_cast<M*>(object)->*Load<M>(storage))(std::forward<Args>(args)...);
  }
  template <class M>
  static bool Equal(const unsigned char* a, const unsigned char* b) {
    return Load<M>(a) == Load<M>(b);
  }

  void* object_ = nullptr;
  void (*invoke_)(void*, const unsigned char*, Args...) = nullptr;
  bool (*equal_)(const unsigned char*, const unsigned char*) = nullptr;
  alignas(void*) Storage storage_ = {};
};

// The general exception class: carries the message that the application's
// exception display shows.
class Exception : public std::exception {
 public:
  explicit Exception(std::string message) : message_(std::move(message)) {}
  const std::string& Message() const { return message_; }
  void SetMessage(std::string message) { message_ = std::move(message); }
  const char* what() const noexcept override { return message_.c_str(); }

 private:
  std::string message_;
};

template <class... Args>
void TMethod<Args...>::operator()(Args... args) const {
  if (invoke_ == nullptr) throw Exception("Method pointer called without an object");
  invoke_(object_, storage_, std::forward<Args>(args)...);
}

using TNotifyEvent = TMethod<TObject*>;

struct TPoint {
  int X = 0;
  int Y = 0;
  bool operator==(const TPoint&) const = default;
};

// The abstract list of strings. Strings are bytes (file-system paths and messages
// travel unchanged). Indices out of range raise Exception.
class TStrings : public TObject {
 public:
  virtual int Count() const = 0;
  virtual const std::string& Get(int index) const = 0;
  virtual void Insert(int index, std::string value) = 0;
  virtual void Delete(int index) = 0;
  virtual void Clear() = 0;

  // Appends `value`; returns its index.
  int Add(std::string value);
  const std::string& Strings(int index) const { return Get(index); }
  const std::string& operator[](int index) const { return Get(index); }
  // The index of the first string equal to `value`, or -1.
  int IndexOf(std::string_view value) const;
};

// An unsorted list of strings held in order of insertion.
class TStringList : public TStrings {
 public:
  int Count() const override { return static_cast<int>(items_.size()); }
  const std::string& Get(int index) const override;
  void Insert(int index, std::string value) override;
  void Delete(int index) override;
  void Clear() override { items_.clear(); }

 private:
  void CheckIndex(int index, int limit) const;
  std::vector<std::string> items_;
};

enum TComponentStateItem : uint8_t { csLoading, csDesigning, csDestroying };
using TComponentState = TSet<TComponentStateItem>;

enum TOperation : uint8_t { opInsert, opRemove };

// A component: owned by another component, which destroys it; named; told
// through Notification when components it knows of come and go.
//
// Destruction: the owner destroys what it owns, last inserted first. A component
// that goes away removes itself from its owner (which tells the owner's other
// components, opRemove) and tells every component that asked for free
// notification of it, or of which it asked (opRemove).
class TComponent : public TObject {
 public:
  // Inserts the new component into `AOwner` (when given), which tells the owner's
  // components (opInsert).
  explicit TComponent(TComponent* AOwner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  intptr_t Tag() const { return tag_; }
  void SetTag(intptr_t tag) { tag_ = tag; }

  TComponentState ComponentState() const { return state_; }
  // Marks the component as being read from a form description (csLoading);
  // Loaded clears the mark.
  void Loading() { state_.Include(csLoading); }
  // Marks the component, and the components it owns, as being designed.
  void SetDesigning(bool designing);

  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const;
  // The owned component named `name` (case-insensitive in ASCII letters), or null.
  TComponent* FindComponent(std::string_view name) const;

  // Asks that `AComponent` and this component tell each other of their removal:
  // when either goes away, the other's Notification is called with opRemove.
  void FreeNotification(TComponent* AComponent);
  void RemoveFreeNotification(TComponent* AComponent);

  // Called when this component has been read from a form description, after all
  // of its properties are set; clears csLoading.
  virtual void Loaded();

  // Told of `AComponent` being inserted into or removed from this component's
  // owner, or of the removal of a component in a free-notification relation.
  // The base forwards the news to every owned component.
  virtual void Notification(TComponent* AComponent, TOperation Operation);

 protected:
  // Sets csDestroying; called first by destructors that still need the object.
  void Destroying() { state_.Include(csDestroying); }
  // Destroys the owned components, last inserted first.
  void DestroyComponents();

 private:
  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);

  TComponent* owner_ = nullptr;
  std::string name_;
  intptr_t tag_ = 0;
  TComponentState state_;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> free_notifies_;
};

// Creation of components by class name, for reading form descriptions. The
// classes of this layer are registered from the start.
using TComponentFactory = TComponent* (*)(TComponent* owner);
void RegisterComponentClass(std::string_view class_name, TComponentFactory factory);
template <class T>
void RegisterComponentClass(std::string_view class_name) {
  RegisterComponentClass(class_name, [](TComponent* owner) -> TComponent* { return new T(owner); });
}
// The factory registered for `class_name`, or null.
TComponentFactory FindComponentClass(std::string_view class_name);

}  // namespace resgraft::vcl

#endif  // RESGRAFT_VCL_CLASSES_H_

#pragma once
// The run-time type registry: one descriptor per class (name, parent,
// factory), looked up by name ignoring case once registered. The object
// streams and the report scripting language both read it.
//
// A descriptor is built once, on first use, by the class's
// StaticClassType() (see RTL_DECLARE_CLASS); registering it makes the class
// known to readers by name. Descriptors are never freed.

#include <string>
#include <string_view>
#include <type_traits>

#include "rtlClasses.h"

RTL_EXCEPTION_CLASS(EFilerError, EStreamError);
RTL_EXCEPTION_CLASS(EClassNotFound, EFilerError);

class TClassInfo {
public:
  // Creates an instance of a component class with the owner given.
  using TFactory = TComponent* (*)(TComponent* owner);

  TClassInfo(std::string name, const TClassInfo* parent, TFactory factory);
  TClassInfo(const TClassInfo&) = delete;
  TClassInfo& operator=(const TClassInfo&) = delete;

  const std::string& Name() const { return name; }
  const TClassInfo* Parent() const { return parent; }
  // nullptr for classes that are not components or are abstract.
  TFactory Factory() const { return factory; }
  // True for this class and its descendants.
  bool InheritsFrom(const TClassInfo& ancestor) const;

private:
  std::string name;
  const TClassInfo* parent;
  TFactory factory;
};

// Builds the descriptor of class T (which declares `inherited`); the parent
// is the descriptor of T::inherited, the factory constructs T with an owner
// when T is a concrete component class.
template <typename T>
class TClassBuilder {
public:
  explicit TClassBuilder(std::string name) : name(std::move(name)) {}

  TClassInfo Build() const { return TClassInfo(name, &T::inherited::StaticClassType(), Factory()); }

private:
  std::string name;

  static TClassInfo::TFactory Factory() {
    if constexpr (std::is_base_of_v<TComponent, T> && !std::is_abstract_v<T> &&
                  std::is_constructible_v<T, TComponent*>) {
      return [](TComponent* owner) -> TComponent* { return new T(owner); };
    } else {
      return nullptr;
    }
  }
};

// The descriptor of a class that publishes nothing of its own.
#define RTL_DEFINE_CLASS(Name)                                       \
  const TClassInfo& Name::StaticClassType() {                        \
    static const TClassInfo info = TClassBuilder<Name>(#Name).Build(); \
    return info;                                                     \
  }

// Makes the class known by name to readers. Registering the same class
// again does nothing; another class of the same name (ignoring case) raises
// EFilerError "A class named X already exists".
void RegisterClass(const TClassInfo& classInfo);
void UnRegisterClass(const TClassInfo& classInfo);
// nullptr when no class of that name is registered.
const TClassInfo* GetClass(std::string_view name);
// EClassNotFound "Class X not found" when none is registered.
const TClassInfo& FindClass(std::string_view name);

#pragma once
// The run-time type registry: one descriptor per class (name, parent,
// factory, published properties, published methods), looked up by name
// ignoring case once registered. The object streams and the report
// scripting language both read it.
//
// A descriptor is built once, on first use, by the class's
// StaticClassType() (see RTL_DECLARE_CLASS), usually with TClassBuilder:
//
//   const TClassInfo& TPage::StaticClassType() {
//     static const TClassInfo info = TClassBuilder<TPage>("TPage")
//         .Property("PageNo", &TPage::PageNo, &TPage::SetPageNo).Default(0)
//         .Property("Kind", &TPage::kind, &TPage::kind)   // plain fields
//         .Event("OnPrint", &TPage::onPrint)
//         .Method("PageClick", &TPage::PageClick)
//         .Build();
//     return info;
//   }
//
// Registering a descriptor makes the class known to readers by name.
// Descriptors are never freed.

#include <any>
#include <cmath>
#include <limits>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <typeinfo>
#include <utility>
#include <variant>
#include <vector>

#include "rtlAssert.h"
#include "rtlClasses.h"
#include "rtlCurrency.h"
#include "rtlVariant.h"

RTL_EXCEPTION_CLASS(EFilerError, EStreamError);
RTL_EXCEPTION_CLASS(EClassNotFound, EFilerError);
// A property value that its property cannot take, or a write to a
// read-only property.
RTL_EXCEPTION_CLASS(EPropertyError, Exception);

enum TTypeKind {
  tkInteger,
  tkInt64,
  tkChar,
  tkEnumeration,
  tkSet,
  tkFloat,
  tkString,
  tkClass,
  tkMethod,
  tkVariant
};

enum TFloatType { ftSingle, ftDouble, ftExtended, ftCurr };

// The names of an enumeration's values, from ordinal 0. Boolean is the
// enumeration False, True.
class TEnumTypeInfo {
public:
  TEnumTypeInfo(std::string name, std::vector<std::string> names)
      : name(std::move(name)), names(std::move(names)) {}
  TEnumTypeInfo(const TEnumTypeInfo&) = delete;
  TEnumTypeInfo& operator=(const TEnumTypeInfo&) = delete;

  const std::string& Name() const { return name; }
  int Count() const { return static_cast<int>(names.size()); }
  // Empty for a value outside the enumeration.
  std::string NameOf(int64_t value) const;
  // -1 for a name that is none of the values (compared ignoring case).
  int ValueOf(std::string_view valueName) const;

private:
  std::string name;
  std::vector<std::string> names;
};

const TEnumTypeInfo& BooleanTypeInfo();

// Declares the name table of enumeration E, found by the builder through
// argument-dependent lookup: put it beside the enumeration.
#define RTL_ENUM_TYPE(E, ...)                                        \
  inline const TEnumTypeInfo& EnumTypeInfo(E) {                      \
    static const TEnumTypeInfo info(#E, {__VA_ARGS__});              \
    return info;                                                     \
  }

// Names that stand for integer values in streams (colours, for example).
// Properties keep a pointer to the map: give them one of static lifetime.
struct TIdentMapEntry {
  int64_t Value;
  const char* Name;
};
using TIdentMap = std::vector<TIdentMapEntry>;

class TMethodInfo;

// A published method bound to the object whose method it is.
struct TMethod {
  TObject* Data = nullptr;
  const TMethodInfo* Code = nullptr;

  explicit operator bool() const { return Code != nullptr; }
  bool operator==(const TMethod&) const = default;
};

// A published method: its name, its signature and a call through an
// object of its class.
class TMethodInfo {
public:
  TMethodInfo(std::string name, const std::type_info& signature, std::any invoker)
      : name(std::move(name)), signature(&signature), invoker(std::move(invoker)) {}

  const std::string& Name() const { return name; }
  const std::type_info& Signature() const { return *signature; }
  // nullptr unless the method has the signature R(A...).
  template <typename R, typename... A>
  const std::function<R(TObject*, A...)>* Invoker() const {
    return std::any_cast<std::function<R(TObject*, A...)>>(&invoker);
  }

private:
  std::string name;
  const std::type_info* signature;
  std::any invoker;
};

// An event: a handler set by code, or a published method set by a stream
// or a script (then Method() tells which, so that it can be written back).
template <typename Sig>
class TEvent;

template <typename R, typename... A>
class TEvent<R(A...)> {
public:
  using THandler = std::function<R(A...)>;

  TEvent() = default;
  TEvent(THandler handler) : handler(std::move(handler)) {}
  TEvent& operator=(THandler newHandler) {
    handler = std::move(newHandler);
    method = {};
    return *this;
  }

  // Binds a published method; EPropertyError when its signature differs.
  void SetMethod(const TMethod& newMethod);
  const TMethod& Method() const { return method; }
  static const std::type_info& Signature() { return typeid(R(A...)); }

  explicit operator bool() const { return static_cast<bool>(handler); }
  R operator()(A... args) const { return handler(std::forward<A>(args)...); }

private:
  THandler handler;
  TMethod method;
};

// The one value type of property getters and setters: ordinals (integer,
// Int64, char, enumeration, set bits), floats, currency, strings, objects,
// methods and variants.
using TPropValue =
    std::variant<int64_t, long double, Currency, std::string, TObject*, TMethod, Variant>;

// A published property.
class TPropInfo {
public:
  using TGetter = std::function<TPropValue(TObject& instance)>;
  using TSetter = std::function<void(TObject& instance, const TPropValue& value)>;
  using TStoredTest = std::function<bool(TObject& instance)>;

  const std::string& Name() const { return name; }
  TTypeKind Kind() const { return kind; }
  // The property's type: "Integer", "Boolean", "TDateTime", the
  // enumeration's or class's name...
  const std::string& TypeName() const { return typeName; }
  TFloatType FloatType() const { return floatType; }
  // Enumerations and the elements of sets.
  const TEnumTypeInfo* EnumType() const { return enumType; }
  // Class properties: the class the value must belong to.
  const TClassInfo* PropClass() const { return propClass; }
  const TIdentMap* Idents() const { return idents; }

  // Ordinal defaults; a property without one is always written.
  bool HasDefault() const { return defaultValue.has_value(); }
  int64_t Default() const { return defaultValue.value_or(0); }
  bool IsReadOnly() const { return !setter; }

  TPropValue GetValue(TObject& instance) const;
  // EPropertyError "Property is read-only", or "Invalid property value"
  // for a value the property cannot take.
  void SetValue(TObject& instance, const TPropValue& value) const;
  bool IsStored(TObject& instance) const { return !storedTest || storedTest(instance); }
  // True when the value equals the default, so a writer leaves it out:
  // ordinals with a default equal to it, zero numbers, empty strings and
  // variants, unassigned methods, nil objects.
  bool IsDefaultValue(TObject& instance) const;

private:
  template <typename>
  friend class TClassBuilder;

  std::string name;
  TTypeKind kind = tkInteger;
  std::string typeName;
  TFloatType floatType = ftExtended;
  const TEnumTypeInfo* enumType = nullptr;
  const TClassInfo* propClass = nullptr;
  const TIdentMap* idents = nullptr;
  std::optional<int64_t> defaultValue;
  TGetter getter;
  TSetter setter;
  TStoredTest storedTest;
};

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

  // Every published property, the ancestors' first.
  std::vector<const TPropInfo*> Properties() const;
  // Searched from this class up, ignoring case; nullptr when none.
  const TPropInfo* FindProperty(std::string_view propName) const;
  const TMethodInfo* FindMethod(std::string_view methodName) const;

private:
  template <typename>
  friend class TClassBuilder;

  TClassInfo(std::string name, const TClassInfo* parent, TFactory factory,
             std::vector<TPropInfo> properties, std::vector<TMethodInfo> methods);

  std::string name;
  const TClassInfo* parent;
  TFactory factory;
  std::vector<TPropInfo> properties;
  std::vector<TMethodInfo> methods;
};

namespace rtl_typeinfo_detail {

[[noreturn]] void RaiseInvalidValue();
[[noreturn]] void RaiseReadOnly();

template <typename T>
struct IsTSet : std::false_type {};
template <typename E>
struct IsTSet<TSet<E>> : std::true_type {
  using Element = E;
};

template <typename T>
struct IsTEvent : std::false_type {};
template <typename Sig>
struct IsTEvent<TEvent<Sig>> : std::true_type {};

template <typename P>
struct MethodTraits;
template <typename C, typename R, typename... A>
struct MethodTraits<R (C::*)(A...)> {
  using Signature = R(A...);
  template <typename T>
  static std::function<R(TObject*, A...)> Invoker(R (C::*fn)(A...)) {
    return [fn](TObject* self, A... args) -> R {
      return (static_cast<T*>(self)->*fn)(std::forward<A>(args)...);
    };
  }
};

template <typename V>
TPropValue ToValue(const V& v) {
  if constexpr (std::is_same_v<V, bool>) {
    return int64_t{v ? 1 : 0};
  } else if constexpr (std::is_integral_v<V>) {
    return static_cast<int64_t>(v);
  } else if constexpr (std::is_enum_v<V>) {
    return static_cast<int64_t>(v);
  } else if constexpr (IsTSet<V>::value) {
    return static_cast<int64_t>(v.Bits());
  } else if constexpr (std::is_floating_point_v<V>) {
    return static_cast<long double>(v);
  } else if constexpr (std::is_pointer_v<V>) {
    return static_cast<TObject*>(v);
  } else {
    return v;  // Currency, std::string, Variant
  }
}

template <typename V>
V FromValue(const TPropValue& value) {
  if constexpr (std::is_same_v<V, bool>) {
    const int64_t* o = std::get_if<int64_t>(&value);
    if (o == nullptr || (*o != 0 && *o != 1)) RaiseInvalidValue();
    return *o != 0;
  } else if constexpr (std::is_integral_v<V>) {
    const int64_t* o = std::get_if<int64_t>(&value);
    if (o == nullptr) RaiseInvalidValue();
    if constexpr (std::is_signed_v<V>) {
      if (*o < static_cast<int64_t>(std::numeric_limits<V>::min()) ||
          *o > static_cast<int64_t>(std::numeric_limits<V>::max()))
        RaiseInvalidValue();
    } else if constexpr (sizeof(V) < sizeof(int64_t)) {
      // Unsigned properties also take the signed spelling of their bits.
      if (*o < std::numeric_limits<std::make_signed_t<V>>::min() ||
          *o > static_cast<int64_t>(std::numeric_limits<V>::max()))
        RaiseInvalidValue();
    }
    return static_cast<V>(*o);
  } else if constexpr (std::is_enum_v<V>) {
    const int64_t* o = std::get_if<int64_t>(&value);
    if (o == nullptr || *o < 0 || *o >= EnumTypeInfo(V{}).Count()) RaiseInvalidValue();
    return static_cast<V>(*o);
  } else if constexpr (IsTSet<V>::value) {
    const int64_t* o = std::get_if<int64_t>(&value);
    const int count = EnumTypeInfo(typename IsTSet<V>::Element{}).Count();
    const uint64_t mask = count >= 64 ? ~uint64_t{0} : (uint64_t{1} << count) - 1;
    if (o == nullptr || (static_cast<uint64_t>(*o) & ~mask) != 0) RaiseInvalidValue();
    return V::FromBits(static_cast<uint64_t>(*o));
  } else if constexpr (std::is_floating_point_v<V>) {
    if (const long double* f = std::get_if<long double>(&value)) return static_cast<V>(*f);
    if (const int64_t* i = std::get_if<int64_t>(&value)) return static_cast<V>(*i);
    if (const Currency* c = std::get_if<Currency>(&value))
      return static_cast<V>(static_cast<long double>(c->Scaled) / Currency::Scale);
    RaiseInvalidValue();
  } else if constexpr (std::is_same_v<V, Currency>) {
    if (const Currency* c = std::get_if<Currency>(&value)) return *c;
    if (const int64_t* i = std::get_if<int64_t>(&value)) {
      if (*i > INT64_MAX / Currency::Scale || *i < INT64_MIN / Currency::Scale) RaiseInvalidValue();
      return Currency::FromInt(*i);
    }
    if (const long double* f = std::get_if<long double>(&value)) {
      const long double scaled = *f * Currency::Scale;
      if (!(scaled >= -9.2233720368547758e18L && scaled < 9.2233720368547758e18L))
        RaiseInvalidValue();
      return Currency::FromScaled(static_cast<int64_t>(std::nearbyintl(scaled)));
    }
    RaiseInvalidValue();
  } else if constexpr (std::is_pointer_v<V>) {
    const auto* o = std::get_if<TObject*>(&value);
    if (o == nullptr) RaiseInvalidValue();
    if (*o == nullptr) return nullptr;
    auto* typed = dynamic_cast<V>(*o);
    if (typed == nullptr) RaiseInvalidValue();
    return typed;
  } else {
    const V* v = std::get_if<V>(&value);
    if (v == nullptr) RaiseInvalidValue();
    return *v;
  }
}

}  // namespace rtl_typeinfo_detail

// Builds the descriptor of class T (which declares `inherited`); the parent
// is the descriptor of T::inherited, the factory constructs T with an owner
// when T is a concrete component class. The modifiers (Default, NoDefault,
// Stored, AsDateTime, Idents) apply to the property added last.
template <typename T>
class TClassBuilder {
public:
  explicit TClassBuilder(std::string name) : name(std::move(name)) {}

  // getter: a const member function or a data member; setter: a member
  // function, a data member, a callable (T&, V), or nullptr (read-only).
  template <typename G, typename S = std::nullptr_t>
  TClassBuilder& Property(std::string propName, G getter, S setter = nullptr);
  // An event held in a data member of type TEvent<...>.
  template <typename Sig>
  TClassBuilder& Event(std::string propName, TEvent<Sig> T::*event);
  // An event changed through a setter, for classes that act when their
  // handler changes.
  template <typename Sig>
  TClassBuilder& Event(std::string propName, const TEvent<Sig>& (T::*getter)() const,
                       void (T::*setter)(TEvent<Sig>));
  template <typename F>
  TClassBuilder& Method(std::string methodName, F method);

  TClassBuilder& Default(int64_t value) {
    Last().defaultValue = value;
    return *this;
  }
  TClassBuilder& Stored(bool stored) {
    Last().storedTest = [stored](TObject&) { return stored; };
    return *this;
  }
  TClassBuilder& Stored(bool (T::*test)() const) {
    Last().storedTest = [test](TObject& o) { return (static_cast<T&>(o).*test)(); };
    return *this;
  }
  // A double that holds a TDateTime (written as a date value).
  TClassBuilder& AsDateTime() {
    ORV_ASSERT(Last().kind == tkFloat && Last().floatType == ftDouble);
    Last().typeName = "TDateTime";
    return *this;
  }
  TClassBuilder& Idents(const TIdentMap& map) {
    ORV_ASSERT(Last().kind == tkInteger || Last().kind == tkInt64);
    Last().idents = &map;
    return *this;
  }
  TClassBuilder& TypeName(std::string typeName) {
    Last().typeName = std::move(typeName);
    return *this;
  }

  TClassInfo Build() {
    return TClassInfo(name, &T::inherited::StaticClassType(), Factory(), std::move(properties),
                      std::move(methods));
  }

private:
  std::string name;
  std::vector<TPropInfo> properties;
  std::vector<TMethodInfo> methods;

  TPropInfo& Last() {
    ORV_ASSERT(!properties.empty());
    return properties.back();
  }

  static TClassInfo::TFactory Factory() {
    if constexpr (std::is_base_of_v<TComponent, T> && !std::is_abstract_v<T> &&
                  std::is_constructible_v<T, TComponent*>) {
      return [](TComponent* owner) -> TComponent* { return new T(owner); };
    } else {
      return nullptr;
    }
  }

  template <typename V>
  static void DescribeType(TPropInfo& info);
};

template <typename T>
template <typename V>
void TClassBuilder<T>::DescribeType(TPropInfo& info) {
  using namespace rtl_typeinfo_detail;
  if constexpr (std::is_same_v<V, bool>) {
    info.kind = tkEnumeration;
    info.typeName = "Boolean";
    info.enumType = &BooleanTypeInfo();
  } else if constexpr (std::is_same_v<V, char>) {
    info.kind = tkChar;
    info.typeName = "Char";
  } else if constexpr (std::is_integral_v<V>) {
    info.kind = sizeof(V) == 8 ? tkInt64 : tkInteger;
    info.typeName = sizeof(V) == 8 ? "Int64" : "Integer";
  } else if constexpr (std::is_enum_v<V>) {
    info.kind = tkEnumeration;
    info.enumType = &EnumTypeInfo(V{});
    info.typeName = info.enumType->Name();
  } else if constexpr (IsTSet<V>::value) {
    info.kind = tkSet;
    info.enumType = &EnumTypeInfo(typename IsTSet<V>::Element{});
    info.typeName = "set of " + info.enumType->Name();
  } else if constexpr (std::is_same_v<V, float>) {
    info.kind = tkFloat;
    info.floatType = ftSingle;
    info.typeName = "Single";
  } else if constexpr (std::is_same_v<V, double>) {
    info.kind = tkFloat;
    info.floatType = ftDouble;
    info.typeName = "Double";
  } else if constexpr (std::is_same_v<V, long double>) {
    info.kind = tkFloat;
    info.floatType = ftExtended;
    info.typeName = "Extended";
  } else if constexpr (std::is_same_v<V, Currency>) {
    info.kind = tkFloat;
    info.floatType = ftCurr;
    info.typeName = "Currency";
  } else if constexpr (std::is_same_v<V, std::string>) {
    info.kind = tkString;
    info.typeName = "String";
  } else if constexpr (std::is_same_v<V, Variant>) {
    info.kind = tkVariant;
    info.typeName = "Variant";
  } else {
    static_assert(std::is_pointer_v<V> && std::is_base_of_v<TObject, std::remove_pointer_t<V>>,
                  "unsupported property type");
    info.kind = tkClass;
    info.propClass = &std::remove_pointer_t<V>::StaticClassType();
    info.typeName = info.propClass->Name();
  }
}

template <typename T>
template <typename G, typename S>
TClassBuilder<T>& TClassBuilder<T>::Property(std::string propName, G getter, S setter) {
  using V = std::remove_cvref_t<std::invoke_result_t<G, const T&>>;
  using namespace rtl_typeinfo_detail;
  TPropInfo info;
  info.name = std::move(propName);
  DescribeType<V>(info);
  info.getter = [getter](TObject& o) -> TPropValue {
    return ToValue<V>(std::invoke(getter, static_cast<const T&>(o)));
  };
  if constexpr (std::is_member_object_pointer_v<S>) {
    info.setter = [setter](TObject& o, const TPropValue& v) {
      static_cast<T&>(o).*setter = FromValue<V>(v);
    };
  } else if constexpr (!std::is_same_v<S, std::nullptr_t>) {
    info.setter = [setter](TObject& o, const TPropValue& v) {
      std::invoke(setter, static_cast<T&>(o), FromValue<V>(v));
    };
  }
  properties.push_back(std::move(info));
  return *this;
}

template <typename T>
template <typename Sig>
TClassBuilder<T>& TClassBuilder<T>::Event(std::string propName, TEvent<Sig> T::*event) {
  TPropInfo info;
  info.name = std::move(propName);
  info.kind = tkMethod;
  info.typeName = "TMethod";
  info.getter = [event](TObject& o) -> TPropValue { return (static_cast<T&>(o).*event).Method(); };
  info.setter = [event](TObject& o, const TPropValue& v) {
    const TMethod* m = std::get_if<TMethod>(&v);
    if (m == nullptr) rtl_typeinfo_detail::RaiseInvalidValue();
    (static_cast<T&>(o).*event).SetMethod(*m);
  };
  properties.push_back(std::move(info));
  return *this;
}

template <typename T>
template <typename Sig>
TClassBuilder<T>& TClassBuilder<T>::Event(std::string propName, const TEvent<Sig>& (T::*getter)() const,
                                          void (T::*setter)(TEvent<Sig>)) {
  TPropInfo info;
  info.name = std::move(propName);
  info.kind = tkMethod;
  info.typeName = "TMethod";
  info.getter = [getter](TObject& o) -> TPropValue { return (static_cast<T&>(o).*getter)().Method(); };
  info.setter = [setter](TObject& o, const TPropValue& v) {
    const TMethod* m = std::get_if<TMethod>(&v);
    if (m == nullptr) rtl_typeinfo_detail::RaiseInvalidValue();
    TEvent<Sig> event;
    event.SetMethod(*m);
    (static_cast<T&>(o).*setter)(std::move(event));
  };
  properties.push_back(std::move(info));
  return *this;
}

template <typename T>
template <typename F>
TClassBuilder<T>& TClassBuilder<T>::Method(std::string methodName, F method) {
  using Traits = rtl_typeinfo_detail::MethodTraits<F>;
  methods.emplace_back(std::move(methodName), typeid(typename Traits::Signature),
                       std::any(Traits::template Invoker<T>(method)));
  return *this;
}

template <typename R, typename... A>
void TEvent<R(A...)>::SetMethod(const TMethod& newMethod) {
  if (!newMethod) {
    handler = nullptr;
    method = {};
    return;
  }
  const auto* invoker = newMethod.Code->template Invoker<R, A...>();
  if (invoker == nullptr || newMethod.Data == nullptr) rtl_typeinfo_detail::RaiseInvalidValue();
  handler = [call = *invoker, data = newMethod.Data](A... args) -> R {
    return call(data, std::forward<A>(args)...);
  };
  method = newMethod;
}

// The descriptor of a class that publishes nothing of its own.
#define RTL_DEFINE_CLASS(Name)                                          \
  const TClassInfo& Name::StaticClassType() {                           \
    static const TClassInfo info = TClassBuilder<Name>(#Name).Build();  \
    return info;                                                        \
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

// Property access by name for scripts and tools: EPropertyError
// "Property X does not exist" when the object's class has no such property.
const TPropInfo& GetPropInfo(const TObject& instance, std::string_view propName);
TPropValue GetPropValue(TObject& instance, std::string_view propName);
void SetPropValue(TObject& instance, std::string_view propName, const TPropValue& value);

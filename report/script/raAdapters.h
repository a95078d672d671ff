#pragma once
// What scripts may touch on an object, by name. The class registry already
// describes published properties (the one metadata road shared with the
// object streams); an adapter adds, per class, the methods, indexed
// properties, unpublished properties and events a script reaches, as a
// table of members. An adapter answers its own names and hands every other
// name to the adapter of the nearest described ancestor.
//
// Arguments and results travel as typed script value slots, never as raw
// buffers: a member's work receives the slots by position, "Result" last.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "raValues.h"
#include "rtlTypeInfo.h"

class TStrings;

struct TraParamRec {
  std::string Name;
  TraDataType DataType = daUnknown;
  // For daClass: the class of the object passed.
  const TClassInfo* ClassType = nullptr;
  // For daEnum: the enumeration's name.
  std::string TypeName;
  bool IsConst = false;
  bool IsVar = false;
};

// The parameters of a method, event or indexed property, in order.
class TraParamList {
public:
  TraParamList() = default;
  TraParamList(std::initializer_list<TraParamRec> params) : params(params) {}
  void AddParam(TraParamRec param) { params.push_back(std::move(param)); }
  void DeleteParam(const std::string& name);
  int Count() const { return static_cast<int>(params.size()); }
  const TraParamRec& operator[](int index) const { return params[static_cast<size_t>(index)]; }
  // -1 when there is no such parameter (names compared ignoring case).
  int IndexOf(const std::string& name) const;

private:
  std::vector<TraParamRec> params;
};

enum class TraMemberKind : uint8_t { Property, Method, IndexedProperty, Constructor, Event };

// The work of a member on an object. A getter fills the slot of the
// member's type; a setter reads it; a call receives the argument slots by
// position (the result slot last) and, for an indexed property, whether
// it reads (true) or writes the last slot into the object. A false answer
// means the member could not be reached on this object.
using TraGetter = std::function<bool(TObject& object, TraValue& value)>;
using TraSetter = std::function<bool(TObject& object, const TraValue& value)>;
using TraCaller = std::function<bool(TObject* object, TraValue* const* args, bool get)>;

struct TraPropRec {
  std::string Name;
  TraMemberKind Kind = TraMemberKind::Property;
  // For daClass: the property's class; for a method: the class of a
  // class-typed "Result"; for a constructor: the class constructed.
  const TClassInfo* ClassType = nullptr;
  // For daEnum: the enumerated type's name.
  std::string TypeName;
  // daMethod for methods, constructors, indexed properties and events.
  TraDataType DataType = daUnknown;
  bool IsPublished = false;
  bool ReadOnly = false;
  // For an event: the number its object sends it with; -1 otherwise.
  int EventID = -1;
  TraParamList Params;
  TraGetter Get;
  TraSetter Set;
  TraCaller Call;

  bool IsConstructor() const { return Kind == TraMemberKind::Constructor; }
  bool IsArrayProp() const { return Kind == TraMemberKind::IndexedProperty; }
  bool IsEvent() const { return Kind == TraMemberKind::Event; }
  // The result's type of a method; daUnknown for a procedure.
  TraDataType ResultType() const;
};

// The description of one class for scripts: its own members and the names
// of published members it hides.
class TraRTTI {
public:
  TraRTTI(const TClassInfo& refClass, const TraRTTI* parent) : refClass(refClass), parent(parent) {}
  TraRTTI(const TraRTTI&) = delete;
  TraRTTI& operator=(const TraRTTI&) = delete;

  const TClassInfo& RefClass() const { return refClass; }
  const TraRTTI* Parent() const { return parent; }

  // Every name the class offers: its published properties of a kind a
  // script can hold, then the adapters' names, less the hidden ones.
  void GetPropList(const TClassInfo& classInfo, std::vector<std::string>& list) const;
  // The events: published event properties and the adapters' events.
  void GetEventList(const TClassInfo& classInfo, std::vector<std::string>& list) const;
  // The member of that name among this adapter's and its ancestors' own.
  const TraPropRec* FindMember(const std::string& name) const;
  bool Hides(const std::string& name) const;

  // Building the table.
  TraRTTI& Property(std::string name, TraDataType type, TraGetter get, TraSetter set = nullptr);
  TraRTTI& EnumProperty(std::string name, std::string typeName, TraGetter get, TraSetter set = nullptr);
  TraRTTI& ClassProperty(std::string name, const TClassInfo& classInfo, TraGetter get, TraSetter set = nullptr);
  TraRTTI& Method(std::string name, TraParamList params, TraCaller call);
  TraRTTI& IndexedProperty(std::string name, TraParamList params, TraCaller call, bool readOnly = false);
  TraRTTI& Constructor(std::string name, TraParamList params, TraCaller call);
  TraRTTI& Event(std::string name, int eventId, TraParamList params = {});
  TraRTTI& Hide(std::string name);
  // This adapter's own member of that name, to wrap its work; nullptr.
  TraPropRec* OwnMember(const std::string& name);

private:
  const TClassInfo& refClass;
  const TraRTTI* parent;
  std::vector<TraPropRec> members;
  std::vector<std::string> hidden;
};

// The registry: one adapter per described class (a second for the same
// class is ignored).
void RegisterRTTIAdapter(const TraRTTI& adapter);
void UnregisterRTTIAdapter(const TraRTTI& adapter);
// The adapter of the class itself, else of its nearest described ancestor.
const TraRTTI* FindRTTIAdapter(const TClassInfo& classInfo);
// A class registered for streaming, else one that has an adapter; nullptr.
const TClassInfo* FindClassByName(const std::string& name);
std::vector<const TraRTTI*> RTTIAdapterList();

// The adapters of the class library and of the report engine, registered
// once (idempotent); the script layer calls it before it first needs them.
void raRegisterAdapters();

// The record of a published property (daUnknown kinds answer false).
bool raPublishedPropRec(const TPropInfo& prop, TraPropRec& rec);
// The data type of a published property's kind.
TraDataType raDataTypeOf(const TPropInfo& prop);

// Whether scripts may read and write files (LoadFromFile, SaveToFile). Off
// unless the host allows it; a refused access is a script error.
struct TraFilePolicy {
  bool AllowFileAccess = false;
};
TraFilePolicy& raFilePolicy();
// EScriptError "File access is not allowed to scripts: <name>" when off.
void raCheckFileAccess(const std::string& fileName);

// The objects scripts create while a pool is current belong to that pool
// until the script frees them: the language has no try/finally, so a
// script that fails between Create and Free could not clean up itself.
// Ending the pool frees what is left, last made first. A component handed
// to the report (given an owner or a parent) belongs to the report from
// then on and is left alone; one the report frees first leaves the pool.
class TraObjectPool {
public:
  TraObjectPool();
  ~TraObjectPool();
  TraObjectPool(const TraObjectPool&) = delete;
  TraObjectPool& operator=(const TraObjectPool&) = delete;

  // Frees what the pool still owns; the pool stays usable.
  void Clear();
  int Count() const { return static_cast<int>(objects.size()); }
  bool Owns(const TObject* object) const;

  // The pool constructors put their objects in (nullptr: none).
  static TraObjectPool* Current();

private:
  friend class TraObjectPoolScope;
  friend void raNoteScriptCreated(TObject*);
  friend void raScriptFree(TObject*);
  class TWatcher;
  std::vector<TObject*> objects;  // in the order made
  std::unique_ptr<TWatcher> watcher;
  void Adopt(TObject* object);
  // Forgets the object without freeing it.
  void Drop(const TObject* object);
};

// Makes a pool current for its lifetime.
class TraObjectPoolScope {
public:
  explicit TraObjectPoolScope(TraObjectPool& pool);
  ~TraObjectPoolScope();
  TraObjectPoolScope(const TraObjectPoolScope&) = delete;
  TraObjectPoolScope& operator=(const TraObjectPoolScope&) = delete;

private:
  TraObjectPool* previous;
};

// Objects a script created through a constructor: only those may it free.
void raNoteScriptCreated(TObject* object);
// Frees an object the script created; EScriptError for any other. The
// address is remembered, so that a value still holding it is refused
// rather than followed.
void raScriptFree(TObject* object);
bool raIsFreedByScript(const TObject* object);
// At the end of a run, when no script value holds them any more.
void raForgetFreedObjects();
// The object slots of string lists: a script reads back only an object a
// script put there (any other reads as nil), so an object the host keeps
// beside its lines, which may be gone by then, never reaches a script.
void raNoteSlotObject(TObject* object);
TObject* raSlotObject(TObject* object);

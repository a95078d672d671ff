#pragma once
// Scripts and live objects: the class manager that answers what a class
// offers (published type information first, then the class's adapter) and
// reads, writes and calls members; and the compiled nodes of object names,
// class names, member access, member assignment, "is" and "as".
//
// A member used on nil, a member an object's class lacks at run time and a
// freed object are script errors: nothing is read from or written to an
// object that is not there.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "raAdapters.h"
#include "raExpression.h"

class TraClassManager {
public:
  // The one instance, made on first use (it registers the adapters).
  static TraClassManager& Instance();

  // False when the class offers no such name.
  bool GetMemberRec(const TClassInfo& classInfo, const std::string& name, TraPropRec& rec) const;
  std::vector<std::string> PropList(const TClassInfo& classInfo) const;
  std::vector<std::string> EventList(const TClassInfo& classInfo) const;
  bool ValidEvent(const TClassInfo& classInfo, const std::string& eventName) const;

  // A slot of the member's type filled from the object.
  bool ReadMember(TObject& object, const TraPropRec& rec, TraValue& slot) const;
  // The value converted to the member's type, then written; false when it
  // does not convert or the member is read-only.
  bool WriteMember(TObject& object, const TraPropRec& rec, const TraValue& value) const;

private:
  TraClassManager();
};

// Resolves a name to the object it stands for, each time it is evaluated
// (the code module's object look-up).
using TraObjectLookup = std::function<TObject*(const std::string& name)>;

// An object reached by name: looked up again at every evaluation.
class TraNamedObject : public TraExpression {
public:
  TraNamedObject(std::string name, const TClassInfo& classInfo, TraObjectLookup lookup);
  const TraValue* Evaluate(TraRun& run) override;
  const TClassInfo* ObjectClass() const override { return &classInfo; }

private:
  const TClassInfo& classInfo;
  TraObjectLookup lookup;
  TraObjectValue value;
};

// A class name standing for the class (constructors, "is", "as").
class TraClassLiteral : public TraExpression {
public:
  explicit TraClassLiteral(const TClassInfo& classInfo);
  const TraValue* Evaluate(TraRun&) override { return &value; }
  const TClassInfo* ObjectClass() const override { return value.Class; }
  const TraValue* FixedValue() const override { return &value; }

private:
  TraObjectValue value;
};

// A member read or called on the object its base evaluates to: a
// property, an indexed property (with its indexes), a method (with its
// arguments; var arguments get their values back) or a constructor.
class TraMemberAccess : public TraExpression {
public:
  TraMemberAccess(std::unique_ptr<TraExpression> base, TraPropRec rec, std::vector<std::unique_ptr<TraExpression>> arguments);
  const TraValue* Evaluate(TraRun& run) override;
  const TClassInfo* ObjectClass() const override;
  // Writes value into the member (a property or an indexed property).
  void Write(TraRun& run, const TraValue& value);

private:
  std::unique_ptr<TraExpression> base;
  TraPropRec rec;
  std::vector<std::unique_ptr<TraExpression>> arguments;
  // One slot per parameter of the member (the result last); a property's one slot.
  std::vector<std::unique_ptr<TraValue>> paramSlots;
  std::vector<TraValue*> slotPointers;
  std::unique_ptr<TraValue> written;

  TObject* Target(TraRun& run);
  void PassArguments(TraRun& run);
  void ReturnVarArguments();
};

class TraMemberAssignment : public TraStatement {
public:
  TraMemberAssignment(std::unique_ptr<TraMemberAccess> target, std::unique_ptr<TraExpression> value)
      : target(std::move(target)), value(std::move(value)) {}
  void Execute(TraRun& run) override;

private:
  std::unique_ptr<TraMemberAccess> target;
  std::unique_ptr<TraExpression> value;
};

// "object is Class": false for nil.
class TraIsTest : public TraExpression {
public:
  TraIsTest(std::unique_ptr<TraExpression> object, const TClassInfo& classInfo)
      : TraExpression(daBoolean), object(std::move(object)), classInfo(classInfo) {}
  const TraValue* Evaluate(TraRun& run) override;

private:
  std::unique_ptr<TraExpression> object;
  const TClassInfo& classInfo;
  TraBooleanValue result;
};

// "object as Class" and "Class(object)": the object when it is of the
// class, else nil.
class TraCast : public TraExpression {
public:
  TraCast(std::unique_ptr<TraExpression> object, const TClassInfo& classInfo);
  const TraValue* Evaluate(TraRun& run) override;
  const TClassInfo* ObjectClass() const override { return &classInfo; }

private:
  std::unique_ptr<TraExpression> object;
  const TClassInfo& classInfo;
  TraObjectValue result;
};

// The object a value holds (nullptr for nil or a value that is no object).
TObject* raObjectOf(const TraValue* value);

// The adapters of the class library's classes and of the report engine's:
// what each adds to the class registry's published properties. Published
// properties and events need no entry here; an event is listed with the
// number its object sends it by and the parameters that travel with it.

#include <algorithm>
#include <type_traits>

#include "raAdapters.h"
#include "raCodeModule.h"
#include "raEnumTypes.h"
#include "rtlAssert.h"

#include "ppBands.h"
#include "ppCache.h"
#include "ppCtrls.h"
#include "ppDBPipeline.h"
#include "dbDataSource.h"
#include "ppDrwCmd.h"
#include "ppGraphics.h"
#include "uiGraphicsBitmap.h"
#include "ppGroup.h"
#include "ppMemo.h"
#include "ppPage.h"
#include "ppPrinterSetup.h"
#include "ppReport.h"
#include "ppRichText.h"
#include "ppShapes.h"
#include "ppSubReport.h"
#include "ppTemplate.h"
#include "ppVar.h"
#include "ppUnits.h"
#include "ppFileDevice.h"
#include "ppPrinterDevice.h"
#include "ppProducer.h"
#include "ppPublisher.h"
#include "ppEngine.h"
#include "ppDataPipeline.h"
#include "rtlStreamObject.h"
#include "rtlLists.h"
#include "rtlStringList.h"

namespace {

// Slots by declared type: the class manager made each of the parameter's own type.
int32_t& Int(TraValue* v) { return SlotAs<TraIntegerValue>(*v).Value; }
std::string& Str(TraValue* v) { return SlotAs<TraStringValue>(*v).Value; }
Variant& Var(TraValue* v) { return SlotAs<TraVariantValue>(*v).Value; }
TObject*& Obj(TraValue* v) { return SlotAs<TraObjectValue>(*v).Object; }
bool Bool(const TraValue* v) { return SlotAs<TraBooleanValue>(*v).Value(); }
void SetBool(TraValue* v, bool value) { SlotAs<TraBooleanValue>(*v).Set(value); }
int32_t IntOf(const TraValue& v) { return SlotAs<TraIntegerValue>(v).Value; }
bool BoolOf(const TraValue& v) { return SlotAs<TraBooleanValue>(v).Value(); }

TraParamRec P(const char* name, TraDataType type) { return {name, type}; }
TraParamRec PVar(const char* name, TraDataType type) { return {name, type, nullptr, {}, false, true}; }
TraParamRec PConst(const char* name, TraDataType type) { return {name, type, nullptr, {}, true, false}; }
TraParamRec PObj(const char* name, const TClassInfo& c) { return {name, daClass, &c}; }
TraParamRec R(TraDataType type) { return {"Result", type}; }
TraParamRec RObj(const TClassInfo& c) { return {"Result", daClass, &c}; }

template <typename T>
T& As(TObject* object) {
  return *static_cast<T*>(object);
}
template <typename T>
T& As(TObject& object) {
  return static_cast<T&>(object);
}

// An index a script passed: out of range is its error, not the list's.
void CheckIndex(int index, int count) {
  if (index < 0 || index >= count) throw EScriptError("List index out of bounds (" + std::to_string(index) + ")");
}

// Members the engine's classes already offer as typed getters and setters
// are bound by member pointer: the slot's type follows the C++ type (an
// object pointer becomes a class property of the pointee's class, an
// enumeration one of its registered type), so the tables below name each
// member once instead of spelling out its conversion.
template <typename V>
void ToSlot(TraValue& slot, const V& value) {
  if constexpr (std::is_same_v<V, bool>) SlotAs<TraBooleanValue>(slot).Set(value);
  else if constexpr (std::is_enum_v<V>) {
    auto& e = SlotAs<TraEnumValue>(slot);
    e.Type = &EnumTypeInfo(V{});
    e.Ord = static_cast<uint8_t>(value);
  } else if constexpr (std::is_integral_v<V>) SlotAs<TraIntegerValue>(slot).Value = static_cast<int32_t>(value);
  else if constexpr (std::is_floating_point_v<V>) SlotAs<TraDoubleValue>(slot).Value = value;
  else if constexpr (std::is_same_v<V, std::string>) SlotAs<TraStringValue>(slot).Value = value;
  else if constexpr (std::is_same_v<V, Variant>) SlotAs<TraVariantValue>(slot).Value = value;
  else SlotAs<TraObjectValue>(slot).Object = const_cast<std::remove_const_t<std::remove_pointer_t<V>>*>(value);
}

// False when the slot holds an object of another class than the member takes.
template <typename V>
bool FromSlot(const TraValue& slot, V& out) {
  if constexpr (std::is_same_v<V, bool>) out = BoolOf(slot);
  else if constexpr (std::is_enum_v<V>) out = static_cast<V>(SlotAs<TraEnumValue>(slot).Ord);
  else if constexpr (std::is_integral_v<V>) out = static_cast<V>(IntOf(slot));
  else if constexpr (std::is_floating_point_v<V>) out = static_cast<V>(SlotAs<TraDoubleValue>(slot).Value);
  else if constexpr (std::is_same_v<V, std::string>) out = SlotAs<TraStringValue>(slot).Value;
  else if constexpr (std::is_same_v<V, Variant>) out = SlotAs<TraVariantValue>(slot).Value;
  else {
    TObject* object = SlotAs<TraObjectValue>(slot).Object;
    out = dynamic_cast<V>(object);
    if (object && !out) return false;
  }
  return true;
}

template <typename V>
void AddBound(TraRTTI& rtti, const char* name, TraGetter get, TraSetter set) {
  if constexpr (std::is_pointer_v<V>) {
    rtti.ClassProperty(name, std::remove_const_t<std::remove_pointer_t<V>>::StaticClassType(), std::move(get), std::move(set));
  } else if constexpr (std::is_enum_v<V>) {
    rtti.EnumProperty(name, EnumTypeInfo(V{}).Name(), std::move(get), std::move(set));
  } else {
    constexpr TraDataType type = std::is_same_v<V, bool>               ? daBoolean
                                 : std::is_integral_v<V>               ? daInteger
                                 : std::is_floating_point_v<V>         ? daDouble
                                 : std::is_same_v<V, std::string>      ? daString
                                                                       : daVariant;
    rtti.Property(name, type, std::move(get), std::move(set));
  }
}

template <typename T, typename G>
TraGetter BoundGetter(G (T::*get)() const) {
  return [get](TObject& o, TraValue& v) {
    ToSlot<std::remove_cvref_t<G>>(v, (As<T>(o).*get)());
    return true;
  };
}

template <typename T, typename G>
void Read(TraRTTI& rtti, const char* name, G (T::*get)() const) {
  AddBound<std::remove_cvref_t<G>>(rtti, name, BoundGetter(get), nullptr);
}

template <typename T, typename G, typename U, typename A>
void ReadWrite(TraRTTI& rtti, const char* name, G (T::*get)() const, void (U::*set)(A)) {
  using V = std::remove_cvref_t<A>;
  TraSetter setter = [set](TObject& o, const TraValue& v) {
    V value{};
    if (!FromSlot(v, value)) return false;
    (As<U>(o).*set)(value);
    return true;
  };
  AddBound<std::remove_cvref_t<G>>(rtti, name, BoundGetter(get), std::move(setter));
}

// A read-only indexed property over a count and an item getter.
template <typename T, typename Item>
void ReadIndexed(TraRTTI& rtti, const char* name, int (T::*count)() const, Item (T::*item)(int) const) {
  using V = std::remove_cvref_t<Item>;
  TraParamRec result{"Result", daInteger};
  if constexpr (std::is_pointer_v<V>) result = RObj(std::remove_const_t<std::remove_pointer_t<V>>::StaticClassType());
  else if constexpr (std::is_same_v<V, std::string>) result = R(daString);
  else if constexpr (std::is_same_v<V, Variant>) result = R(daVariant);
  rtti.IndexedProperty(name, {P("Index", daInteger), result}, [count, item](TObject* o, TraValue* const* a, bool get) {
    auto& self = As<T>(o);
    CheckIndex(Int(a[0]), (self.*count)());
    if (get) ToSlot<V>(*a[1], (self.*item)(Int(a[0])));
    return get;
  }, true);
}

// A position or size in screen pixels over the thousandths of a
// millimetre the object keeps.
template <typename T, typename U>
void ScreenPixels(TraRTTI& rtti, const char* name, TppAxis axis, int (T::*get)() const, void (U::*set)(int)) {
  TraSetter setter;
  if (set)
    setter = [axis, set](TObject& o, const TraValue& v) {
      (As<U>(o).*set)(ppUnitsToMMThousandths(IntOf(v), utScreenPixels, axis));
      return true;
    };
  rtti.Property(name, daInteger, [axis, get](TObject& o, TraValue& v) {
    Int(&v) = ppRound(ppMMThousandthsToUnits((As<T>(o).*get)(), utScreenPixels, axis));
    return true;
  }, std::move(setter));
}

template <typename T>
TppUnitType UnitsOf(const T& object) {
  if constexpr (std::is_base_of_v<TppCustomReport, T>) return object.Units();
  else return object.Report() ? object.Report()->Units() : utMMThousandths;
}

// A distance the object keeps in thousandths of a millimetre, in the units
// of the report it belongs to (millimetre thousandths without one).
template <typename T, typename U>
void ReportUnits(TraRTTI& rtti, const char* name, TppAxis axis, int (T::*get)() const, void (U::*set)(int)) {
  rtti.Property(name, daDouble, [axis, get](TObject& o, TraValue& v) {
    auto& self = As<T>(o);
    const TppUnitType units = UnitsOf(self);
    static_cast<TraDoubleValue&>(v).Value = ppMMThousandthsToUnits((self.*get)(), units, axis);
    return true;
  }, [axis, set](TObject& o, const TraValue& v) {
    auto& self = As<U>(o);
    const TppUnitType units = UnitsOf(self);
    (self.*set)(ppUnitsToMMThousandths(static_cast<const TraDoubleValue&>(v).Value, units, axis));
    return true;
  });
}

// Whether the report an object belongs to is generating.
bool InPrintingReport(const TObject& object) {
  if (auto* printable = dynamic_cast<const TppPrintable*>(&object)) return printable->ReportIsPrinting();
  if (auto* band = dynamic_cast<const TppBand*>(&object)) return band->Report() && band->Report()->Printing();
  return false;
}

// A write that moves objects between the lists the engine walks while it
// generates (a component's band, a band's report) is refused until the
// report has printed.
void RefuseWhilePrinting(TraRTTI& rtti, const char* name) {
  TraPropRec* rec = rtti.OwnMember(name);
  ORV_ASSERT(rec && rec->Set);
  TraPropRec& member = *rec;
  member.Set = [name = std::string(name), set = member.Set](TObject& o, const TraValue& v) {
    if (InPrintingReport(o)) throw EScriptError(name + " cannot change while the report prints");
    return set(o, v);
  };
}

// The class library's list of objects as scripts make it ("TList"): it
// lists, never owns, and gives back only objects a script put in it.
class TraList : public TObject {
  RTL_DECLARE_CLASS(TraList, TObject)
  TList<TObject> Items;
};

const TClassInfo& TraList::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TraList>("TList").Build();
  return info;
}

#define GETTER(T, expr) [](TObject& o, TraValue& v) { auto& self = As<T>(o); expr; return true; }
#define SETTER(T, expr) [](TObject& o, const TraValue& v) { auto& self = As<T>(o); expr; return true; }
#define CALL(T, body) [](TObject* o, TraValue* const* a, bool get) { auto& self = As<T>(o); (void)a; (void)get; body; return true; }

struct TAdapters {
  TraRTTI object{TObject::StaticClassType(), nullptr};
  TraRTTI persistent{TPersistent::StaticClassType(), &object};
  TraRTTI component{TComponent::StaticClassType(), &persistent};
  TraRTTI strings{TStrings::StaticClassType(), &persistent};
  TraRTTI stringList{TStringList::StaticClassType(), &strings};
  TraRTTI list{TraList::StaticClassType(), &object};
  TraRTTI font{TppFont::StaticClassType(), &persistent};
  TraRTTI communicator{TppCommunicator::StaticClassType(), &component};
  TraRTTI relative{TppRelative::StaticClassType(), &communicator};
  TraRTTI printable{TppPrintable::StaticClassType(), &relative};
  TraRTTI ppComponent{TppComponent::StaticClassType(), &printable};
  TraRTTI stretchable{TppStretchable::StaticClassType(), &ppComponent};
  TraRTTI subReport{TppSubReport::StaticClassType(), &stretchable};
  TraRTTI customText{TppCustomText::StaticClassType(), &ppComponent};
  TraRTTI dbText{TppDBText::StaticClassType(), &customText};
  TraRTTI dbCalc{TppDBCalc::StaticClassType(), &dbText};
  TraRTTI variable{TppVariable::StaticClassType(), &customText};
  TraRTTI customMemo{TppCustomMemo::StaticClassType(), &stretchable};
  TraRTTI dbMemo{TppDBMemo::StaticClassType(), &customMemo};
  TraRTTI customRichText{TppCustomRichText::StaticClassType(), &stretchable};
  TraRTTI memoryStream{TMemoryStreamObject::StaticClassType(), &object};
  TraRTTI textAttributes{TTextAttributes::StaticClassType(), &persistent};
  TraRTTI paraAttributes{TParaAttributes::StaticClassType(), &persistent};
  TraRTTI customImage{TppCustomImage::StaticClassType(), &ppComponent};
  TraRTTI band{TppBand::StaticClassType(), &relative};
  TraRTTI group{TppGroup::StaticClassType(), &relative};
  TraRTTI detailBand{TppDetailBand::StaticClassType(), &band};
  TraRTTI groupBand{TppGroupBand::StaticClassType(), &band};
  TraRTTI groupHeaderBand{TppGroupHeaderBand::StaticClassType(), &groupBand};
  TraRTTI producer{TppProducer::StaticClassType(), &relative};
  TraRTTI customReport{TppCustomReport::StaticClassType(), &producer};
  TraRTTI report{TppReport::StaticClassType(), &customReport};
  TraRTTI dataPipeline{TppDataPipeline::StaticClassType(), &relative};
  TraRTTI dbPipeline{TppDBPipeline::StaticClassType(), &dataPipeline};
  TraRTTI autoSearchField{TppAutoSearchField::StaticClassType(), &communicator};
  TraRTTI field{TppField::StaticClassType(), &relative};
  TraRTTI printerSetup{TppPrinterSetup::StaticClassType(), &persistent};
  TraRTTI drawText{TppDrawText::StaticClassType(), &drawCommand};
  TraRTTI drawCommand{TppDrawCommand::StaticClassType(), &component};
  TraRTTI page{TppPage::StaticClassType(), &component};
  TraRTTI picture{TppPicture::StaticClassType(), &persistent};
  TraRTTI templateDBSettings{TppTemplateDBSettings::StaticClassType(), &persistent};
  TraRTTI customTemplate{TppCustomTemplate::StaticClassType(), &persistent};
  TraRTTI layoutTemplate{TppTemplate::StaticClassType(), &customTemplate};
  TraRTTI reportTemplate{TppReportTemplate::StaticClassType(), &layoutTemplate};

  TAdapters();
  void Register() {
    for (TraRTTI* a : {&object, &persistent, &component, &strings, &stringList, &list, &font, &communicator, &relative,
                       &printable, &ppComponent, &stretchable, &subReport, &customText, &dbText, &dbCalc, &variable, &customMemo, &dbMemo, &customRichText, &memoryStream, &textAttributes, &paraAttributes, &customImage,
                       &band, &detailBand, &groupBand, &groupHeaderBand, &group, &producer, &customReport, &report, &dataPipeline, &dbPipeline, &autoSearchField, &field, &printerSetup, &drawCommand, &drawText, &page, &picture, &templateDBSettings, &customTemplate, &layoutTemplate, &reportTemplate})
      RegisterRTTIAdapter(*a);
  }
};

TAdapters::TAdapters() {
  const TClassInfo& stringsClass = TStrings::StaticClassType();

  object.Method("ClassName", {R(daString)}, [](TObject* o, TraValue* const* a, bool) {
          Str(a[0]) = o->ClassName();
          return true;
        })
      .Method("Free", {}, [](TObject* o, TraValue* const*, bool) {
        raScriptFree(o);
        return true;
      })
      .Constructor("Create", {}, [](TObject*, TraValue* const* a, bool) {
        const TClassInfo* c = static_cast<TraObjectValue*>(a[0])->Class;
        if (!c || !c->Factory()) throw EScriptError("This class cannot be created by a script");
        TObject* made = c->Factory()(nullptr);
        raNoteScriptCreated(made);
        Obj(a[1]) = made;
        return true;
      });

  persistent.Method("Assign", {PObj("Source", TPersistent::StaticClassType())},
                    CALL(TPersistent, self.Assign(static_cast<TPersistent*>(Obj(a[0])))));

  component
      .Constructor("Create", {PObj("Owner", TComponent::StaticClassType())},
                   [](TObject*, TraValue* const* a, bool) {
                     const TClassInfo* c = static_cast<TraObjectValue*>(a[1])->Class;
                     if (!c || !c->Factory()) throw EScriptError("This class cannot be created by a script");
                     TObject* made = c->Factory()(static_cast<TComponent*>(Obj(a[0])));
                     raNoteScriptCreated(made);
                     Obj(a[2]) = made;
                     return true;
                   })
      .ClassProperty("Owner", TComponent::StaticClassType(), GETTER(TComponent, static_cast<TraObjectValue&>(v).Object = self.Owner()))
      .Property("Tag", daInteger, GETTER(TComponent, static_cast<TraIntegerValue&>(v).Value = self.Tag()),
                SETTER(TComponent, self.SetTag(IntOf(v))));

  strings.Property("Count", daInteger, GETTER(TStrings, static_cast<TraIntegerValue&>(v).Value = self.Count()))
      .Property("Text", daString, GETTER(TStrings, static_cast<TraStringValue&>(v).Value = self.Text()),
                SETTER(TStrings, self.SetText(static_cast<const TraStringValue&>(v).Value)))
      .IndexedProperty("Strings", {P("Index", daInteger), R(daString)}, CALL(TStrings, {
                         CheckIndex(Int(a[0]), self.Count());
                         if (get) Str(a[1]) = self.Get(Int(a[0]));
                         else self.Put(Int(a[0]), Str(a[1]));
                       }))
      .IndexedProperty("Names", {P("Index", daInteger), R(daString)}, CALL(TStrings, {
                         CheckIndex(Int(a[0]), self.Count());
                         if (get) Str(a[1]) = self.Names(Int(a[0]));
                       }), true)
      .IndexedProperty("Values", {P("Name", daString), R(daString)}, CALL(TStrings, {
                         if (get) Str(a[1]) = self.Values(Str(a[0]));
                         else self.SetValue(Str(a[0]), Str(a[1]));
                       }))
      .IndexedProperty("Objects", {P("Index", daInteger), RObj(TObject::StaticClassType())}, CALL(TStrings, {
                         CheckIndex(Int(a[0]), self.Count());
                         if (get) {
                           Obj(a[1]) = raSlotObject(self.GetObject(Int(a[0])));
                         } else {
                           raNoteSlotObject(Obj(a[1]));
                           self.PutObject(Int(a[0]), Obj(a[1]));
                         }
                       }))
      .Method("AddObject", {P("String", daString), PObj("Object", TObject::StaticClassType()), R(daInteger)}, CALL(TStrings, {
                raNoteSlotObject(Obj(a[1]));
                Int(a[2]) = self.AddObject(Str(a[0]), Obj(a[1]));
              }))
      .Method("IndexOfObject", {PObj("Object", TObject::StaticClassType()), R(daInteger)},
              CALL(TStrings, Int(a[1]) = Obj(a[0]) ? self.IndexOfObject(Obj(a[0])) : -1))
      .Method("InsertObject", {P("Index", daInteger), P("S", daString), PObj("aObject", TObject::StaticClassType())}, CALL(TStrings, {
                if (Int(a[0]) != self.Count()) CheckIndex(Int(a[0]), self.Count());
                raNoteSlotObject(Obj(a[2]));
                self.InsertObject(Int(a[0]), Str(a[1]), Obj(a[2]));
              }))
      .Method("Add", {P("String", daString), R(daInteger)}, CALL(TStrings, Int(a[1]) = self.Add(Str(a[0]))))
      .Method("Append", {P("String", daString)}, CALL(TStrings, self.Add(Str(a[0]))))
      .Method("AddStrings", {PObj("Strings", stringsClass)}, CALL(TStrings, {
                if (Obj(a[0])) self.AddStrings(As<TStrings>(Obj(a[0])));
              }))
      .Method("BeginUpdate", {}, CALL(TStrings, self.BeginUpdate()))
      .Method("EndUpdate", {}, CALL(TStrings, self.EndUpdate()))
      .Method("Clear", {}, CALL(TStrings, self.Clear()))
      .Method("Delete", {P("Index", daInteger)}, CALL(TStrings, {
                CheckIndex(Int(a[0]), self.Count());
                self.Delete(Int(a[0]));
              }))
      .Method("Equals", {PObj("Strings", stringsClass), R(daBoolean)}, CALL(TStrings, {
                auto* other = static_cast<TStrings*>(Obj(a[0]));
                bool same = other && other->Count() == self.Count();
                for (int i = 0; same && i < self.Count(); ++i) same = self.Get(i) == other->Get(i);
                SetBool(a[1], same);
              }))
      .Method("Exchange", {P("Index1", daInteger), P("Index2", daInteger)}, CALL(TStrings, {
                CheckIndex(Int(a[0]), self.Count());
                CheckIndex(Int(a[1]), self.Count());
                self.Exchange(Int(a[0]), Int(a[1]));
              }))
      .Method("IndexOf", {P("String", daString), R(daInteger)}, CALL(TStrings, Int(a[1]) = self.IndexOf(Str(a[0]))))
      .Method("IndexOfName", {P("String", daString), R(daInteger)}, CALL(TStrings, Int(a[1]) = self.IndexOfName(Str(a[0]))))
      .Method("Insert", {P("Index", daInteger), P("S", daString)}, CALL(TStrings, {
                if (Int(a[0]) < 0 || Int(a[0]) > self.Count()) CheckIndex(Int(a[0]), self.Count());
                self.Insert(Int(a[0]), Str(a[1]));
              }))
      .Method("LoadFromFile", {P("FileName", daString)}, CALL(TStrings, {
                raCheckFileAccess(Str(a[0]));
                self.LoadFromFile(Str(a[0]));
              }))
      .Method("SaveToFile", {P("FileName", daString)}, CALL(TStrings, {
                raCheckFileAccess(Str(a[0]));
                self.SaveToFile(Str(a[0]));
              }))
      .Method("Move", {P("CurIndex", daInteger), P("NewIndex", daInteger)}, CALL(TStrings, {
                CheckIndex(Int(a[0]), self.Count());
                CheckIndex(Int(a[1]), self.Count());
                self.Move(Int(a[0]), Int(a[1]));
              }));

  stringList
      .Constructor("Create", {}, [](TObject*, TraValue* const* a, bool) {
        auto* made = new TStringList();
        raNoteScriptCreated(made);
        Obj(a[1]) = made;
        return true;
      })
      .Property("Sorted", daBoolean, GETTER(TStringList, static_cast<TraBooleanValue&>(v).Set(self.Sorted())),
                SETTER(TStringList, self.SetSorted(BoolOf(v))))
      .Method("Find", {P("String", daString), PVar("Index", daInteger), R(daBoolean)}, CALL(TStringList, {
                int index = 0;
                SetBool(a[2], self.Find(Str(a[0]), index));
                Int(a[1]) = index;
              }))
      .Method("Sort", {}, CALL(TStringList, self.Sort()));

  const TClassInfo& objectClass = TObject::StaticClassType();
  list.Constructor("Create", {}, [](TObject*, TraValue* const* a, bool) {
        auto* made = new TraList();
        raNoteScriptCreated(made);
        Obj(a[1]) = made;
        return true;
      })
      .Property("Count", daInteger, GETTER(TraList, Int(&v) = self.Items.Count()))
      .IndexedProperty("Items", {P("Index", daInteger), RObj(objectClass)}, CALL(TraList, {
                         CheckIndex(Int(a[0]), self.Items.Count());
                         if (get) {
                           Obj(a[1]) = raSlotObject(self.Items.Items(Int(a[0])));
                         } else {
                           raNoteSlotObject(Obj(a[1]));
                           self.Items.Delete(Int(a[0]));
                           self.Items.Insert(Int(a[0]), Obj(a[1]));
                         }
                       }))
      .Method("Add", {PObj("Item", objectClass), R(daInteger)}, CALL(TraList, {
                raNoteSlotObject(Obj(a[0]));
                Int(a[1]) = self.Items.Add(Obj(a[0]));
              }))
      .Method("Clear", {}, CALL(TraList, self.Items.Clear()))
      .Method("Delete", {P("Index", daInteger)}, CALL(TraList, {
                CheckIndex(Int(a[0]), self.Items.Count());
                self.Items.Delete(Int(a[0]));
              }))
      .Method("Exchange", {P("Index1", daInteger), P("Index2", daInteger)}, CALL(TraList, {
                CheckIndex(Int(a[0]), self.Items.Count());
                CheckIndex(Int(a[1]), self.Items.Count());
                self.Items.Exchange(Int(a[0]), Int(a[1]));
              }))
      .Method("First", {RObj(objectClass)}, CALL(TraList, {
                CheckIndex(0, self.Items.Count());
                Obj(a[0]) = raSlotObject(self.Items.First());
              }))
      .Method("Last", {RObj(objectClass)}, CALL(TraList, {
                CheckIndex(self.Items.Count() - 1, self.Items.Count());
                Obj(a[0]) = raSlotObject(self.Items.Last());
              }))
      .Method("IndexOf", {PObj("Item", objectClass), R(daInteger)}, CALL(TraList, Int(a[1]) = self.Items.IndexOf(Obj(a[0]))))
      .Method("Insert", {P("Index", daInteger), PObj("Item", objectClass)}, CALL(TraList, {
                if (Int(a[0]) != self.Items.Count()) CheckIndex(Int(a[0]), self.Items.Count());
                raNoteSlotObject(Obj(a[1]));
                self.Items.Insert(Int(a[0]), Obj(a[1]));
              }))
      .Method("Move", {P("CurIndex", daInteger), P("NewIndex", daInteger)}, CALL(TraList, {
                CheckIndex(Int(a[0]), self.Items.Count());
                CheckIndex(Int(a[1]), self.Items.Count());
                self.Items.Move(Int(a[0]), Int(a[1]));
              }))
      .Method("Remove", {PObj("Item", objectClass), R(daInteger)}, CALL(TraList, Int(a[1]) = self.Items.Remove(Obj(a[0]))));

  // Font styles one flag at a time.
  struct TStyleEntry {
    const char* Name;
    int Bit;
  };
  for (const TStyleEntry& style : {TStyleEntry{"Bold", fsBold}, {"Italic", fsItalic}, {"Underline", fsUnderline}, {"Strikeout", fsStrikeOut}}) {
    const int bit = style.Bit;
    font.Property(
        style.Name, daBoolean,
        [bit](TObject& o, TraValue& v) {
          static_cast<TraBooleanValue&>(v).Set((As<TppFont>(o).Style() & bit) != 0);
          return true;
        },
        [bit](TObject& o, const TraValue& v) {
          auto& f = As<TppFont>(o);
          f.SetStyle(BoolOf(v) ? f.Style() | bit : f.Style() & ~bit);
          return true;
        });
  }
  font.Property("Normal", daBoolean, GETTER(TppFont, static_cast<TraBooleanValue&>(v).Set(self.Style() == 0)),
                SETTER(TppFont, if (BoolOf(v)) self.SetStyle(0)));

  printable.Event("OnPrint", ppevPrint)
      .Event("OnDrawCommandCreate", ppevDrawCommandCreate, {PObj("DrawCommand", TppDrawCommand::StaticClassType())})
      .Event("OnDrawCommandClick", ppevDrawCommandClick, {PObj("DrawCommand", TppDrawCommand::StaticClassType())});
  customText.Event("OnGetText", ppevGetText, {PVar("Text", daString)});
  dbText.Property("FieldValue", daVariant, GETTER(TppDBText, static_cast<TraVariantValue&>(v).Value = self.FieldValue()));
  dbCalc.Event("OnCalc", ppevCalc).Property("Value", daDouble, GETTER(TppDBCalc, static_cast<TraDoubleValue&>(v).Value = self.Value()));
  variable.Event("OnCalc", ppevCalc, {PVar("Value", daVariant)})
      .Event("OnReset", ppevReset, {PVar("Value", daVariant)})
      .Property("Value", daVariant, GETTER(TppVariable, static_cast<TraVariantValue&>(v).Value = self.Value()),
                SETTER(TppVariable, self.SetValue(static_cast<const TraVariantValue&>(v).Value)))
      .Property("CalcOrder", daInteger, GETTER(TppVariable, static_cast<TraIntegerValue&>(v).Value = self.CalcOrder()),
                SETTER(TppVariable, self.SetCalcOrder(IntOf(v))));
  // Each typed reader and writer of the value, in the slot type of its kind.
#define VARIABLE_AS(name, type, Slot)                                                         \
  variable.Property("As" #name, type, GETTER(TppVariable, static_cast<Slot&>(v).Value = self.As##name()), \
                    SETTER(TppVariable, self.SetAs##name(static_cast<const Slot&>(v).Value)))
  VARIABLE_AS(Char, daChar, TraCharValue);
  VARIABLE_AS(Currency, daCurrency, TraCurrencyValue);
  VARIABLE_AS(DateTime, daDateTime, TraDayCountValue);
  VARIABLE_AS(Date, daDate, TraDayCountValue);
  VARIABLE_AS(Time, daTime, TraDayCountValue);
  VARIABLE_AS(Double, daDouble, TraDoubleValue);
  VARIABLE_AS(Extended, daExtended, TraExtendedValue);
  VARIABLE_AS(Integer, daInteger, TraIntegerValue);
  VARIABLE_AS(Single, daSingle, TraSingleValue);
  VARIABLE_AS(String, daString, TraStringValue);
#undef VARIABLE_AS
  variable.Property("AsBoolean", daBoolean, GETTER(TppVariable, static_cast<TraBooleanValue&>(v).Set(self.AsBoolean())),
                    SETTER(TppVariable, self.SetAsBoolean(BoolOf(v))));
  subReport.ClassProperty("Report", TppCustomReport::StaticClassType(),
                          GETTER(TppSubReport, static_cast<TraObjectValue&>(v).Object = self.Report()));
  customMemo.ClassProperty("Lines", stringsClass, GETTER(TppCustomMemo, static_cast<TraObjectValue&>(v).Object = self.Lines()));
  dbMemo.Event("OnGetMemo", 86, {PObj("Lines", stringsClass)});
  customRichText
      .Property("RichText", daString, GETTER(TppCustomRichText, Str(&v) = self.RichText()),
                SETTER(TppCustomRichText, self.SetRichText(static_cast<const TraStringValue&>(v).Value)))
      .Property("PlainText", daString, GETTER(TppCustomRichText, Str(&v) = self.PlainText()))
      .Property("StartCharPos", daInteger, GETTER(TppCustomRichText, Int(&v) = self.StartCharPos()))
      .Property("EndCharPos", daInteger, GETTER(TppCustomRichText, Int(&v) = self.EndCharPos()))
      .Property("SelStart", daInteger, GETTER(TppCustomRichText, Int(&v) = self.SelStart()),
                SETTER(TppCustomRichText, self.SetSelStart(static_cast<const TraIntegerValue&>(v).Value)))
      .Property("SelLength", daInteger, GETTER(TppCustomRichText, Int(&v) = self.SelLength()),
                SETTER(TppCustomRichText, self.SetSelLength(static_cast<const TraIntegerValue&>(v).Value)))
      .Property("SelText", daString, GETTER(TppCustomRichText, Str(&v) = self.SelText()),
                SETTER(TppCustomRichText, self.SetSelText(static_cast<const TraStringValue&>(v).Value)))
      .Method("FindText",
              {P("SearchStr", daString), P("StartPos", daInteger), P("Length", daInteger), P("WholeWord", daBoolean),
               P("MatchCase", daBoolean), R(daInteger)},
              CALL(TppCustomRichText,
                   Int(a[5]) = self.FindText(Str(a[0]), Int(a[1]), Int(a[2]), TRichFindOptions{BoolOf(*a[4]), BoolOf(*a[3])})))
      .Method("LoadFromFile", {P("aFileName", daString)}, CALL(TppCustomRichText, {
                raCheckFileAccess(Str(a[0]));
                self.LoadFromFile(Str(a[0]));
              }))
      .Method("SaveToFile", {P("aFileName", daString)}, CALL(TppCustomRichText, {
                raCheckFileAccess(Str(a[0]));
                self.SaveToFile(Str(a[0]));
              }))
      .Method("LoadFromRTFStream", {PObj("aStream", TMemoryStreamObject::StaticClassType())}, CALL(TppCustomRichText, {
                auto* stream = dynamic_cast<TMemoryStreamObject*>(Obj(a[0]));
                if (!stream) throw EScriptError("LoadFromRTFStream needs a stream");
                self.LoadFromRTFStream(*stream);
              }))
      .Method("SaveToRTFStream", {PObj("aStream", TMemoryStreamObject::StaticClassType())}, CALL(TppCustomRichText, {
                auto* stream = dynamic_cast<TMemoryStreamObject*>(Obj(a[0]));
                if (!stream) throw EScriptError("SaveToRTFStream needs a stream");
                self.SaveToRTFStream(*stream);
              }))
      .ClassProperty("RichTextStream", TMemoryStreamObject::StaticClassType(),
                     GETTER(TppCustomRichText, Obj(&v) = &self.RichTextStream()))
      .ClassProperty("SelAttributes", TTextAttributes::StaticClassType(),
                     GETTER(TppCustomRichText, Obj(&v) = &self.SelAttributesObject()))
      .ClassProperty("Paragraph", TParaAttributes::StaticClassType(),
                     GETTER(TppCustomRichText, Obj(&v) = &self.ParagraphObject()));
  // A script's own streams, to carry rich text from one component to another.
  memoryStream
      .Constructor("Create", {}, [](TObject*, TraValue* const* a, bool) {
        auto* made = new TMemoryStreamObject();
        raNoteScriptCreated(made);
        Obj(a[1]) = made;
        return true;
      })
      .Property("Position", daInteger, GETTER(TMemoryStreamObject, Int(&v) = static_cast<int32_t>(self.Position())),
                SETTER(TMemoryStreamObject, self.SetPosition(std::clamp<int64_t>(IntOf(v), 0, self.Size()))))
      .Property("Size", daInteger, GETTER(TMemoryStreamObject, Int(&v) = static_cast<int32_t>(self.Size())),
                SETTER(TMemoryStreamObject, self.SetSize(std::max(0, IntOf(v)))))
      .Method("Clear", {}, CALL(TMemoryStreamObject, self.Clear()));
  // A picture is read whole before it replaces the one shown, so a file
  // that does not load leaves the picture as it was.
  picture
      .Method("LoadFromFile", {PConst("Filename", daString)}, CALL(TppPicture, {
                raCheckFileAccess(Str(a[0]));
                TBitmap loaded;
                if (!loaded.LoadFromFile(Str(a[0]))) throw EScriptError("Cannot load the picture " + Str(a[0]));
                self.NewBitmap().Assign(loaded);
              }))
      .Method("SaveToFile", {PConst("Filename", daString)}, CALL(TppPicture, {
                raCheckFileAccess(Str(a[0]));
                if (!self.Bitmap()) throw EScriptError("The picture is empty: nothing to save to " + Str(a[0]));
                if (!self.Bitmap()->SaveToFile(Str(a[0]))) throw EScriptError("Cannot save the picture " + Str(a[0]));
              }));
  customImage.Event("OnGetPicture", 69, {PObj("Picture", TppPicture::StaticClassType())});

  band.Event("BeforePrint", 24).Event("AfterPrint", 23).Event("BeforeGenerate", 26).Event("AfterGenerate", 25);
  group.Event("BeforeGroupBreak", 28)
      .Event("AfterGroupBreak", ppevAfterGroupBreak)
      .Event("OnGetBreakValue", 31, {PVar("BreakValue", daString)});

  customReport.Event("OnStartPage", ppevStartPage)
      .Event("OnEndPage", ppevEndPage)
      .Event("OnStartColumn", ppevStartColumn)
      .Event("OnEndColumn", ppevEndColumn)
      .Event("OnStartFirstPass", ppevStartFirstPass)
      .Event("OnEndFirstPass", ppevEndFirstPass)
      .Event("OnStartSecondPass", ppevStartSecondPass)
      .Event("OnEndSecondPass", ppevEndSecondPass)
      .Event("OnNoData", ppevNoData,
             {PObj("Dialog", TObject::StaticClassType()), PVar("ShowDialog", daBoolean),
              PObj("DrawCommand", TObject::StaticClassType()), PVar("AddDrawCommand", daBoolean)})
      .Property("PageNo", daInteger, GETTER(TppCustomReport, static_cast<TraIntegerValue&>(v).Value = self.PageNo()))
      .Property("AbsolutePageNo", daInteger, GETTER(TppCustomReport, static_cast<TraIntegerValue&>(v).Value = self.AbsolutePageNo()))
      .Property("FirstPass", daBoolean, GETTER(TppCustomReport, static_cast<TraBooleanValue&>(v).Set(self.FirstPass())))
      .Property("SecondPass", daBoolean, GETTER(TppCustomReport, static_cast<TraBooleanValue&>(v).Set(self.SecondPass())))
      .ClassProperty("DataPipeline", TppDataPipeline::StaticClassType(),
                     GETTER(TppCustomReport, static_cast<TraObjectValue&>(v).Object = self.DataPipeline()));
  report.Event("OnBeforeAutoSearchDialogCreate", ppevBeforeAutoSearchDialogCreate)
      .Event("OnAfterAutoSearchDialogCreate", ppevAfterAutoSearchDialogCreate)
      .Event("OnAutoSearchDialogClose", ppevAutoSearchDialogClose)
      .Event("OnGetAutoSearchValues", ppevGetAutoSearchValues);

  dataPipeline.Method("GetFieldValue", {P("FieldName", daString), R(daVariant)},
                      CALL(TppDataPipeline, Var(a[1]) = self.GetFieldValue(Str(a[0]))))
      .Method("GetFieldAsString", {P("FieldName", daString), R(daString)},
              CALL(TppDataPipeline, Str(a[1]) = self.GetFieldAsString(Str(a[0]))))
      .IndexedProperty("FieldValues", {P("FieldName", daString), R(daVariant)},
                       CALL(TppDataPipeline, if (get) Var(a[1]) = self.GetFieldValue(Str(a[0]))), true)
      .Method("Open", {}, CALL(TppDataPipeline, self.Open()))
      .Method("Close", {}, CALL(TppDataPipeline, self.Close()))
      .Method("First", {}, CALL(TppDataPipeline, self.First()))
      .Method("Last", {}, CALL(TppDataPipeline, self.Last()))
      .Method("Next", {}, CALL(TppDataPipeline, self.Next()))
      .Method("Prior", {}, CALL(TppDataPipeline, self.Prior()))
      .Property("Eof", daBoolean, GETTER(TppDataPipeline, static_cast<TraBooleanValue&>(v).Set(self.Eof())))
      .Property("Bof", daBoolean, GETTER(TppDataPipeline, static_cast<TraBooleanValue&>(v).Set(self.Bof())))
      .Property("Active", daBoolean, GETTER(TppDataPipeline, static_cast<TraBooleanValue&>(v).Set(self.Active())))
      .Property("TraversalCount", daInteger, GETTER(TppDataPipeline, static_cast<TraIntegerValue&>(v).Value = self.TraversalCount()))
      .Event("OnFirst", ppevFirst)
      .Event("OnNext", ppevNext)
      .Event("OnPrior", ppevPrior)
      .Event("OnLast", ppevLast)
      .Event("OnOpen", ppevOpen)
      .Event("OnClose", ppevClose)
      .Event("OnTraversal", ppevTraversal)
      .Event("OnDataChange", ppevDataChange)
      .Event("OnRecordPositionChange", ppevRecordPositionChange);

  // Generation state and geometry the engine keeps as typed members.
  Read(relative, "AllChildCount", &TppRelative::GetChildCount);
  Read(relative, "ChildCount", &TppRelative::ChildCount);
  ReadWrite(relative, "ChildType", &TppRelative::ChildType, &TppRelative::SetChildType);
  Read(relative, "FreeingChildren", &TppRelative::FreeingChildren);
  Read(relative, "OrderedChildren", &TppRelative::OrderedChildren);
  Read(relative, "Index", &TppRelative::Position);
  ReadWrite(relative, "Parent", &TppRelative::Parent, &TppRelative::SetParent);
  ReadWrite(relative, "Position", &TppRelative::Position, &TppRelative::SetPosition);
  RefuseWhilePrinting(relative, "Parent");
  RefuseWhilePrinting(relative, "Position");

  // The order components draw in is their place in the band.
  Read(printable, "ZOrder", &TppRelative::Position);
  ReadWrite(printable, "DataPipeline", &TppPrintable::DataPipeline, &TppPrintable::SetDataPipeline);
  Read(printable, "DrawComponent", &TppPrintable::DrawComponent);
  Read(printable, "GenerationComplete", &TppPrintable::GenerationComplete);
  Read(printable, "OutOfSpace", &TppPrintable::OutOfSpace);
  Read(printable, "OverFlow", &TppPrintable::OverFlow);
  Read(printable, "SpaceUsed", &TppPrintable::SpaceUsed);
  Read(printable, "ResetOnCompute", &TppPrintable::ResetOnCompute);
  ReadWrite(printable, "ParentHeight", &TppPrintable::ParentHeight, &TppPrintable::SetParentHeight);
  ReadWrite(printable, "ParentWidth", &TppPrintable::ParentWidth, &TppPrintable::SetParentWidth);
  ReadWrite(printable, "Text", &TppPrintable::GetText, &TppPrintable::SetText);
  ReadWrite(printable, "Left", &TppPrintable::Left, &TppPrintable::SetLeft);
  ReadWrite(printable, "Top", &TppPrintable::Top, &TppPrintable::SetTop);
  ReadWrite(printable, "Width", &TppPrintable::Width, &TppPrintable::SetWidth);
  ReadWrite(printable, "Height", &TppPrintable::Height, &TppPrintable::SetHeight);
  ScreenPixels(printable, "spLeft", axHorizontal, &TppPrintable::mmLeft, &TppPrintable::SetmmLeft);
  ScreenPixels(printable, "spTop", axVertical, &TppPrintable::mmTop, &TppPrintable::SetmmTop);
  ScreenPixels(printable, "spWidth", axHorizontal, &TppPrintable::mmWidth, &TppPrintable::SetmmWidth);
  ScreenPixels(printable, "spHeight", axVertical, &TppPrintable::mmHeight, &TppPrintable::SetmmHeight);

  // A component's place in the report: its band (and so its band type and
  // group), the region inside it, and the group that resets it.
  ReadWrite(ppComponent, "Band", &TppComponent::Band, &TppComponent::SetBand);
  ppComponent.Property("BandType", daInteger, GETTER(TppComponent, Int(&v) = static_cast<int>(self.BandType())));
  Read(ppComponent, "GroupNo", &TppComponent::GroupNo);
  Read(ppComponent, "Index", &TppComponent::Index);
  // Its place among its parent's (region's or band's) objects.
  Read(ppComponent, "ParentIndex", &TppRelative::Position);
  ppComponent.ClassProperty("NextSibling", TppComponent::StaticClassType(), GETTER(TppComponent, {
    TppBand* band = self.Band();
    const int next = self.Index() + 1;
    TppComponent* sibling = band && next > 0 && next < band->ObjectCount() ? band->Objects(next) : nullptr;
    Obj(&v) = sibling && sibling->GetParentComponent() == self.GetParentComponent() ? sibling : nullptr;
  }));
  ReadWrite(ppComponent, "ParentDataPipeline", &TppComponent::ParentDataPipeline, &TppComponent::SetParentDataPipeline);
  ReadWrite(ppComponent, "Region", &TppComponent::Region, &TppComponent::SetRegion);
  ReadWrite(ppComponent, "ResetGroup", &TppComponent::ResetGroup, &TppComponent::SetResetGroup);
  RefuseWhilePrinting(ppComponent, "Band");
  RefuseWhilePrinting(ppComponent, "Region");

  Read(dbText, "AlreadyPrinted", &TppDBText::AlreadyPrinted);
  Read(dbText, "FirstPage", &TppDBText::FirstPage);
  Read(dbText, "PriorValue", &TppDBText::PriorValue);
  Read(dbText, "PriorValueSame", &TppDBText::PriorValueSame);

  ReadWrite(band, "Report", &TppBand::Report, &TppBand::SetReport);
  RefuseWhilePrinting(band, "Report");
  ReadWrite(band, "Visible", &TppBand::Visible, &TppBand::SetVisible);
  ReadWrite(band, "PrintHeight", &TppBand::PrintHeight, &TppBand::SetPrintHeight);
  Read(band, "ObjectCount", &TppBand::ObjectCount);
  ReadIndexed(band, "Objects", &TppBand::ObjectCount, &TppBand::Objects);
  Read(band, "SpaceUsed", &TppBand::SpaceUsed);
  Read(band, "PrintCount", &TppBand::PrintCount);
  Read(band, "StartingPosition", &TppBand::StartingPosition);
  Read(band, "PageBottom", &TppBand::PageBottom);
  Read(band, "PartialGeneration", &TppBand::PartialGeneration);
  Read(band, "MaxStretchable", &TppBand::MaxStretchable);
  ScreenPixels(band, "spHeight", axVertical, &TppBand::mmHeight, &TppBand::SetmmHeight);

  Read(group, "Report", &TppGroup::Report);
  Read(group, "GroupNo", &TppGroup::GroupNo);
  Read(group, "DataPipeline", &TppGroup::DataPipeline);
  Read(group, "HeaderBand", &TppGroup::HeaderBand);
  Read(group, "FooterBand", &TppGroup::FooterBand);
  Read(group, "BreakNo", &TppGroup::BreakNo);
  Read(group, "FirstPageNo", &TppGroup::FirstPageNo);

  ReportUnits(group, "NewPageThreshold", axVertical, &TppGroup::mmNewPageThreshold, &TppGroup::SetmmNewPageThreshold);
  ReportUnits(group, "NewColumnThreshold", axHorizontal, &TppGroup::mmNewColumnThreshold, &TppGroup::SetmmNewColumnThreshold);
  ReportUnits(band, "Height", axVertical, &TppBand::mmHeight, &TppBand::SetmmHeight);
  band.Property("mmWidth", daInteger, GETTER(TppBand, Int(&v) = self.GetPrintableWidth()))
      .EnumProperty("Units", EnumTypeInfo(TppUnitType{}).Name(), GETTER(TppBand, ToSlot<TppUnitType>(v, UnitsOf(self))));
  ScreenPixels(band, "spWidth", axHorizontal, &TppBand::GetPrintableWidth, static_cast<void (TppBand::*)(int)>(nullptr));
  group.Property("PageNo", daInteger, GETTER(TppGroup, Int(&v) = self.Report() ? self.PageNo(self.Report()->AbsolutePageNo()) : 0))
      .EnumProperty("Units", EnumTypeInfo(TppUnitType{}).Name(), GETTER(TppGroup, ToSlot<TppUnitType>(v, UnitsOf(self))));
  ReadWrite(detailBand, "BandsPerRecordCount", &TppDetailBand::BandsPerRecordCount, &TppDetailBand::SetBandsPerRecordCount);
  ReadWrite(detailBand, "DataPipeline", &TppDetailBand::DataPipeline, &TppDetailBand::SetDataPipeline);
  RefuseWhilePrinting(detailBand, "DataPipeline");
  Read(groupBand, "Group", &TppGroupBand::Group);
  groupHeaderBand.Property("AlreadyPageBreak", daBoolean, GETTER(TppGroupHeaderBand, SetBool(&v, self.Group() && self.Group()->AlreadyPageBreak())));
  Read(subReport, "ExpansionCount", &TppSubReport::ExpansionCount);
  ReadIndexed(subReport, "Expansions", &TppSubReport::ExpansionCount, &TppSubReport::Expansions);
  Read(subReport, "CurrentExpansionKey", &TppSubReport::CurrentExpansionKey);
  Read(subReport, "CurrentReportKey", &TppSubReport::CurrentReportKey);
  Read(subReport, "DrillDownExpanded", &TppSubReport::DrillDownExpanded);
  ReadWrite(producer, "DeviceType", &TppProducer::DeviceType, &TppProducer::SetDeviceType);
  ReadWrite(producer, "ShowPrintDialog", &TppProducer::ShowPrintDialog, &TppProducer::SetShowPrintDialog);
  ReadWrite(producer, "ShowCancelDialog", &TppProducer::ShowCancelDialog, &TppProducer::SetShowCancelDialog);
  ReadWrite(producer, "ModalCancelDialog", &TppProducer::ModalCancelDialog, &TppProducer::SetModalCancelDialog);
  ReadWrite(producer, "ModalPreview", &TppProducer::ModalPreview, &TppProducer::SetModalPreview);
  ReadWrite(producer, "AllowPrintToFile", &TppProducer::AllowPrintToFile, &TppProducer::SetAllowPrintToFile);
  ReadWrite(producer, "AllowPrintToArchive", &TppProducer::AllowPrintToArchive, &TppProducer::SetAllowPrintToArchive);
  ReadWrite(producer, "TextFileName", &TppProducer::TextFileName, &TppProducer::SetTextFileName);
  ReadWrite(producer, "ArchiveFileName", &TppProducer::ArchiveFileName, &TppProducer::SetArchiveFileName);
  ReadWrite(producer, "TextFileType", &TppProducer::TextFileType, &TppProducer::SetTextFileType);
  ReadWrite(producer, "SavePrinterSetup", &TppProducer::SavePrinterSetup, &TppProducer::SetSavePrinterSetup);
  ReadWrite(producer, "Language", &TppProducer::Language, &TppProducer::SetLanguage);
  Read(producer, "LanguageIndex", &TppProducer::LanguageIndex);
  Read(producer, "EnableProcessMessages", &TppProducer::EnableProcessMessages);
  Read(producer, "Printing", &TppProducer::Printing);
  Read(producer, "CurrentPage", &TppProducer::CurrentPage);
  Read(producer, "PrinterSetup", &TppProducer::PrinterSetup);
  Read(producer, "Publisher", &TppProducer::Publisher);
  Read(producer, "Version", &TppProducer::Version);
  Read(producer, "VersionNo", &TppProducer::VersionNo);
  Read(producer, "Converted", &TppProducer::Converted);
  Read(producer, "ConvertedFromPre40", &TppProducer::ConvertedFromPre40);

  Read(customReport, "AbsolutePageCount", &TppCustomReport::AbsolutePageCount);
  Read(customReport, "BandCount", &TppCustomReport::BandCount);
  ReadIndexed(customReport, "Bands", &TppCustomReport::BandCount, &TppCustomReport::Bands);
  Read(customReport, "GroupCount", &TppCustomReport::GroupCount);
  ReadIndexed(customReport, "Groups", &TppCustomReport::GroupCount, &TppCustomReport::Groups);
  Read(customReport, "Modified", &TppCustomReport::Modified);
  Read(customReport, "ParentReport", &TppCustomReport::ParentReport);
  ReportUnits(customReport, "ColumnWidth", axHorizontal, &TppCustomReport::ColumnWidth, &TppCustomReport::SetColumnWidth);
  ScreenPixels(customReport, "spColumnWidth", axHorizontal, &TppCustomReport::ColumnWidth, &TppCustomReport::SetColumnWidth);
  // Bands printed once per report (title, summary) and once per page (header, footer).
  for (const auto& [name, kinds] : {std::pair<const char*, uint16_t>{"ReportBandCount", ppbkTitle | ppbkSummary},
                                    {"PageBandCount", ppbkPageHeader | ppbkPageFooter}}) {
    const uint16_t mask = kinds;
    customReport.Property(name, daInteger, [mask](TObject& o, TraValue& v) {
      auto& self = As<TppCustomReport>(o);
      int count = 0;
      for (int i = 0; i < self.BandCount(); ++i) count += (self.Bands(i)->KindFlags() & mask) != 0;
      Int(&v) = count;
      return true;
    });
  }
  customReport.Property("PrintDateTime", daDateTime,
                        GETTER(TppCustomReport, static_cast<TraDayCountValue&>(v).Value = self.Engine().PrintDateTime()))
      .Method("GetBand", {P("BandType", daInteger), P("GroupIndex", daInteger), RObj(TppBand::StaticClassType())},
              CALL(TppCustomReport, {
                if (Int(a[0]) < btHeader || Int(a[0]) > btPageStyle) throw EScriptError("Invalid band type (" + std::to_string(Int(a[0])) + ")");
                Obj(a[2]) = self.GetBand(static_cast<TppBandType>(Int(a[0])), Int(a[1]));
              }));

  // A group's break as the engine follows it.
  Read(group, "BreakComponent", &TppGroup::BreakComponent);
  Read(group, "Breaking", &TppGroup::Breaking);
  Read(group, "BreakValue", &TppGroup::BreakValue);
  Read(group, "PriorValue", &TppGroup::PriorValue);
  Read(group, "KeptTogether", &TppGroup::KeptTogether);
  Read(group, "FirstColumn", &TppGroup::FirstColumn);
  Read(group, "FirstPage", &TppGroup::FirstPage);
  Read(group, "LastPageNo", &TppGroup::LastPageNo);
  Read(group, "PageCount", &TppGroup::PageCount);
  Read(group, "Description", &TppGroup::GetDescription);
  group.Property("CurrentValue", daString, GETTER(TppGroup, Str(&v) = self.CurrentValue()))
      .Event("BeforeHeader", ppevBeforeGroupHeader)
      .Event("BeforeFooter", ppevBeforeGroupFooter);
  Read(groupBand, "Description", &TppGroupBand::GetDescription);
  Read(printable, "Description", &TppPrintable::GetDescription);

  // The band's texts that save and its variables, in their orders.
  const auto saves = [](TObject& o) { return TppCustomText::BandSaves(&As<TppBand>(o)); };
  const auto variables = [](TObject& o) { return TppVariable::BandVariables(&As<TppBand>(o)); };
  band.Property("SaveCount", daInteger, [saves](TObject& o, TraValue& v) {
        Int(&v) = static_cast<int>(saves(o).size());
        return true;
      })
      .IndexedProperty("Saves", {P("Index", daInteger), RObj(TppCustomText::StaticClassType())},
                       [saves](TObject* o, TraValue* const* a, bool get) {
                         const auto list = saves(*o);
                         CheckIndex(Int(a[0]), static_cast<int>(list.size()));
                         if (get) Obj(a[1]) = list[static_cast<size_t>(Int(a[0]))];
                         return get;
                       }, true)
      .Property("VariableCount", daInteger, [variables](TObject& o, TraValue& v) {
        Int(&v) = static_cast<int>(variables(o).size());
        return true;
      })
      .IndexedProperty("Variables", {P("Index", daInteger), RObj(TppVariable::StaticClassType())},
                       [variables](TObject* o, TraValue* const* a, bool get) {
                         const auto list = variables(*o);
                         CheckIndex(Int(a[0]), static_cast<int>(list.size()));
                         if (get) Obj(a[1]) = list[static_cast<size_t>(Int(a[0]))];
                         return get;
                       }, true);

  // A pipeline's fields and links as objects; a field reads the current
  // record through its pipeline.
  ReadIndexed(dataPipeline, "Fields", &TppDataPipeline::FieldCount, &TppDataPipeline::Fields);
  ReadIndexed(dataPipeline, "Links", &TppDataPipeline::LinkCount, &TppDataPipeline::Links);
  dataPipeline
      .IndexedProperty("FieldObjects", {P("FieldName", daString), RObj(TppField::StaticClassType())},
                       CALL(TppDataPipeline, if (get) Obj(a[1]) = self.FindField(Str(a[0]))), true)
      .Event("OnMasterRecordPositionChange", ppevMasterRecordPositionChange)
      .Event("OnGotoBookmark", ppevGotoBookmark);
  Read(field, "DataPipeline", &TppField::DataPipeline);
  Read(field, "Value", &TppField::Value);
  Read(field, "AsString", &TppField::AsString);
  Read(field, "AsDouble", &TppField::AsDouble);
  Read(field, "IsNull", &TppField::IsNull);
  field.ClassProperty("AsPicture", TppPicture::StaticClassType(), GETTER(TppField, Obj(&v) = self.AsPicture()));

  // The cache that keeps each generated page's state of the report's objects.
  report.ClassProperty("CacheManager", TppCacheManager::StaticClassType(),
                       GETTER(TppReport, Obj(&v) = &self.Engine().Cache()));

  // Print's job as it runs.
  Read(producer, "Producing", &TppProducer::Producing);
  Read(producer, "FileDevice", &TppProducer::FileDevice);
  Read(producer, "PrinterDevice", &TppProducer::PrinterDevice);
  Read(producer, "Icon", &TppProducer::Icon);
  producer.Event("OnCancel", ppevCancel)
      .Event("OnCancelDialogCreate", ppevCancelDialogCreate)
      .Event("OnCancelDialogClose", ppevCancelDialogClose)
      .Event("OnPreviewFormCreate", ppevPreviewFormCreate)
      .Event("OnPreviewFormClose", ppevPreviewFormClose)
      .Event("OnPrintDialogCreate", ppevPrintDialogCreate)
      .Event("OnPrintDialogClose", ppevPrintDialogClose)
      .Event("OnSaveText", ppevSaveText, {PVar("Text", daString)});

  // The engine's view of the run.
  Read(customReport, "AbsolutePage", &TppCustomReport::AbsolutePageNo);
  Read(customReport, "PageCount", &TppCustomReport::PageCount);
  Read(customReport, "CurrentColumn", &TppCustomReport::CurrentColumn);
  Read(customReport, "DonePrinting", &TppCustomReport::DonePrinting);
  Read(customReport, "PrintingAsSubReport", &TppCustomReport::PrintingAsSubReport);
  customReport.Method("Stop", {}, CALL(TppCustomReport, self.Stop()))
      .Method("PageLimitReached", {}, CALL(TppCustomReport, self.PageLimitReached()));
  Read(subReport, "Count", &TppSubReport::Count);
  subReport.Method("CreateReport", {PObj("aMasterReport", TppCustomReport::StaticClassType())}, CALL(TppSubReport, {
                     if (self.ReportIsPrinting()) throw EScriptError("CreateReport cannot run while the report prints");
                     self.CreateReport(dynamic_cast<TppCustomReport*>(Obj(a[0])));
                   }));
  // A command taken off stays alive until the page is cleared: the
  // component that made it may still hold it.
  page.Method("RemoveDrawCommand", {PObj("aDrawCommand", TppDrawCommand::StaticClassType())}, CALL(TppPage, {
        auto* command = dynamic_cast<TppDrawCommand*>(Obj(a[0]));
        if (!command || command->Page() != &self) throw EScriptError("The draw command is not on this page");
        self.DiscardDrawCommand(command);
      }));

  ReadWrite(dataPipeline, "SkipWhenNoRecords", &TppDataPipeline::SkipWhenNoRecords, &TppDataPipeline::SetSkipWhenNoRecords);
  Read(dataPipeline, "FieldCount", &TppDataPipeline::FieldCount);
  Read(dataPipeline, "LinkCount", &TppDataPipeline::LinkCount);
  Read(dataPipeline, "MasterDataPipeline", &TppDataPipeline::MasterDataPipeline);
  dataPipeline.Property("BOF", daBoolean, GETTER(TppDataPipeline, static_cast<TraBooleanValue&>(v).Set(self.Bof())))
      .Property("EOF", daBoolean, GETTER(TppDataPipeline, static_cast<TraBooleanValue&>(v).Set(self.Eof())));

  ReadWrite(dbPipeline, "DataSource", &TppDBPipeline::DataSource, &TppDBPipeline::SetDataSource);
  ReadWrite(autoSearchField, "DisableCriteria", &TppAutoSearchField::DisableCriteria, &TppAutoSearchField::SetDisableCriteria);
  Read(autoSearchField, "Value", &TppAutoSearchField::Value);
  Read(autoSearchField, "ValueCount", &TppAutoSearchField::ValueCount);
  ReadIndexed(autoSearchField, "Values", &TppAutoSearchField::ValueCount, &TppAutoSearchField::Values);

  // The report keeps the choice, beside its auto-search fields; another
  // producer has no dialog to show.
  producer.Property("ShowAutoSearchDialog", daBoolean,
                    GETTER(TppProducer, {
                      auto* report = dynamic_cast<TppReport*>(&self);
                      SetBool(&v, report && report->ShowAutoSearchDialog());
                    }),
                    SETTER(TppProducer, if (auto* report = dynamic_cast<TppReport*>(&self)) report->SetShowAutoSearchDialog(BoolOf(v))));
  Read(report, "AutoSearchFieldCount", &TppReport::AutoSearchFieldCount);
  ReadIndexed(report, "AutoSearchFields", &TppReport::AutoSearchFieldCount, &TppReport::AutoSearchFields);
  Read(report, "AutoSearchDescription", &TppReport::AutoSearchDescription);
  report.Method("GetAutoSearchDescriptionAsString", {R(daString)}, CALL(TppReport, Str(a[0]) = self.AutoSearchDescription()))
      .Method("GetAutoSearchDescriptionLines", {PObj("aLines", stringsClass)}, CALL(TppReport, {
                if (Obj(a[0])) self.GetAutoSearchDescriptionLines(As<TStrings>(Obj(a[0])));
              }))
      .Method("AutoSearchCriteriaByName",
              {P("aDataPipelineName", daString), P("aFieldName", daString), RObj(TppAutoSearchField::StaticClassType())},
              CALL(TppReport, Obj(a[2]) = self.AutoSearchCriteriaByName(Str(a[0]), Str(a[1]))))
      .Method("CreateAutoSearchCriteria",
              {P("aDataPipelineName", daString), P("aFieldName", daString),
               TraParamRec{"aOperator", daEnum, nullptr, "TppSearchOperatorType"}, P("aExpression", daString),
               P("aMandatory", daBoolean), RObj(TppAutoSearchField::StaticClassType())},
              CALL(TppReport, {
                const int op = static_cast<TraEnumValue*>(a[2])->Ord;
                if (op > soNotBlank) throw EScriptError("Invalid search operator (" + std::to_string(op) + ")");
                Obj(a[5]) = self.CreateAutoSearchCriteria(Str(a[0]), Str(a[1]), static_cast<TppSearchOperatorType>(op), Str(a[3]), BoolOf(*a[4]));
              }));

  ReadWrite(templateDBSettings, "DataPipeline", &TppTemplateDBSettings::DataPipeline, &TppTemplateDBSettings::SetDataPipeline);
  ReadWrite(templateDBSettings, "Name", &TppTemplateDBSettings::Name, &TppTemplateDBSettings::SetName);
  ReadWrite(templateDBSettings, "NameField", &TppTemplateDBSettings::NameField, &TppTemplateDBSettings::SetNameField);
  ReadWrite(templateDBSettings, "TemplateField", &TppTemplateDBSettings::TemplateField, &TppTemplateDBSettings::SetTemplateField);
  Read(reportTemplate, "Report", &TppReportTemplate::Report);
  Read(customTemplate, "Owner", &TppCustomTemplate::Owner);
  Read(customTemplate, "DatabaseSettings", &TppCustomTemplate::DatabaseSettingsObject);
  ReadWrite(customTemplate, "Description", &TppCustomTemplate::Description, &TppCustomTemplate::SetDescription);
  ReadWrite(customTemplate, "FileName", &TppCustomTemplate::FileName, &TppCustomTemplate::SetFileName);
  ReadWrite(customTemplate, "Format", &TppCustomTemplate::Format, &TppCustomTemplate::SetFormat);
  ReadWrite(customTemplate, "Offset", &TppCustomTemplate::Offset, &TppCustomTemplate::SetOffset);
  ReadWrite(customTemplate, "SaveTo", &TppCustomTemplate::SaveTo, &TppCustomTemplate::SetSaveTo);
  Read(layoutTemplate, "Root", &TppTemplate::Root);
  Read(layoutTemplate, "FileExtension", &TppTemplate::FileExtension);
  Read(layoutTemplate, "FileFilter", &TppTemplate::FileFilter);
  Read(layoutTemplate, "ReadOnly", &TppTemplate::ReadOnly);
  // Loading replaces the report's components, the handlers' own objects
  // among them: refused while the report prints.
  auto refuseWhilePrinting = [](TppTemplate& t) {
    if (auto* report = dynamic_cast<TppCustomReport*>(t.Owner()); report && report->Printing())
      throw EScriptError("A report cannot load a layout while it prints");
  };
  layoutTemplate
      .Method("LoadFromFile", {}, [refuseWhilePrinting](TObject* o, TraValue* const*, bool) {
        auto& self = As<TppTemplate>(o);
        refuseWhilePrinting(self);
        raCheckFileAccess(self.FileName());
        self.LoadFromFile();
        return true;
      })
      .Method("SaveToFile", {}, CALL(TppTemplate, {
                raCheckFileAccess(self.FileName());
                self.SaveToFile();
              }))
      .Method("LoadFromDatabase", {}, [refuseWhilePrinting](TObject* o, TraValue* const*, bool) {
        auto& self = As<TppTemplate>(o);
        refuseWhilePrinting(self);
        self.LoadFromDatabase();
        return true;
      })
      .Method("New", {}, [refuseWhilePrinting](TObject* o, TraValue* const*, bool) {
        auto& self = As<TppTemplate>(o);
        refuseWhilePrinting(self);
        self.New();
        return true;
      })
      .Method("SaveToDatabase", {}, CALL(TppTemplate, self.SaveToDatabase()));

  Read(drawCommand, "RedrawPage", &TppDrawCommand::RedrawPage);
  // Read only: a script moving a command the engine is still placing would
  // leave the engine with a command on another page.
  Read(drawCommand, "Page", &TppDrawCommand::Page);

  customReport
      .ClassProperty("Engine", TppCustomEngine::StaticClassType(), GETTER(TppCustomReport, Obj(&v) = &self.Engine()))
      .ClassProperty("Page", TppPage::StaticClassType(), GETTER(TppCustomReport, Obj(&v) = self.Engine().Page()))
      .ClassProperty("MainReport", TppCustomReport::StaticClassType(), GETTER(TppCustomReport, Obj(&v) = self.MainReport()));

  // The banded report's bands by kind, each under two names.
  struct TBandEntry {
    const char* Name;
    const char* BandName;
    TppBandType Type;
    const TClassInfo& Class;
  };
  for (const TBandEntry& entry : {TBandEntry{"Title", "TitleBand", btTitle, TppTitleBand::StaticClassType()},
                                  {"Header", "HeaderBand", btHeader, TppHeaderBand::StaticClassType()},
                                  {"ColumnHeader", "ColumnHeaderBand", btColumnHeader, TppColumnHeaderBand::StaticClassType()},
                                  {"Detail", "DetailBand", btDetail, TppDetailBand::StaticClassType()},
                                  {"ColumnFooter", "ColumnFooterBand", btColumnFooter, TppColumnFooterBand::StaticClassType()},
                                  {"Footer", "FooterBand", btFooter, TppFooterBand::StaticClassType()},
                                  {"Summary", "SummaryBand", btSummary, TppSummaryBand::StaticClassType()}}) {
    const TppBandType type = entry.Type;
    for (const char* name : {entry.Name, entry.BandName})
      report.ClassProperty(name, entry.Class, [type](TObject& o, TraValue& v) {
        Obj(&v) = As<TppCustomReport>(o).GetBand(type);
        return true;
      });
  }
  for (const TBandEntry& entry : {TBandEntry{"GroupHeader", "GroupHeaderBand", btGroupHeader, TppGroupHeaderBand::StaticClassType()},
                                  {"GroupFooter", "GroupFooterBand", btGroupFooter, TppGroupFooterBand::StaticClassType()}}) {
    const TppBandType type = entry.Type;
    for (const char* name : {entry.Name, entry.BandName})
      report.IndexedProperty(name, {P("Index", daInteger), RObj(entry.Class)},
                             [type](TObject* o, TraValue* const* a, bool get) {
                               auto& self = As<TppCustomReport>(o);
                               CheckIndex(Int(a[0]), self.GroupCount());
                               if (get) Obj(a[1]) = self.GetBand(type, Int(a[0]));
                               return get;
                             }, true);
  }

  (void)Bool;
}

}  // namespace

void raRegisterAdapters() {
  raRegisterEnumTables();
  static TAdapters adapters;
  static const bool registered = [] {
    adapters.Register();
    // Layouts carry code modules: readers create them by name.
    RegisterClass(TraCodeModule::StaticClassType());
    return true;
  }();
  (void)registered;
}

#pragma once
// Reads components from the binary object stream (the text form is
// converted to it first, see rtlObjectText.h).
//
// States and order: a component read is in csLoading and csReading from its
// creation; csReading ends when its properties and children have been read.
// After the whole stream, references are resolved against the root (a
// reference names a component owned by the root, or by the root's
// components: "Owner.Name"), then Loaded is called on every component read,
// in the order they were created, which clears csLoading. A reference that
// names no component leaves the property as it was.
//
// Errors: a damaged stream raises EReadError (the stream read error, or
// "Invalid stream format", or "Error reading Name.Prop: reason" for a value
// a property refuses, which OnError may choose to skip); an unknown class
// raises EClassNotFound; a clashing name EComponentError unless OnSetName
// renames. Components created by the failed read are freed; the others stay
// where they were read to, out of the loading states.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "rtlCollections.h"
#include "rtlCurrency.h"
#include "rtlDateTime.h"
#include "rtlFiler.h"
#include "rtlTypeInfo.h"

class TReaderWatch;

class TReader : public TFiler {
public:
  // Lets the caller change the name before a component read takes it (to
  // make a clashing name unique, for example).
  using TSetNameEvent = std::function<void(TReader& reader, TComponent* component, std::string& name)>;
  // Called for every method name read; error is true when the root's class
  // has no published method of that name. Clearing error accepts the method
  // given (an empty one leaves the event unassigned).
  using TFindMethodEvent =
      std::function<void(TReader& reader, const std::string& methodName, TMethod& method, bool& error)>;
  // Called when a property value is refused; setting handled skips the
  // value and goes on.
  using TReaderErrorEvent = std::function<void(TReader& reader, const std::string& message, bool& handled)>;

  TSetNameEvent OnSetName;
  TFindMethodEvent OnFindMethod;
  TReaderErrorEvent OnError;

  explicit TReader(TStream& stream);
  ~TReader() override;

  // Reads the signature and one component into root, or into a new
  // instance of the stream's class (owned by nobody) when root is nullptr.
  TComponent* ReadRootComponent(TComponent* root);
  // Reads components, each after its signature, until the stream ends or a
  // vaNull; each is owned by owner (also the root), has parent as its
  // parent, and is handed to proc once read.
  void ReadComponents(TComponent* owner, TComponent* parent,
                      const std::function<void(TComponent* component)>& proc);
  // One component with the current owner and parent.
  TComponent* ReadComponent();
  // The properties and children of instance (TComponent::ReadState).
  void ReadData(TComponent* instance);
  void ReadSignature();

  TComponent* Owner() const { return owner; }
  TComponent* Parent() const { return parent; }

  void DefineProperty(const std::string& name, const TReaderProc& readData,
                      const TWriterProc& writeData, bool hasData) override;
  void DefineBinaryProperty(const std::string& name, const TStreamProc& readData,
                            const TStreamProc& writeData, bool hasData) override;

  // Values. Each checks its tag and the stream's length: what the stream
  // cannot hold raises EReadError before anything is allocated.
  TValueType ReadValue();
  TValueType NextValue();
  bool EndOfList();
  void ReadListBegin();
  void ReadListEnd();
  void CheckValue(TValueType expected);
  int32_t ReadInteger();
  int64_t ReadInt64();
  bool ReadBoolean();
  char ReadChar();
  // Any numeric value.
  long double ReadFloat();
  float ReadSingle();
  Currency ReadCurrency();
  TDateTime ReadDate();
  std::string ReadString();
  // An identifier; False, True, nil and Null come back as those words.
  std::string ReadIdent();
  Variant ReadVariant();
  // A short string: a length byte and the bytes.
  std::string ReadStr();
  // A binary value's bytes.
  std::vector<uint8_t> ReadBinary();
  // vaCollection and its items into collection, whose items it replaces
  // (an empty value empties it). The owning component is the
  // one whose references the items' properties resolve with.
  void ReadCollection(TCollection* collection, TComponent* component);
  void ReadPrefix(TFilerFlags& flags, int& childPos);
  // Skips one value of any kind (nested ones too).
  void SkipValue();
  // Bytes left after the position.
  int64_t Remaining();
  // For streams that may hold more than MaxStreamComponents components
  // (a large archived page): the bound becomes what the bytes left can
  // hold, so the memory a stream can ask for still follows its size.
  void BoundComponentsByStreamSize();

private:
  struct TFixup {
    size_t component;  // in loaded: the component whose (sub)object holds the property
    TPersistent* instance;
    const TPropInfo* prop;
    std::string name;
  };

  TComponent* owner = nullptr;
  TComponent* parent = nullptr;
  // The name of the property being read while DefineProperties runs.
  std::string propName;
  bool propertyHandled = false;
  int nesting = 0;
  int componentsRead = 0;
  int64_t maxComponents = MaxStreamComponents;
  std::vector<TFixup> fixups;
  // Components read, in creation order; entries of components freed
  // meanwhile become nullptr (the watch hears of every free), so indexes
  // stay valid and a new component at a freed one's address is told apart.
  std::vector<TComponent*> loaded;
  std::unordered_map<TComponent*, size_t> loadedIndex;
  std::vector<TComponent*> reading;
  std::unique_ptr<TReaderWatch, TObjectFree> watch;

  friend class TReaderWatch;
  friend class TNestingGuard;
  void Forget(TComponent* component);

  void ReadProperty(TPersistent* instance, TComponent* component);
  void ReadPropValue(TPersistent* instance, TComponent* component, const TPropInfo& prop);
  [[noreturn]] void PropertyError(const std::string& name);
  void HandlePropertyError(TComponent* component, const std::string& name,
                           const std::string& reason, int64_t valueStart);
  TMethod FindMethod(const std::string& methodName);
  void SetCompName(TComponent* component, const std::string& name);
  // The component's index in loaded (added once).
  size_t AddLoaded(TComponent* component);
  void FixupReferences();
  // Drops the pending references of properties held by the items of
  // collection, which is about to free them.
  void ForgetFixupsIn(TCollection* collection);
  void CallLoaded();
  void Abandon();
  void Enter();
  void Leave() { --nesting; }
  void ReadBytes(void* buffer, int64_t count);
  uint8_t PeekByte();
  void SkipBytes(int64_t count);
  int64_t ReadLength();
  template <typename T>
  T ReadLE();
};

// The component a reference names from root: "Name" among root's
// components (or root itself), "A.B" B among A's; nullptr when none.
TComponent* FindNestedComponent(TComponent* root, std::string_view namePath);

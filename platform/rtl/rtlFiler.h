#pragma once
// What the object streams' reader and writer share: the binary format's
// value tags and prefix flags, and TFiler with the hooks through which
// components stream data of their own (DefineProperty,
// DefineBinaryProperty).
//
// Binary form: "TPF0", then one component: an optional prefix byte
// (0xF0 | flags, followed by an integer value when ffChildPos is set), the
// class name and the component name as short strings (a length byte and
// the bytes), the properties (a short-string name, then a tagged value)
// up to a vaNull, the child components up to a vaNull. Numbers are
// little-endian.

#include <cstdint>
#include <functional>
#include <string>

#include "rtlClasses.h"
#include "rtlSets.h"
#include "rtlStreams.h"

enum TValueType : uint8_t {
  vaNull,
  vaList,
  vaInt8,
  vaInt16,
  vaInt32,
  vaExtended,
  vaString,
  vaIdent,
  vaFalse,
  vaTrue,
  vaBinary,
  vaSet,
  vaLString,
  vaNil,
  vaCollection,
  vaSingle,
  vaCurrency,
  vaDate,
  vaWString,
  vaInt64,
  vaUTF8String
};
inline constexpr uint8_t MaxValueType = vaUTF8String;

enum TFilerFlag { ffInherited, ffChildPos, ffInline };
using TFilerFlags = TSet<TFilerFlag>;
// The high nibble that marks a prefix byte before a component's class name.
inline constexpr uint8_t FilerPrefixMark = 0xF0;

inline constexpr char FilerSignature[4] = {'T', 'P', 'F', '0'};

// Objects and lists nested deeper than this are refused, so no stream can
// exhaust the stack.
inline constexpr int MaxFilerNesting = 200;
// A stream with more components than this is refused: no layout or page
// comes near this many, so a larger count is damage or a hostile stream
// asking for memory.
inline constexpr int MaxStreamComponents = 20000;
// The fewest bytes a component takes in a binary stream: a one-character
// class name, an empty name and the ends of its property and child lists.
// Streams allowed more components than MaxStreamComponents (archived
// pages) are bounded by their size through it instead.
inline constexpr int MinStreamComponentBytes = 5;

class TReader;
class TWriter;
using TReaderProc = std::function<void(TReader& reader)>;
using TWriterProc = std::function<void(TWriter& writer)>;
using TStreamProc = std::function<void(TStream& stream)>;

class TFiler {
public:
  explicit TFiler(TStream& stream) : stream(stream) {}
  TFiler(const TFiler&) = delete;
  TFiler& operator=(const TFiler&) = delete;
  virtual ~TFiler() = default;

  // Called from DefineProperties: the reader calls readData when the stored
  // property has this name; the writer writes the name and calls writeData
  // when hasData is true. A binary property's procedures see a stream of
  // its own bytes only.
  virtual void DefineProperty(const std::string& name, const TReaderProc& readData,
                              const TWriterProc& writeData, bool hasData) = 0;
  virtual void DefineBinaryProperty(const std::string& name, const TStreamProc& readData,
                                    const TStreamProc& writeData, bool hasData) = 0;

  // The component whose owned components references are resolved against
  // (reading) and named relative to (writing).
  TComponent* Root() const { return root; }
  void SetRoot(TComponent* value) { root = value; }
  // While a writer writes a descendant (TWriter::WriteDescendent): the
  // ancestor's counterpart of the object whose properties are being
  // written, so that DefineProperties writes only what differs from it.
  // nullptr otherwise, and always in a reader.
  TPersistent* Ancestor() const { return ancestor; }

protected:
  TStream& stream;
  TPersistent* ancestor = nullptr;

private:
  TComponent* root = nullptr;
};

// The text functions. A character is one byte in a table's code page and
// one UTF-8 sequence under language 0, so that positions and lengths never
// split a character.

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "engExpEvalInternal.h"
#include "engStrings.h"
#include "engTextCompare.h"
#include "rtlUtf8.h"

namespace {

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Bytes taken by the first count characters of text.
size_t CharactersToBytes(std::string_view text, int64_t count, bool utf8) {
  if (count <= 0) return 0;
  if (!utf8) return static_cast<size_t>(std::min<uint64_t>(static_cast<uint64_t>(count), text.size()));
  size_t at = 0;
  while (at < text.size() && count-- > 0) {
    ++at;
    while (at < text.size() && IsContinuation(text[at])) ++at;
  }
  return at;
}

// A memo's value is its bytes, as many as its size says, with no zero
// after them; a string ends at its zero.
std::string_view TextArgument(const TExpToken& value) {
  if (value.DataType == dtBlob)
    return std::string_view(value.AsText(), strnlen(value.AsText(), size_t(std::max(value.DataSize, 0))));
  return value.AsText();
}

void Substring(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  const bool utf8 = context.LanguageId == 0;
  const TExpValue argument = EvaluateValue(context, *node.First);
  const TExpValue start = EvaluateValue(context, *node.Second);
  std::string_view text = TextArgument(*argument);
  text.remove_prefix(CharactersToBytes(text, WholeValue(*start) - 1, utf8));
  if (const TExpToken* lengthNode = node.Second->Next) {
    const TExpValue length = EvaluateValue(context, *lengthNode);
    text = text.substr(0, CharactersToBytes(text, WholeValue(*length), utf8));
  }
  StoreTextOrNull(result, text);
}

void MapCase(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  const TExpValue argument = EvaluateValue(context, *node.First);
  std::string text(TextArgument(*argument));
  if (node.Code == fnUpper)
    UpperText(context.LanguageId, context.SortId, text.c_str(), text.data());
  else
    LowerText(context.LanguageId, context.SortId, text.c_str(), text.data());
  StoreTextOrNull(result, text);
}

void Replace(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  const TExpValue text = EvaluateValue(context, *node.First);
  const TExpValue search = EvaluateValue(context, *node.Second);
  const TExpValue replacement = EvaluateValue(context, *node.Second->Next);
  StoreTextOrNull(result, ReplaceAll(TextArgument(*search), TextArgument(*replacement), TextArgument(*text)));
}

void Search(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  const TExpValue text = EvaluateValue(context, *node.First);
  const TExpValue search = EvaluateValue(context, *node.Second);
  const std::string_view searched = TextArgument(*text), sub = TextArgument(*search);
  int64_t value;
  if (node.Code == fnOccurs) {
    value = CountOccurrences(sub, searched);
  } else {
    value = PosText(sub, searched);
    if (value > 0 && context.LanguageId == 0) value = static_cast<int64_t>(Utf8Length(searched.substr(0, value - 1))) + 1;
  }
  StoreWhole(result, value, node.Text + " function");
}

// The checker allows a one-byte trim character only.
void Trim(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  const TExpValue argument = EvaluateValue(context, *node.First);
  const TExpValue trimArgument = EvaluateValue(context, *node.Second);
  const std::string_view text = TextArgument(*argument);
  const char character = trimArgument->AsText()[0];
  if (node.Code == fnTrimLeading)
    StoreTextOrNull(result, TrimLeftChar(text, character));
  else if (node.Code == fnTrimTrailing)
    StoreTextOrNull(result, TrimRightChar(text, character));
  else
    StoreTextOrNull(result, TrimChar(text, character));
}

}  // namespace

void EvaluateTextFunction(const TExpEvalContext& context, const TExpToken& node, TExpToken& result) {
  switch (node.Code) {
    case fnUpper:
    case fnLower:
      MapCase(context, node, result);
      break;
    case fnSubstring:
      Substring(context, node, result);
      break;
    case fnReplace:
      Replace(context, node, result);
      break;
    case fnPos:
    case fnOccurs:
      Search(context, node, result);
      break;
    default:
      Trim(context, node, result);
      break;
  }
}

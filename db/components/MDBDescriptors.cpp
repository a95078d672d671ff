#include "MDBDescriptors.h"

#include <string>

#include "rtlUtf8.h"

namespace {

// At most limit bytes, never cutting a character in two.
std::string Cut(const std::string& text, int limit) {
  std::string cut = text;
  if (static_cast<int>(cut.size()) > limit) {
    cut = Utf8Truncated(cut, limit);
    while (static_cast<int>(cut.size()) > limit) cut = Utf8Truncated(cut, static_cast<int>(Utf8Length(cut)) - 1);
  }
  return cut;
}

}  // namespace

void AppendFieldDefinition(TFieldDefinition field, std::vector<TFieldDefinition>& fields) {
  field.Name = Cut(field.Name, FieldNameLimit);
  field.Description = Cut(field.Description, FieldTextLimit);
  field.Minimum = Cut(field.Minimum, FieldTextLimit);
  field.Maximum = Cut(field.Maximum, FieldTextLimit);
  field.Default = Cut(field.Default, FieldTextLimit);
  fields.push_back(std::move(field));
}

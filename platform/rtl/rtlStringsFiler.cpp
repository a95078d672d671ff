// The string lists' part in the type registry and the object streams.

#include "rtlReader.h"
#include "rtlStringList.h"
#include "rtlTypeInfo.h"
#include "rtlWriter.h"

RTL_DEFINE_CLASS(TStrings)
RTL_DEFINE_CLASS(TStringList)

void TStrings::AssignTo(TPersistent* dest) const {
  if (auto* strings = dynamic_cast<TStrings*>(dest)) {
    strings->Assign(*this);
    return;
  }
  TPersistent::AssignTo(dest);
}

void TStrings::DefineProperties(TFiler& filer) {
  TPersistent::DefineProperties(filer);
  filer.DefineProperty(
      "Strings",
      [this](TReader& reader) {
        BeginUpdate();
        try {
          Clear();
          reader.ReadListBegin();
          while (!reader.EndOfList()) Add(reader.ReadString());
          reader.ReadListEnd();
        } catch (...) {
          EndUpdate();
          throw;
        }
        EndUpdate();
      },
      [this](TWriter& writer) {
        writer.WriteListBegin();
        for (int i = 0; i < Count(); ++i) writer.WriteString(Get(i));
        writer.WriteListEnd();
      },
      Count() > 0);
}

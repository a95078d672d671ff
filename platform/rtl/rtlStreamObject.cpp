#include "rtlStreamObject.h"

#include "rtlTypeInfo.h"

const TClassInfo& TMemoryStreamObject::StaticClassType() {
  static const TClassInfo info = TClassBuilder<TMemoryStreamObject>("TMemoryStream").Build();
  return info;
}

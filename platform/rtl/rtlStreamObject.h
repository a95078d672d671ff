#pragma once
// A memory stream that is also an object of the class registry, for the
// places that hand streams to scripts (which know objects only). Scripts
// know it as TMemoryStream.

#include "rtlClasses.h"
#include "rtlStreams.h"

class TMemoryStreamObject : public TObject, public TMemoryStream {
  RTL_DECLARE_CLASS(TMemoryStreamObject, TObject)
};

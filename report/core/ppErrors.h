#pragma once
// The engine's exception classes.

#include "rtlExceptions.h"

RTL_EXCEPTION_CLASS(EPrintError, Exception);
RTL_EXCEPTION_CLASS(EInvalidPropertyError, Exception);

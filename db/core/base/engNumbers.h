#pragma once
// Rounding and powers for the engine's floating-point and currency values.

#include <cstdint>
#include <string>

#include "rtlCurrency.h"

// "##############0", with "." and n zeros when n > 0.
std::string DecimalsFormat(int n);

// Half away from zero at the given number of decimals; 0 stays 0.
double RoundFloat(double value, int decimals);
// base^n for n > 0, 1 otherwise.
double IntPowerFloat(double base, int n);
// The integral part; values without one (infinities, NaN) come back as they are.
double TruncFloat(double value);

// The currency twins; decimals are clamped to 0 .. 4.
Currency RoundCurrency(Currency value, int decimals);
Currency IntPowerCurrency(Currency base, int n);
Currency TruncCurrency(Currency value);

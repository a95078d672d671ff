#include "ppCustomEngine.h"

#include "rtlTypeInfo.h"

RTL_DEFINE_CLASS(TppCustomEngine)

TppCustomEngine::TppCustomEngine(TComponent* owner, TppCustomReport* report)
    : TppCacheable(owner), page(nullptr), report(report) {}

void TppCustomEngine::SetArea(int left, int top, int width, int position) {
  printLeft = left;
  printTop = top;
  printWidth = width;
  printPosition = position;
}

#include "splServerNotice.h"

#include "rtlAssert.h"

#include <algorithm>

TSpoolOutage::TSpoolOutage(std::chrono::milliseconds First, std::chrono::milliseconds Max,
                           std::chrono::milliseconds Limit)
    : first_(std::max(First, std::chrono::milliseconds(1))),
      max_(std::max(Max, first_)),
      limit_(Limit),
      wait_(first_) {}

bool TSpoolOutage::Failed(Clock::time_point Now) {
  if (inOutage_) {
    wait_ = std::min(wait_ * 2, max_);
    return false;
  }
  inOutage_ = true;
  since_ = Now;
  wait_ = first_;
  return true;
}

std::chrono::milliseconds TSpoolOutage::End(Clock::time_point Now) {
  ORV_ASSERT(inOutage_);
  inOutage_ = false;
  wait_ = first_;
  return std::chrono::duration_cast<std::chrono::milliseconds>(Now - since_);
}

bool TSpoolOutage::Expired(Clock::time_point Now) const { return inOutage_ && Now - since_ >= limit_; }

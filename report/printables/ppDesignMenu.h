#pragma once
// What a component offers on a report designer's pop-up menu and how it
// looks there. The menu is a window's (the forms layer builds it from
// these items); an item named for a published Boolean property switches
// that property, any other is a command the component runs.

#include <string>
#include <vector>

class TCanvas;
struct TRect;

struct TppDesignMenuItem {
  int Order;  // items of equal order sort by name
  std::string Name;
  int MessageNo;  // the caption's engine message
};

// The order components add their items with.
inline constexpr int ppComponentMenuOrder = 30;

class TppDesignMenuSource {
public:
  virtual ~TppDesignMenuSource() = default;
  virtual std::vector<TppDesignMenuItem> DesignMenuItems() const = 0;
  // Runs an item that is no Boolean property; answers whether the
  // component changed.
  virtual bool DesignCommand(const std::string& name) = 0;
  // Paints the component as a designer shows it over area of a screen
  // canvas.
  virtual void PaintDesignView(TCanvas& canvas, const TRect& area) = 0;
};

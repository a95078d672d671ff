#include <gtest/gtest.h>

#include "ppDesignControls.h"
#include "ppFormsKit.h"
#include "ppMessages.h"
#include "uiTestSupport.h"

namespace {

TEST(ppPopupMenu, ItemsSortByOrderThenNameAndFollowBooleanProperties) {
  TKitReport kit(1);
  TppPopupMenu menu;
  ASSERT_NE(menu.AddItem(30, "Visible", 0, "Visible"), nullptr);
  ASSERT_NE(menu.AddItem(30, "Transparent", 0, "Transparent"), nullptr);
  ASSERT_NE(menu.AddItem(10, "OK", 17), nullptr);
  EXPECT_EQ(menu.AddItem(5, "Visible", 0, "Again"), nullptr);
  std::vector<std::string> names, captions;
  for (QAction* action : menu.actions()) {
    names.push_back(action->objectName().toStdString());
    captions.push_back(action->text().toStdString());
  }
  EXPECT_EQ(names, (std::vector<std::string>{"OK", "Transparent", "Visible"}));
  EXPECT_EQ(captions[0], ppLoadMessage(17));
  menu.AssignComponent(kit.Text);
  QAction* visible = menu.FindItem("Visible");
  ASSERT_TRUE(visible->isCheckable());
  EXPECT_TRUE(visible->isChecked());
  EXPECT_FALSE(menu.FindItem("OK")->isCheckable());
  visible->trigger();
  EXPECT_FALSE(kit.Text->Visible());
  EXPECT_FALSE(visible->isChecked());
}

TEST(ppSelection, HandlesSitOnTheCornersAndEdges) {
  TestApplication();
  QWidget surface;
  TppSizingHandles sizing;
  sizing.SetParent(&surface);
  sizing.Place(QRect(10, 20, 101, 51));
  const QPoint expected[8] = {{8, 18}, {58, 18}, {109, 18}, {8, 43}, {109, 43}, {8, 69}, {58, 69}, {109, 69}};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(sizing.Handle(i)->pos(), expected[i]) << i;
  EXPECT_EQ(sizing.Handle(0)->cursor().shape(), Qt::SizeFDiagCursor);
  EXPECT_EQ(sizing.Handle(3)->cursor().shape(), Qt::SizeHorCursor);
  TppSelectionHandles corners;
  corners.SetParent(&surface);
  corners.Place(QRect(10, 20, 100, 50));
  EXPECT_EQ(corners.Handle(3)->pos(), QPoint(105, 65));
  EXPECT_EQ(corners.Handle(1)->pos(), QPoint(105, 20));
}

TEST(ppSelection, SizingHandlesContrastWithTheControl) {
  TKitReport kit(1);
  QWidget surface;
  auto* control = new QWidget(&surface);
  control->setGeometry(30, 40, 10, 10);
  TppSelectionObject selection;
  selection.SetParent(&surface);
  struct Case {
    QColor control, handles;
  };
  auto sizing = std::make_unique<TppSizingHandles>();
  selection.SetSizingHandles(sizing.get());
  selection.SetParent(&surface);
  for (const Case& c : {Case{Qt::black, Qt::white}, {QColor(0, 0, 128), Qt::white}, {Qt::yellow, Qt::black}}) {
    QPalette palette = control->palette();
    palette.setColor(QPalette::Window, c.control);
    control->setPalette(palette);
    selection.Select(kit.Text, control);
    EXPECT_EQ(sizing->Handle(0)->palette().color(QPalette::Window), c.handles);
  }
  // The text is 60 x 10 mm: 227 x 38 pixels from the control's corner.
  EXPECT_EQ(selection.BoundsRect().geometry(), QRect(30, 40, 227, 38));
  EXPECT_EQ(sizing->Handle(7)->pos(), QPoint(30 + 227 - 2, 40 + 38 - 2));
  // Freed sizing handles are forgotten: the corner handles serve instead.
  sizing.reset();
  EXPECT_EQ(selection.SizingHandles(), nullptr);
  selection.Select(kit.Text, control);
  EXPECT_EQ(selection.SelectionHandles().Handle(3)->pos(), QPoint(30 + 227 - 5, 40 + 38 - 5));
}

}  // namespace

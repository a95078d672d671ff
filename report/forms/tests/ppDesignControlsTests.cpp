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

}  // namespace

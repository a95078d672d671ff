#include <gtest/gtest.h>

#include <string>

#include "ppDrwCmd.h"
#include "uiMeasuringCanvas.h"

namespace {

TObjectPtr<TppDrawRichText> MakeCommand(const std::string& rtf) {
  TObjectPtr<TppDrawRichText> command(new TppDrawRichText(nullptr));
  command->RichTextStream().WriteBuffer(rtf.data(), static_cast<int64_t>(rtf.size()));
  return command;
}

std::vector<std::string> Texts(const TMeasuringCanvas& canvas) {
  std::vector<std::string> texts;
  for (const std::string& line : canvas.Log())
    if (line.rfind("TextOut", 0) == 0) texts.push_back(line.substr(line.rfind(' ') + 1));
  return texts;
}

}  // namespace

TEST(DrawRichText, DrawsItsCharacterRangeOnItsBackground) {
  auto command = MakeCommand("{\\rtf1 one\\par two\\par three\\par}");
  TMeasuringCanvas canvas(96);
  const TRect rect{100, 200, 400, 500};
  // The whole text on the white background.
  EXPECT_TRUE(command->DrawRichText(canvas, rect));
  ASSERT_FALSE(canvas.Log().empty());
  EXPECT_EQ(canvas.Log()[0], "FillRect 100,200,400,500");
  EXPECT_EQ(Texts(canvas), (std::vector<std::string>{"one", "two", "three"}));

  // Characters 4 to 7 are "two" and its paragraph end: drawn at the top.
  canvas.ClearLog();
  command->StartCharPos = 4;
  command->EndCharPos = 7;
  command->Transparent = true;
  EXPECT_TRUE(command->DrawRichText(canvas, rect));
  ASSERT_EQ(canvas.Log().size(), 1u);
  EXPECT_EQ(canvas.Log()[0], "TextOut 100,200 two");

  // A rectangle too low for the range: what fits, and the answer says so.
  canvas.ClearLog();
  command->StartCharPos = -1;
  command->EndCharPos = -1;
  EXPECT_FALSE(command->DrawRichText(canvas, TRect{0, 0, 300, canvas.TextMetrics().Height * 2}));
  EXPECT_EQ(Texts(canvas), (std::vector<std::string>{"one", "two"}));
}

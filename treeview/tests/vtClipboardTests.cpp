// Clipboard cut, copy and paste, synthetic drops, moves, and the in-place
// editor.

#include <gtest/gtest.h>

#include <QClipboard>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>

#include "VTreeFormats.h"
#include "VTreeStringEdit.h"
#include "rtlStreams.h"
#include "VirtualStringTree.h"
#include "vtTestSupport.h"

namespace {

// Texts live in the node data: a fixed buffer, so copies carry them.
struct TItem {
  char Text[16];
};

class TextTree : public TVirtualStringTree {
public:
  TextTree() {
    SetNodeDataSize(sizeof(TItem));
    TVirtualTreeOptions options = Options();
    SetOptions(options.Include(voMultiSelect));
    OnGetText = [this](TBaseVirtualTree*, PVirtualNode n, int, TVSTTextType, std::string& text) {
      text = static_cast<TItem*>(GetNodeData(n))->Text;
    };
    OnSaveNode = [this](TBaseVirtualTree*, PVirtualNode n, TStream& s) { s.WriteBuffer(GetNodeData(n), sizeof(TItem)); };
    OnLoadNode = [this](TBaseVirtualTree*, PVirtualNode n, TStream& s) {
      s.ReadBuffer(GetNodeData(n), sizeof(TItem));
      static_cast<TItem*>(GetNodeData(n))->Text[15] = 0;
    };
    OnNewText = [this](TBaseVirtualTree*, PVirtualNode n, int, const std::string& text) {
      std::snprintf(static_cast<TItem*>(GetNodeData(n))->Text, sizeof(TItem::Text), "%s", text.c_str());
    };
    TVSTOptions none;
    SetStringOptions(none);
  }
  PVirtualNode Add(PVirtualNode parent, const char* text) {
    PVirtualNode n = AddChild(parent);
    InitNode(n);
    std::snprintf(static_cast<TItem*>(GetNodeData(n))->Text, sizeof(TItem::Text), "%s", text);
    return n;
  }
  // "a(b c) d" for a tree a with children b, c and a second top node d.
  std::string Shape() {
    std::string out;
    std::function<void(PVirtualNode)> walk = [&](PVirtualNode first) {
      for (PVirtualNode n = first; n; n = n->NextSibling) {
        if (!out.empty() && out.back() != '(') out += ' ';
        out += GetText(n, -1);
        if (n->FirstChild) {
          out += '(';
          walk(n->FirstChild);
          out += ')';
        }
      }
    };
    walk(RootNode()->FirstChild);
    return out;
  }
  PVirtualNode Find(const std::string& text) {
    for (PVirtualNode n = GetFirst(); n; n = GetNext(n))
      if (GetText(n, -1) == text) return n;
    return nullptr;
  }
};

class Clipboard : public ::testing::Test {
protected:
  Clipboard() {
    QGuiApplication::clipboard()->clear();
    a = tree.Add(nullptr, "a");
    tree.Add(a, "b");
    tree.Add(a, "c");
    d = tree.Add(nullptr, "d");
  }
  ~Clipboard() override { QGuiApplication::clipboard()->clear(); }
  TextTree tree;
  TextTree other;
  PVirtualNode a = nullptr, d = nullptr;
};

TEST_F(Clipboard, CutAndPasteInOneTreeMoves) {
  tree.SetSelected(tree.Find("b"), true);
  tree.CutToClipboard();
  EXPECT_TRUE(tree.TreeStates().Contains(tsCutPending));
  tree.SetFocusedNode(d);
  int moved = 0;
  tree.OnNodeMoved = [&](TBaseVirtualTree*, PVirtualNode) { ++moved; };
  EXPECT_TRUE(tree.PasteFromClipboard());
  EXPECT_EQ("a(c) d(b)", tree.Shape());
  EXPECT_EQ(1, moved);
  EXPECT_FALSE(tree.TreeStates().Contains(tsCutPending));
  EXPECT_TRUE(tree.CheckStructure());
}

TEST_F(Clipboard, CopyAndPasteCopiesEvenInOneTree) {
  tree.SetSelected(a, true);
  tree.CopyToClipboard();
  tree.SetFocusedNode(d);
  int copied = 0;
  tree.OnNodeCopied = [&](TBaseVirtualTree*, PVirtualNode n) { copied += n ? 1 : 0; };
  EXPECT_TRUE(tree.PasteFromClipboard());
  EXPECT_EQ("a(b c) d(a(b c))", tree.Shape());
  EXPECT_EQ(1, copied);
  // A second paste copies again.
  EXPECT_TRUE(tree.PasteFromClipboard());
  EXPECT_EQ("a(b c) d(a(b c) a(b c))", tree.Shape());
  EXPECT_TRUE(tree.CheckStructure());
}

TEST_F(Clipboard, PasteIntoTheCutBranchItselfDoesNothing) {
  tree.SetSelected(a, true);
  tree.CutToClipboard();
  tree.SetFocusedNode(tree.Find("c"));
  EXPECT_FALSE(tree.PasteFromClipboard());
  EXPECT_EQ("a(b c) d", tree.Shape());
  // Moving a node before or after itself does nothing.
  tree.MoveTo(a, a, amInsertBefore, false);
  tree.MoveTo(a, a, amInsertAfter, false);
  EXPECT_EQ("a(b c) d", tree.Shape());
  EXPECT_TRUE(tree.CheckStructure());
}

TEST_F(Clipboard, MovingANodeIntoItsOwnBranchIsRefusedAndChangesNothing) {
  PVirtualNode b = tree.Find("b");
  PVirtualNode e = tree.Add(b, "e");
  struct TCase {
    PVirtualNode target;
    TVTNodeAttachMode mode;
    bool childrenOnly;
  };
  int asked = 0;
  tree.OnNodeMoving = [&](TBaseVirtualTree*, PVirtualNode, PVirtualNode, bool&) { ++asked; };
  for (const TCase c : {TCase{a, amAddChildLast, false}, TCase{a, amAddChildFirst, false}, TCase{b, amAddChildLast, false},
                        TCase{e, amAddChildFirst, false}, TCase{e, amInsertAfter, false}, TCase{b, amInsertBefore, false},
                        TCase{e, amAddChildLast, true}}) {
    try {
      tree.MoveTo(a, c.target, c.mode, c.childrenOnly);
      ADD_FAILURE() << "moved into its own branch: " << tree.GetText(c.target, -1) << " mode " << c.mode;
    } catch (const EVirtualTreeError& error) {
      EXPECT_STREQ("Target node cannot be a child node of the node to be moved.", error.what());
    }
    EXPECT_EQ("a(b(e) c) d", tree.Shape());
  }
  EXPECT_EQ(0, asked);
  EXPECT_TRUE(tree.CheckStructure());
  // Its children may still move out of it.
  tree.MoveTo(a, d, amAddChildLast, true);
  EXPECT_EQ("a d(b(e) c)", tree.Shape());
}

TEST_F(Clipboard, TheDataObjectOffersItsFormatsThroughTheEnumerator) {
  struct TCase {
    TOLEFormats formats;
    std::vector<std::string> offered;
  };
  for (const TCase& c : {TCase{TOLEFormats{ofNative, ofUnicodeText, ofText},
                               {"Virtual Tree Resource", "Virtual Tree Reference", "text/plain"}},
                         TCase{TOLEFormats{ofNative}, {"Virtual Tree Resource", "Virtual Tree Reference"}},
                         TCase{TOLEFormats{ofText}, {"text/plain"}}, TCase{TOLEFormats{}, {}}}) {
    TEnumFormatEtc formats(c.formats);
    std::vector<std::string> listed;
    for (std::string format; formats.Next(format);) listed.push_back(format);
    EXPECT_EQ(c.offered, listed);
    formats.Reset();
    formats.Skip(1);
    std::string second;
    EXPECT_EQ(c.offered.size() > 1, formats.Next(second));
    for (const int bad : {-1, formats.Count()}) {
      try {
        formats.Item(bad);
        ADD_FAILURE() << "index " << bad;
      } catch (const EListError& error) {
        EXPECT_STREQ("FormatEtcList: Invalid item index.", error.what());
      }
    }
    // The data object holds what the enumerator offers, the text only
    // when the nodes give one.
    tree.SetOLEFormats(c.formats);
    tree.SetSelected(a, true);
    std::unique_ptr<QMimeData> data(tree.CreateDataObject());
    for (const std::string& format : c.offered)
      if (format != "text/plain") {
        EXPECT_TRUE(data->hasFormat(QString::fromStdString(format))) << format;
      }
    EXPECT_EQ(c.formats.Contains(ofNative), data->hasFormat("Virtual Tree Resource"));
  }
}

TEST_F(Clipboard, CopyingRefusedByTheHandlerLeavesNoNode) {
  tree.SetSelected(a, true);
  tree.CopyToClipboard();
  other.OnNodeCopying = [](TBaseVirtualTree*, PVirtualNode, bool& allowed) { allowed = false; };
  EXPECT_FALSE(other.PasteFromClipboard());
  EXPECT_EQ(0u, other.RootNodeCount());
}

TEST_F(Clipboard, CutBetweenTreesMovesAndCancelClearsOnlyOwnData) {
  tree.SetSelected(d, true);
  tree.CutToClipboard();
  EXPECT_TRUE(other.PasteFromClipboard());
  EXPECT_EQ("d", other.Shape());
  EXPECT_EQ("a(b c)", tree.Shape());
  // Another program's data on the clipboard stays when this tree cancels.
  tree.SetSelected(a, true);
  tree.CopyToClipboard();
  auto* foreign = new QMimeData;
  foreign->setText("theirs");
  QGuiApplication::clipboard()->setMimeData(foreign);
  tree.CancelCutOrCopy();
  EXPECT_EQ("theirs", QGuiApplication::clipboard()->text().toStdString());
  EXPECT_EQ(0, a->States & nsCutOrCopy);
  // While this tree's data is there, cancelling empties it.
  tree.CopyToClipboard();
  tree.CancelCutOrCopy();
  const QMimeData* left = QGuiApplication::clipboard()->mimeData();
  EXPECT_TRUE(!left || !left->hasFormat("Virtual Tree Resource"));
}

TEST_F(Clipboard, TextFormatsCarryTheSelectedTexts) {
  tree.SetSelected(d, true);
  tree.SetSelected(tree.Find("c"), true);
  tree.CopyToClipboard();
  EXPECT_EQ("c\nd\n", QGuiApplication::clipboard()->text().toStdString());
  // Only the formats asked for are offered.
  tree.SetOLEFormats(TOLEFormats{ofText});
  std::unique_ptr<QMimeData> data(tree.CreateDataObject());
  EXPECT_FALSE(data->hasFormat("Virtual Tree Resource"));
  EXPECT_TRUE(data->hasText());
  tree.SetOLEFormats(TOLEFormats{ofNative});
  data.reset(tree.CreateDataObject());
  EXPECT_TRUE(data->hasFormat("Virtual Tree Resource"));
  EXPECT_FALSE(data->hasText());
}

TEST_F(Clipboard, DataFromAnotherProcessIsReadFromTheNativeStream) {
  tree.SetSelected(a, true);
  std::unique_ptr<QMimeData> data(tree.CreateDataObject());
  // Another process's reference names no tree here.
  QByteArray reference = data->data("Virtual Tree Reference");
  reference[0] = static_cast<char>(reference[0] ^ 0x5A);
  data->setData("Virtual Tree Reference", reference);
  EXPECT_TRUE(other.ProcessDrop(data.get(), nullptr, amAddChildLast, {.Move = true}));
  EXPECT_EQ("a(b c)", other.Shape());
  EXPECT_EQ("a(b c) d", tree.Shape());  // the source keeps it until its drag ends
  // A damaged stream is refused with its error, and the tree stays true.
  QByteArray native = data->data("Virtual Tree Resource");
  native.truncate(native.size() - 5);
  data->setData("Virtual Tree Resource", native);
  EXPECT_THROW(other.ProcessDrop(data.get(), nullptr, amAddChildLast, {}), EVirtualTreeError);
  EXPECT_TRUE(other.CheckStructure());
}

TEST_F(Clipboard, SyntheticDropsMoveWithinATreeAndCopyBetweenTrees) {
  tree.resize(200, 200);
  other.resize(200, 200);
  tree.SetSelected(tree.Find("c"), true);
  std::unique_ptr<QMimeData> data(tree.CreateDataObject());
  // Within one tree the default is a move; row 1 is d ("a" is collapsed),
  // its middle "on" it.
  Qt::DropAction effect = tree.HandleDragOver(data.get(), TPoint{40, 18 + 9}, Qt::CopyAction | Qt::MoveAction,
                                              Qt::NoModifier);
  EXPECT_EQ(Qt::MoveAction, effect);
  EXPECT_EQ(dmOnNode, tree.LastDropMode());
  effect = tree.HandleDrop(data.get(), TPoint{40, 18 + 9}, Qt::CopyAction | Qt::MoveAction, Qt::NoModifier);
  EXPECT_EQ(Qt::MoveAction, effect);
  tree.ToggleNode(a);
  EXPECT_EQ("a(b) d(c)", tree.Shape());
  // Between trees the default is a copy; the top quarter means "above".
  other.Add(nullptr, "x");
  tree.ClearSelection();
  tree.SetSelected(tree.Find("b"), true);
  data.reset(tree.CreateDataObject());
  effect = other.HandleDrop(data.get(), TPoint{40, 2}, Qt::CopyAction | Qt::MoveAction, Qt::NoModifier);
  EXPECT_EQ(Qt::CopyAction, effect);
  EXPECT_EQ("b x", other.Shape());
  EXPECT_EQ("a(b) d(c)", tree.Shape());
  // Shift asks for a move.
  effect = other.HandleDrop(data.get(), TPoint{40, 100}, Qt::CopyAction | Qt::MoveAction, Qt::ShiftModifier);
  EXPECT_EQ(Qt::MoveAction, effect);
  EXPECT_EQ("b x b", other.Shape());
  EXPECT_EQ("a d(c)", tree.Shape());
  // A tree that refuses drops takes nothing.
  TVirtualTreeOptions options = other.Options();
  other.SetOptions(options.Exclude(voAcceptOLEDrop));
  EXPECT_EQ(Qt::IgnoreAction, other.HandleDrop(data.get(), TPoint{40, 2}, Qt::CopyAction, Qt::NoModifier));
}

TEST_F(Clipboard, QtDropEventsReachTheTreeAndDragImagesShowTheSelection) {
  tree.resize(200, 200);
  other.resize(200, 200);
  tree.SetSelected(d, true);
  tree.FocusChanged(true);
  const QImage image = tree.MakeDragImage();
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(18, image.height());
  bool highlight = false;
  const TColor h = ColorToRGB(clHighlight);
  for (int x = 0; x < image.width(); ++x)
    highlight |= image.pixel(x, 5) == qRgb(GetRValue(h), GetGValue(h), GetBValue(h));
  EXPECT_TRUE(highlight);

  std::unique_ptr<QMimeData> data(tree.CreateDataObject());
  QDragEnterEvent enter(QPoint(40, 5), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(other.Viewport(), &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_EQ(Qt::CopyAction, enter.dropAction());
  QDropEvent drop(QPointF(40, 5), Qt::CopyAction | Qt::MoveAction, data.get(), Qt::LeftButton, Qt::NoModifier);
  QCoreApplication::sendEvent(other.Viewport(), &drop);
  EXPECT_EQ("d", other.Shape());
}

// The editor -------------------------------------------------------------------

TEST_F(Clipboard, EditingKeepsEveryCharacterAndReportsOnlyChanges) {
  tree.resize(200, 100);
  TVirtualTreeOptions options = tree.Options();
  tree.SetOptions(options.Include(voEditable));
  int newTexts = 0;
  auto store = tree.OnNewText;
  tree.OnNewText = [&](TBaseVirtualTree* s, PVirtualNode n, int c, const std::string& t) {
    ++newTexts;
    store(s, n, c, t);
  };
  ASSERT_TRUE(tree.EditNode(d, -1));
  auto* link = dynamic_cast<TStringEditLink*>(tree.EditLink());
  ASSERT_NE(nullptr, link);
  EXPECT_GE(link->Edit()->width(), MinEditWidth);
  EXPECT_TRUE(tree.EndEditNode());
  EXPECT_EQ(0, newTexts);  // unchanged
  ASSERT_TRUE(tree.EditNode(d, -1));
  link = dynamic_cast<TStringEditLink*>(tree.EditLink());
  const QString wide = QString::fromUtf8("\xCE\xB1\xCE\xB2\xE6\x97\xA5");  // alpha, beta, a CJK sign
  link->Edit()->setText(wide);
  link->Edit()->AutoAdjustSize();
  EXPECT_LE(link->Edit()->x() + link->Edit()->width(), tree.ClientWidth() - EditClientGap + MinEditWidth);
  EXPECT_TRUE(tree.EndEditNode());
  EXPECT_EQ(1, newTexts);
  EXPECT_EQ(wide.toStdString(), tree.GetText(d, -1));
  // Deleting the node being edited cancels the edit; nothing is written.
  ASSERT_TRUE(tree.EditNode(d, -1));
  tree.DeleteNode(d);
  EXPECT_FALSE(tree.IsEditing());
  EXPECT_EQ(1, newTexts);
}

}  // namespace

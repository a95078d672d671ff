// Tree streams: exact bytes, round trips, refused headers and corrupted
// data.

#include <gtest/gtest.h>

#include <charconv>
#include <map>
#include <random>

#include "VTreeStreamFormat.h"
#include "VirtualStringTree.h"
#include "rtlStreams.h"
#include "vtTestSupport.h"

namespace {

// A string tree whose captions are kept by the test (OnNewText stores them).
class StreamTree : public TVirtualStringTree {
public:
  StreamTree() {
    SetNodeDataSize(sizeof(int));
    OnGetText = [this](TBaseVirtualTree*, PVirtualNode n, int, TVSTTextType, std::string& text) {
      auto it = captions.find(NodeId(*this, n));
      text = it == captions.end() ? "" : it->second;
    };
    // Captions "n<k>" name node k again, so a copy has the same ids.
    OnNewText = [this](TBaseVirtualTree*, PVirtualNode n, int, const std::string& text) {
      int id = 0;
      if (text.size() > 1 && text[0] == 'n') std::from_chars(text.data() + 1, text.data() + text.size(), id);
      if (id <= 0) id = 100000 + nextId++;
      NodeId(*this, n) = id;
      captions[id] = text;
    };
    OnSaveNode = [this](TBaseVirtualTree*, PVirtualNode n, TStream& s) {
      const int id = NodeId(*this, n);
      if (id % 2 == 0) s.WriteBuffer(&id, sizeof id);
    };
  }
  // Names every node with a caption "n<k>".
  void Name() {
    for (PVirtualNode n = GetFirst(); n; n = GetNext(n)) {
      NodeId(*this, n) = nextId;
      captions[nextId] = "n" + std::to_string(nextId);
      ++nextId;
    }
  }
  std::vector<std::string> Shape() {
    std::vector<std::string> out;
    for (PVirtualNode n = GetFirst(); n; n = GetNext(n))
      out.push_back(std::string(GetNodeLevel(n), '.') + GetText(n, -1));
    return out;
  }
  std::map<int, std::string> captions;
  int nextId = 1;
};

std::vector<uint8_t> Bytes(TMemoryStream& s) { return {s.Memory(), s.Memory() + s.Size()}; }

uint32_t ReadU32At(TMemoryStream& s, int64_t at) {
  const uint8_t* b = s.Memory() + at;
  return b[0] | (b[1] << 8) | (b[2] << 16) | (uint32_t(b[3]) << 24);
}

TEST(TreeStream, ExactBytesOfOneNode) {
  StreamTree tree;
  tree.SetRootNodeCount(1);
  tree.Name();  // one node, id 1 (odd: no user data), caption "n1"
  TMemoryStream stream;
  tree.SaveToStream(stream);
  const std::vector<uint8_t> expected = {
      0x45, 0x20, 'V', 0, 'T', 0, 1, 0, 16, 0, 0x46, 0x20,  // header
      1, 0, 0, 0, 32, 0, 0, 0,                                // anchor, 32 bytes
      2, 0, 0, 0, 12, 0, 0, 0,                                // base chunk
      0, 0, 0, 0, 18, 0, 0, 0, nsInitialized, 50, 0, 0,      // count, height, states, align, check
      3, 0, 0, 0, 4, 0, 0, 0, 'n', 0, '1', 0,                // caption "n1" in UTF-16
  };
  EXPECT_EQ(expected, Bytes(stream));
}

TEST(TreeStream, RoundTripsAreByteExact) {
  StreamTree tree;
  tree.SetRootNodeCount(3);
  tree.SetChildCount(tree.RootNode()->FirstChild, 2);
  tree.SetChildCount(tree.RootNode()->FirstChild->LastChild, 1);
  tree.ToggleNode(tree.RootNode()->FirstChild);
  tree.Name();
  tree.RootNode()->LastChild->CheckType = ctCheckBox;
  tree.SetCheckState(tree.RootNode()->LastChild, csCheckedNormal);
  TMemoryStream first;
  tree.SaveToStream(first);

  StreamTree copy;
  first.SetPosition(0);
  int userBytes = 0;
  copy.OnLoadNode = [&](TBaseVirtualTree*, PVirtualNode, TStream& s) {
    int id;
    s.ReadBuffer(&id, sizeof id);
    userBytes += sizeof id;
  };
  copy.LoadFromStream(first);
  EXPECT_TRUE(copy.CheckStructure());
  EXPECT_EQ(tree.Shape(), copy.Shape());
  EXPECT_EQ(tree.RootNode()->TotalCount, copy.RootNode()->TotalCount);
  EXPECT_EQ(tree.VisibleCount(), copy.VisibleCount());
  EXPECT_EQ(csCheckedNormal, copy.RootNode()->LastChild->CheckState);
  EXPECT_EQ(12, userBytes);  // ids 2, 4 and 6 wrote theirs
  // The copy writes what it read, byte for byte (its ids are renumbered in
  // read order, which is the writing order too).
  copy.OnSaveNode = tree.OnSaveNode;
  TMemoryStream second;
  copy.SaveToStream(second);
  EXPECT_EQ(Bytes(first), Bytes(second));
}

TEST(TreeStream, UninitialisedNodesWithoutInitOnSaveHaveNoChildren) {
  StreamTree tree;
  TVirtualTreeOptions options = tree.Options();
  tree.SetOptions(options.Exclude(voInitOnSave));
  tree.OnSaveNode = nullptr;
  tree.SetRootNodeCount(2);
  tree.SetChildCount(tree.RootNode()->FirstChild, 3);
  TMemoryStream stream;
  tree.SaveToStream(stream);
  // Two bare records: anchor, base with ChildCount 0, no caption.
  EXPECT_EQ(StreamHeaderSize + 2 * MinimalNodeRecordSize, stream.Size());
  EXPECT_EQ(0u, ReadU32At(stream, StreamHeaderSize + 16));
}

TEST(TreeStream, HeadersAreCheckedBeforeAnythingChanges) {
  StreamTree tree;
  tree.SetRootNodeCount(2);
  auto load = [&](std::vector<uint8_t> bytes) {
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    tree.LoadFromStream(s);
  };
  std::vector<uint8_t> header = {0x45, 0x20, 'V', 0, 'T', 0, 1, 0, 17, 0, 0x46, 0x20};
  EXPECT_THROW(
      try { load(header); } catch (const EVirtualTreeError& e) {
        EXPECT_STREQ(SWrongStreamVersion, e.what());
        throw;
      },
      EVirtualTreeError);
  EXPECT_EQ(2u, tree.RootNodeCount());
  header[2] = 'X';
  EXPECT_THROW(
      try { load(header); } catch (const EVirtualTreeError& e) {
        EXPECT_STREQ(SWrongStreamFormat, e.what());
        throw;
      },
      EVirtualTreeError);
  // Version 0 is accepted whatever the second value.
  load({0x45, 0x20, 'V', 0, 'T', 0, 0, 0, 99, 0, 0x46, 0x20});
  EXPECT_EQ(0u, tree.RootNodeCount());
}

TEST(TreeStream, UserDataReadShortAndUnknownChunksAreSkipped) {
  StreamTree tree;
  tree.SetRootNodeCount(2);
  tree.Name();
  NodeId(tree, tree.RootNode()->FirstChild) = 2;  // writes 4 bytes of user data
  tree.captions[2] = "n1";
  TMemoryStream stream;
  tree.SaveToStream(stream);
  // An unknown chunk inside the first node: its anchor grows by 12.
  std::vector<uint8_t> bytes = Bytes(stream);
  const size_t anchor = StreamHeaderSize;
  const uint32_t size = bytes[anchor + 4];
  const std::vector<uint8_t> unknown = {77, 0, 0, 0, 4, 0, 0, 0, 1, 2, 3, 4};
  bytes.insert(bytes.begin() + static_cast<long>(anchor + 8 + size), unknown.begin(), unknown.end());
  bytes[anchor + 4] = static_cast<uint8_t>(size + unknown.size());
  TMemoryStream changed;
  changed.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  changed.SetPosition(0);
  StreamTree copy;
  copy.OnLoadNode = [](TBaseVirtualTree*, PVirtualNode, TStream& s) {
    uint8_t one;
    s.ReadBuffer(&one, 1);  // reads less than was written
  };
  copy.LoadFromStream(changed);
  EXPECT_EQ(tree.Shape(), copy.Shape());
}

TEST(TreeStream, CorruptedStreamsRaiseTheirErrorsAndLeaveATrueTree) {
  StreamTree tree;
  tree.SetRootNodeCount(4);
  tree.SetChildCount(tree.RootNode()->FirstChild, 3);
  tree.SetChildCount(tree.RootNode()->FirstChild->FirstChild, 2);
  tree.SetChildCount(tree.RootNode()->LastChild, 5);
  tree.ToggleNode(tree.RootNode()->FirstChild);
  tree.Name();
  TMemoryStream stream;
  tree.SaveToStream(stream);
  const std::vector<uint8_t> original = Bytes(stream);

  std::mt19937 random(7);
  int refused = 0;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> bytes = original;
    switch (round % 3) {
      case 0:  // flipped bytes after the header
        for (int i = 0; i < 1 + static_cast<int>(random() % 4); ++i)
          bytes[StreamHeaderSize + random() % (bytes.size() - StreamHeaderSize)] ^= static_cast<uint8_t>(1 + random() % 255);
        break;
      case 1:  // cut short
        bytes.resize(StreamHeaderSize + random() % (bytes.size() - StreamHeaderSize));
        break;
      case 2:  // huge counts and sizes
        for (int i = 0; i < 2; ++i) {
          const size_t at = StreamHeaderSize + (random() % ((bytes.size() - StreamHeaderSize) / 4)) * 4;
          bytes[at + 3] = 0xFF;
        }
        break;
    }
    TMemoryStream s;
    s.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
    s.SetPosition(0);
    StreamTree copy;
    try {
      copy.LoadFromStream(s);
    } catch (const EVirtualTreeError& e) {
      const std::string message = e.what();
      EXPECT_TRUE(message == SStreamTooSmall || message == SCorruptStream) << message;
      ++refused;
    }
    ASSERT_TRUE(copy.CheckStructure()) << "round " << round;
    ASSERT_EQ(0u, copy.UpdateCount());
  }
  EXPECT_GT(refused, 1000);
}

TEST(TreeStream, ADeepTreeIsReadWrittenAndDeletedWithoutRecursion) {
  // A chain of 200,000 nodes, one inside the other, made byte by byte.
  constexpr uint32_t depth = 200000;
  std::vector<uint8_t> bytes = {0x45, 0x20, 'V', 0, 'T', 0, 1, 0, 16, 0, 0x46, 0x20};
  auto u32 = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  for (uint32_t k = 0; k < depth; ++k) {
    const uint32_t record = MinimalNodeRecordSize * (depth - k);
    u32(NodeChunk);
    u32(record - ChunkHeaderSize);
    u32(BaseChunk);
    u32(record - 2 * ChunkHeaderSize);
    u32(k + 1 < depth ? 1 : 0);
    u32(18);
    const uint8_t parent = k + 1 < depth ? nsHasChildren : 0;
    bytes.insert(bytes.end(), {static_cast<uint8_t>(nsInitialized | nsExpanded | parent), 50, 0, 0});
  }
  TMemoryStream stream;
  stream.WriteBuffer(bytes.data(), static_cast<int64_t>(bytes.size()));
  stream.SetPosition(0);
  auto tree = std::make_unique<TVirtualStringTree>();
  TVSTOptions none;
  tree->SetStringOptions(none);
  tree->LoadFromStream(stream);
  EXPECT_EQ(depth + 1, tree->RootNode()->TotalCount);
  EXPECT_EQ(depth, tree->VisibleCount());
  EXPECT_TRUE(tree->CheckStructure());
  TMemoryStream again;
  tree->SaveToStream(again);
  EXPECT_EQ(bytes, Bytes(again));
  tree->DeleteNode(tree->RootNode()->FirstChild);
  EXPECT_EQ(1u, tree->RootNode()->TotalCount);
  EXPECT_EQ(0u, tree->VisibleCount());
}

}  // namespace

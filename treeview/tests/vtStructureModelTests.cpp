// Node structure and totals against a plain model over random operations.

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>

#include "vtTestSupport.h"

namespace {

struct TModelNode {
  int Id = 0;
  bool Expanded = false;
  bool Initialized = false;
  uint32_t Height = 18;
  TModelNode* Parent = nullptr;
  std::vector<std::unique_ptr<TModelNode>> Children;
};

class TStructureModel {
public:
  explicit TStructureModel(TBaseVirtualTree& Tree) : tree(Tree) { root.Expanded = true; }

  TModelNode root;
  int nextId = 1;
  int expectedFrees = 0;

  // Gives every new (id 0) child of Node, in order, the next ids: the
  // model's own new children were appended in the same order.
  void NameNewChildren(PVirtualNode Node, TModelNode& Model) {
    size_t i = 0;
    for (PVirtualNode c = Node->FirstChild; c; c = c->NextSibling, ++i) {
      if (NodeId(tree, c) == 0) NodeId(tree, c) = Model.Children[i]->Id;
    }
  }

  std::unique_ptr<TModelNode> NewNode(TModelNode* parent) {
    auto n = std::make_unique<TModelNode>();
    n->Id = nextId++;
    n->Parent = parent;
    return n;
  }

  static int CountInitialized(const TModelNode& n) {
    int count = n.Initialized ? 1 : 0;
    for (auto& c : n.Children) count += CountInitialized(*c);
    return count;
  }

  std::unique_ptr<TModelNode> Take(TModelNode& n) {
    auto& siblings = n.Parent->Children;
    auto it = std::find_if(siblings.begin(), siblings.end(), [&](auto& p) { return p.get() == &n; });
    std::unique_ptr<TModelNode> owned = std::move(*it);
    siblings.erase(it);
    return owned;
  }

  // Checks the tree's links, totals and visible walk against the model.
  void Compare() {
    ASSERT_TRUE(tree.CheckStructure());
    uint32_t visible = 0;
    std::vector<int> visibleOrder;
    Walk(tree.RootNode(), root, true, visible, visibleOrder);
    ASSERT_EQ(visible, tree.VisibleCount());
    std::vector<int> treeVisible;
    for (PVirtualNode n = tree.GetFirstVisible(); n; n = tree.GetNextVisible(n)) treeVisible.push_back(NodeId(tree, n));
    ASSERT_EQ(visibleOrder, treeVisible);
    std::vector<int> backwards;
    for (PVirtualNode n = tree.GetLastVisible(); n; n = tree.GetPreviousVisible(n)) backwards.push_back(NodeId(tree, n));
    std::reverse(backwards.begin(), backwards.end());
    ASSERT_EQ(visibleOrder, backwards);
  }

private:
  // Returns the model's TotalCount; checks each node on the way.
  uint32_t Walk(PVirtualNode node, const TModelNode& model, bool pathVisible, uint32_t& visible,
                std::vector<int>& order) {
    if (!IsRootNode(node)) {
      EXPECT_EQ(model.Id, NodeId(tree, node));
      EXPECT_EQ(model.Expanded, (node->States & nsExpanded) != 0) << model.Id;
      EXPECT_EQ(model.Initialized, (node->States & nsInitialized) != 0) << model.Id;
      if (pathVisible) {
        ++visible;
        order.push_back(model.Id);
        EXPECT_EQ(TopOf(model), tree.GetNodeTop(node)) << model.Id;
      }
    }
    EXPECT_EQ(model.Children.size(), node->ChildCount);
    uint32_t count = 1;
    PVirtualNode c = node->FirstChild;
    for (auto& m : model.Children) {
      if (!c) return 0;
      count += Walk(c, *m, pathVisible && model.Expanded, visible, order);
      c = c->NextSibling;
    }
    EXPECT_EQ(count, node->TotalCount);
    return count;
  }

  uint32_t HeightOf(const TModelNode& n) const {
    uint32_t h = n.Height;
    if (n.Expanded)
      for (auto& c : n.Children) h += HeightOf(*c);
    return h;
  }

  uint32_t TopOf(const TModelNode& n) const {
    uint32_t top = 0;
    for (const TModelNode* m = &n; m->Parent; m = m->Parent) {
      for (auto& s : m->Parent->Children) {
        if (s.get() == m) break;
        top += HeightOf(*s);
      }
      if (m->Parent->Parent) top += m->Parent->Height;
    }
    return top;
  }

  TBaseVirtualTree& tree;
};

// Every node of the tree paired with its model node, in tree order.
void Pairs(TBaseVirtualTree& tree, TModelNode& model, std::vector<std::pair<PVirtualNode, TModelNode*>>& out) {
  // Pre-order by links; the model follows by position.
  std::function<void(PVirtualNode, TModelNode&)> walk = [&](PVirtualNode first, TModelNode& parent) {
    size_t i = 0;
    for (PVirtualNode c = first; c; c = c->NextSibling, ++i) {
      out.push_back({c, parent.Children[i].get()});
      walk(c->FirstChild, *parent.Children[i]);
    }
  };
  walk(tree.RootNode()->FirstChild, model);
}

TEST(VirtualTreeStructure, RandomOperationsKeepEveryTotalTrue) {
  TBaseVirtualTree tree;
  tree.SetNodeDataSize(sizeof(int));
  TStructureModel model(tree);
  int frees = 0;
  tree.OnFreeNode = [&](TBaseVirtualTree*, PVirtualNode) { ++frees; };
  int structureChanges = 0;
  tree.OnStructureChange = [&](TBaseVirtualTree*, PVirtualNode) { ++structureChanges; };

  std::mt19937 random(20261207);
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };

  for (int step = 0; step < 6000; ++step) {
    std::vector<std::pair<PVirtualNode, TModelNode*>> nodes;
    Pairs(tree, model.root, nodes);
    // Nil (the top level) is a target too.
    const int target = nodes.empty() ? -1 : pick(static_cast<int>(nodes.size()) + 1) - 1;
    PVirtualNode node = target < 0 ? nullptr : nodes[target].first;
    TModelNode& m = target < 0 ? model.root : *nodes[target].second;
    const bool block = pick(10) == 0;
    if (block) tree.BeginUpdate();
    const int changesBefore = structureChanges;
    const int freesBefore = frees;
    int expectedFrees = 0;
    const int op = nodes.size() > 400 ? 2 : pick(9);
    switch (op) {
      case 0: {  // add a child
        PVirtualNode added = tree.AddChild(node);
        m.Children.push_back(model.NewNode(&m));
        NodeId(tree, added) = m.Children.back()->Id;
        break;
      }
      case 1: {  // insert by a mode
        const auto mode = static_cast<TVTNodeAttachMode>(1 + pick(4));
        PVirtualNode added = tree.InsertNode(node, mode);
        TModelNode* parent = &m;
        size_t at;
        bool sibling = (mode == amInsertBefore || mode == amInsertAfter) && target >= 0;
        if (sibling) {
          parent = m.Parent;
          auto& s = parent->Children;
          at = std::find_if(s.begin(), s.end(), [&](auto& p) { return p.get() == &m; }) - s.begin();
          if (mode == amInsertAfter) ++at;
        } else
          at = (mode == amAddChildFirst || mode == amInsertBefore) ? 0 : parent->Children.size();
        parent->Children.insert(parent->Children.begin() + at, model.NewNode(parent));
        NodeId(tree, added) = parent->Children[at]->Id;
        break;
      }
      case 2: {  // delete
        if (target < 0) break;
        expectedFrees = TStructureModel::CountInitialized(m);
        tree.DeleteNode(node);
        model.Take(m);
        break;
      }
      case 3: {  // expand or collapse
        if (target < 0) break;
        tree.ToggleNode(node);
        if (!m.Expanded) m.Initialized = true;
        m.Expanded = !m.Expanded;
        break;
      }
      case 4: {  // change the child count
        const uint32_t count = static_cast<uint32_t>(pick(6));
        for (size_t i = count; i < m.Children.size(); ++i)
          expectedFrees += TStructureModel::CountInitialized(*m.Children[i]);
        tree.SetChildCount(node, count);
        if (count < m.Children.size()) m.Children.resize(count);
        while (m.Children.size() < count) m.Children.push_back(model.NewNode(&m));
        model.NameNewChildren(node ? node : tree.RootNode(), m);
        break;
      }
      case 5: {  // sort
        const auto direction = pick(2) ? sdAscending : sdDescending;
        // Sorting initialises the children first.
        if (m.Children.size() >= 2)
          for (auto& c : m.Children) c->Initialized = true;
        tree.Sort(node, NoColumn, direction, [&](TBaseVirtualTree*, PVirtualNode a, PVirtualNode b, int) {
          return NodeId(tree, a) - NodeId(tree, b);
        });
        std::stable_sort(m.Children.begin(), m.Children.end(), [&](auto& a, auto& b) {
          return direction == sdAscending ? a->Id < b->Id : a->Id > b->Id;
        });
        break;
      }
      case 6: {  // initialise
        if (target < 0) break;
        tree.InitNode(node);
        m.Initialized = true;
        break;
      }
      case 7: {  // a row height
        if (target < 0) break;
        const uint32_t height = 10 + pick(30);
        tree.SetNodeHeight(node, height);
        m.Height = height;
        break;
      }
      case 8: {  // delete the children
        for (auto& c : m.Children) expectedFrees += TStructureModel::CountInitialized(*c);
        tree.DeleteChildren(node, false);
        m.Children.clear();
        break;
      }
    }
    EXPECT_EQ(expectedFrees, frees - freesBefore) << "step " << step;
    if (block) {
      EXPECT_EQ(changesBefore, structureChanges);
      tree.EndUpdate();
      EXPECT_LE(structureChanges - changesBefore, 1);
    }
    model.Compare();
    if (HasFatalFailure() || HasFailure()) FAIL() << "step " << step << " op " << op;
  }
}

}  // namespace

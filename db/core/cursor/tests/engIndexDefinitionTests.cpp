// Index definitions as the layers above give and read them: what a table
// stores must come back unchanged, and what the engine adds (the key's
// length) comes back with it.

#include "engCursorTestSupport.h"
#include "engIndexDefinition.h"

namespace {

TIndexDefinition Definition(const std::string& name, std::vector<uint16_t> fields, bool unique,
                            bool caseInsensitive, bool descending, uint8_t compression) {
  TIndexDefinition definition;
  definition.Name = name;
  definition.FieldNumbers = std::move(fields);
  definition.Unique = unique;
  definition.CaseInsensitive = caseInsensitive;
  definition.Descending = descending;
  definition.FieldDescending.fill(descending);
  definition.Compression = compression;
  return definition;
}

bool SameDefinition(const TIndexDefinition& a, const TIndexDefinition& b) {
  return a.Name == b.Name && a.FieldNumbers == b.FieldNumbers && a.Unique == b.Unique &&
         a.CaseInsensitive == b.CaseInsensitive && a.Descending == b.Descending &&
         a.FieldDescending == b.FieldDescending && a.Compression == b.Compression;
}

}  // namespace

TEST(IndexDefinitionTest, StoredFormRoundTrips) {
  std::vector<uint16_t> sixteen(MaxKeyFields);
  for (size_t i = 0; i < sixteen.size(); ++i) sixteen[i] = uint16_t(i + 1);
  TIndexDefinition mixed = Definition("Mixed", {3, 1}, true, false, false, kcLeading);
  mixed.FieldDescending[1] = true;
  const std::vector<TIndexDefinition> cases{
      {},  // natural order: an empty primary slot
      Definition("ByName", {2}, true, false, false, kcNone),
      Definition("ByGroup", {3, 1}, false, true, true, kcFull),
      Definition("All", sixteen, false, false, false, kcTrailing),
      mixed,
      // A name is cut to its limit at a character's end.
      Definition(std::string(29, 'x') + "\xc3\xa9", {1}, true, false, false, kcNone),
  };
  for (const TIndexDefinition& original : cases) {
    uint8_t desc[IndexDescSize];
    IndexDescFromDefinition(original, desc);
    const TIndexDefinition back = IndexDefinitionFromDesc(desc);
    TIndexDefinition expected = original;
    if (expected.Name.size() > size_t(IdxDescNameLimit)) expected.Name.resize(29);
    EXPECT_TRUE(SameDefinition(back, expected)) << original.Name;
    EXPECT_EQ(back.IsNatural(), original.FieldNumbers.empty()) << original.Name;
    // Written again, the descriptor is the same bytes.
    uint8_t again[IndexDescSize];
    IndexDescFromDefinition(back, again);
    EXPECT_EQ(std::memcmp(desc, again, IndexDescSize), 0) << original.Name;
  }
}

TEST_F(CursorTest, IndexAddedByDefinitionReadsBackWithItsKeyLength) {
  CreatePeople("PEOPLE", {{"", {1}}});
  TDataCursor& owner = OpenCursor("PEOPLE", true);
  const TIndexDefinition byName = Definition("ByName", {2, 1}, false, true, true, kcNone);
  owner.AddIndex(byName);
  const TIndexDefinition read = owner.GetIndexDefinition(1);
  EXPECT_TRUE(SameDefinition(read, byName));
  EXPECT_TRUE(read.StartsWith(2));
  EXPECT_TRUE(read.KeyDescending(1));
  owner.SetIndexName("ByName");
  EXPECT_EQ(read.KeyLength, owner.KeyLength());
  EXPECT_TRUE(owner.GetIndexDefinition(NaturalOrderIndex).IsNatural());
}

#include <gtest/gtest.h>

#include "ppGenerationKit.h"

namespace {
std::vector<int> WalkIds(TppDataPipeline& pipeline) {
  std::vector<int> ids;
  pipeline.First();
  while (!pipeline.Eof()) {
    ids.push_back(pipeline.GetFieldValue("ID").AsInteger());
    pipeline.Next();
  }
  return ids;
}

struct TPipelineFixture {
  std::unique_ptr<TMemoryDataSet, TObjectFree> Data = MakeJobs(6, 3);
  TObjectPtr<TDataSource> Source{new TDataSource(nullptr)};
  TObjectPtr<TppDBPipeline> Pipeline{new TppDBPipeline(nullptr)};
  TPipelineFixture() {
    Source->SetDataSet(Data.get());
    Pipeline->SetDataSource(Source.get());
  }
};

TEST(DataPipeline, RangesAndDirection) {
  TPipelineFixture f;
  f.Pipeline->Open();
  EXPECT_EQ(WalkIds(*f.Pipeline), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  f.Pipeline->SetRangeEnd(reCount);
  f.Pipeline->SetRangeEndCount(3);
  EXPECT_EQ(WalkIds(*f.Pipeline), (std::vector<int>{1, 2, 3}));
  f.Pipeline->SetRangeBegin(rbLastRecord);
  f.Pipeline->SetRangeEnd(reFirstRecord);
  EXPECT_EQ(f.Pipeline->MoveBy(), -1);
  EXPECT_EQ(WalkIds(*f.Pipeline), (std::vector<int>{6, 5, 4, 3, 2, 1}));
}

TEST(DataPipeline, FieldsComeFromTheDatasetAndPositionsReturn) {
  TPipelineFixture f;
  f.Pipeline->Open();
  ASSERT_EQ(f.Pipeline->FieldCount(), 4);
  EXPECT_EQ(f.Pipeline->GetFieldDataType("OWNER"), dtString);
  EXPECT_EQ(f.Pipeline->GetFieldDataType("ID"), dtInteger);
  EXPECT_EQ(f.Pipeline->GetFieldDataType("NOSUCH"), dtNotKnown);
  EXPECT_TRUE(f.Pipeline->GetFieldValue("NOSUCH").IsNull());
  f.Pipeline->First();
  f.Pipeline->Next();
  f.Pipeline->Next();
  const TppPipelinePosition third = f.Pipeline->GetPosition();
  f.Pipeline->Last();
  EXPECT_TRUE(f.Pipeline->Eof());
  f.Pipeline->SetPosition(third);
  EXPECT_EQ(f.Pipeline->GetFieldValue("ID").AsInteger(), 3);
  EXPECT_EQ(f.Pipeline->TraversalCount(), 2);
  f.Pipeline->Prior();
  EXPECT_EQ(f.Pipeline->GetFieldAsString("ID"), "2");
}

TEST(DataPipeline, WithoutDataItIsAtBothEnds) {
  TObjectPtr<TppDBPipeline> pipeline(new TppDBPipeline(nullptr));
  pipeline->Open();
  EXPECT_TRUE(pipeline->Bof());
  EXPECT_TRUE(pipeline->Eof());
  EXPECT_TRUE(pipeline->GetFieldValue("ID").IsNull());
  pipeline->Next();
  EXPECT_TRUE(pipeline->Eof());
}

TEST(DataPipeline, OpeningOpensTheDatasetAndClosingLeavesItOpen) {
  TPipelineFixture f;
  f.Data->Close();
  f.Pipeline->Open();
  EXPECT_TRUE(f.Data->Active());
  f.Pipeline->Close();
  EXPECT_TRUE(f.Data->Active());
  f.Pipeline->SetCloseDataSource(true);
  f.Pipeline->Open();
  f.Pipeline->Close();
  EXPECT_FALSE(f.Data->Active());
}

TEST(DataPipeline, AFreedDataSourceClosesThePipeline) {
  TPipelineFixture f;
  f.Pipeline->Open();
  f.Source.reset();
  EXPECT_FALSE(f.Pipeline->Active());
  EXPECT_EQ(f.Pipeline->DataSource(), nullptr);
}
}  // namespace

TEST(DataPipeline, CurrentRecordRangesStartOrEndAtTheRecordMetAtOpening) {
  TPipelineFixture f;
  f.Data->Open();
  f.Data->First();
  f.Data->MoveBy(3);
  f.Pipeline->Open();
  f.Pipeline->SetRangeBegin(rbCurrentRecord);
  f.Pipeline->SetRangeEnd(reCurrentRecord);
  EXPECT_EQ(WalkIds(*f.Pipeline), (std::vector<int>{4}));
  f.Pipeline->SetRangeEnd(reLastRecord);
  EXPECT_EQ(WalkIds(*f.Pipeline), (std::vector<int>{4, 5, 6}));
  f.Pipeline->SetRangeBegin(rbFirstRecord);
  f.Pipeline->SetRangeEnd(reCurrentRecord);
  EXPECT_EQ(WalkIds(*f.Pipeline), (std::vector<int>{1, 2, 3, 4}));
  f.Pipeline->SetRangeBegin(rbLastRecord);
  EXPECT_EQ(f.Pipeline->MoveBy(), -1);
  EXPECT_EQ(WalkIds(*f.Pipeline), (std::vector<int>{6, 5, 4}));
}

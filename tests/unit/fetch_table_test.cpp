#include "engine/fetch_table.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "base/log_writer.h"
#include "scratch_folder.h"

namespace cw {
namespace {

std::vector<int32_t> tableIds() {
    std::vector<int32_t> ids;
    for (const auto& record : fetchTable.entries) {
        ids.push_back(record->fetchId);
    }
    return ids;
}

using Ids = std::vector<int32_t>;

TEST(FetchTable, RecordsStayInStartOrderWhenTheMiddleOneEnds) {
    fetchStart(7);
    fetchStart(8);
    fetchStart(9);
    fetchEnd(8);
    EXPECT_EQ((Ids{7, 9}), tableIds());
    EXPECT_EQ(1, findFetch(9));
    EXPECT_EQ(-1, findFetch(8));
}

TEST(FetchTable, RepeatedIdsAreEndedOldestFirst) {
    fetchStart(5);
    fetchStart(6);
    fetchStart(5);
    findFetchRecord(5)->scoreLine = "older";
    EXPECT_EQ(0, findFetch(5));
    fetchEnd(5);
    EXPECT_EQ((Ids{6, 5}), tableIds());
    EXPECT_EQ("", findFetchRecord(5)->scoreLine);
    fetchEnd(5);
    EXPECT_EQ(Ids{6}, tableIds());
}

TEST(FetchTable, EndingAnUnknownIdLogsAndChangesNothing) {
    std::string folder = makeScratchFolder();
    ASSERT_TRUE(setLogFolder(folder));
    fetchStart(1);
    fetchEnd(2);
    EXPECT_EQ(Ids{1}, tableIds());
    EXPECT_EQ(std::vector<std::string>{"error: fetchEnd:index not found"},
              logLinesWithoutStamps(folder + "cobbleweave.log"));
    fetchStart(3);
    fetchEnd(1);
    EXPECT_EQ(Ids{3}, tableIds());
}

TEST(FetchTable, EmptiedTableStartsAfreshAndNewRecordsAreEmpty) {
    fetchStart(1);
    std::shared_ptr<FetchRecord> ended = findFetchRecord(1);
    ASSERT_NE(nullptr, ended);
    ended->addedLines = "X-Quelt: old\r\n";
    ended->scoreLine = "old score";
    ended->warningLine = "old warning";
    fetchEnd(1);
    EXPECT_TRUE(fetchTable.entries.empty());
    EXPECT_EQ(nullptr, findFetchRecord(1));
    // The same id again gets a record of its own, with nothing of the ended one.
    fetchStart(2);
    fetchStart(1);
    EXPECT_EQ((Ids{2, 1}), tableIds());
    EXPECT_EQ(1, findFetch(1));
    std::shared_ptr<const FetchRecord> record = findFetchRecord(1);
    ASSERT_NE(nullptr, record);
    EXPECT_EQ("", record->addedLines);
    EXPECT_EQ("", record->scoreLine);
    EXPECT_EQ("", record->warningLine);
}

}  // namespace
}  // namespace cw

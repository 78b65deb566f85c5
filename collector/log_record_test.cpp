// Tests of CLogRecord: a reset leaves nothing of the previous record.
#include "collector/log_record.h"

#include <gtest/gtest.h>

namespace tamsel::collector {
namespace {

TEST(LogRecordTest, ResetClearsEveryFieldAndFreesTheSid) {
  CLogRecord record;
  record.elServerId_ = 3;
  record.computerName_ = "SRV01";
  record.logName_ = "System";
  record.recordNumber_ = 12;
  record.timeGenerated_ = record.timeWritten_ = 1700000000;
  record.eventId_ = 0xC0000064;
  record.eventType_ = 1;
  record.category_ = 2;
  record.categoryName_ = "Disk";
  record.userSid_ = {1, 1, 0, 0, 0, 0, 0, 5, 18, 0, 0, 0};
  record.userName_ = "NT AUTHORITY\\SYSTEM";
  record.sourceName_ = "Disk";
  record.insertionStrings_ = {"a", "", "c"};
  record.description_ = "text";
  record.categoryMessageFile_ = record.eventMessageFile_ = "\\\\SRV01\\C$\\x.dll";
  record.Reset();
  EXPECT_EQ(record.elServerId_, 0);
  EXPECT_EQ(record.recordNumber_ | record.timeGenerated_ | record.timeWritten_ | record.eventId_,
            0u);
  EXPECT_EQ(record.eventType_ | record.category_, 0);
  EXPECT_TRUE(record.insertionStrings_.empty());
  EXPECT_TRUE(record.userSid_.empty());
  EXPECT_EQ(record.userSid_.capacity(), 0u);
  for (const std::string* text : {&record.computerName_, &record.logName_, &record.categoryName_,
                                  &record.userName_, &record.sourceName_, &record.description_,
                                  &record.categoryMessageFile_, &record.eventMessageFile_}) {
    EXPECT_TRUE(text->empty());
  }
}

}  // namespace
}  // namespace tamsel::collector

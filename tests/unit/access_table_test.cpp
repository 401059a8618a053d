// Which access path each platform and driver choice takes, over every
// combination the flags can hold.
#include "access/access_table.h"

#include <gtest/gtest.h>

namespace usbisp {
namespace {

using Id = AccessPathId;

TEST(AccessTable, EveryPlatformAndDriverChoice) {
    struct Row {
        int osKind;
        Id noSelf, self, noSelfDisk, selfDisk;  // selfDriverMode x diskDriverSelected
    };
    const Row rows[] = {
        {OsUnsupported, Id::None, Id::None, Id::None, Id::None},
        {OsWin9x, Id::PortDriver65, Id::PortDriver65, Id::PortDriver66, Id::PortDriver66},
        {OsWinMe, Id::Aspi, Id::PortDriver65, Id::Aspi, Id::PortDriver65},
        {OsWin2000, Id::PassThrough, Id::KernelDriver, Id::PassThrough, Id::KernelDriver},
        {OsWinXP, Id::PassThrough, Id::PassThrough, Id::PassThrough, Id::PassThrough},
        {5, Id::None, Id::None, Id::None, Id::None},
        {-1, Id::None, Id::None, Id::None, Id::None},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.osKind);
        EXPECT_EQ(AccessPathFor(row.osKind, 0, 0), row.noSelf);
        EXPECT_EQ(AccessPathFor(row.osKind, 1, 0), row.self);
        EXPECT_EQ(AccessPathFor(row.osKind, 0, 1), row.noSelfDisk);
        EXPECT_EQ(AccessPathFor(row.osKind, 1, 1), row.selfDisk);
    }
}

TEST(AccessTable, MakersDriverPaths) {
    EXPECT_TRUE(UsesMakersDriver(Id::PortDriver66));
    EXPECT_TRUE(UsesMakersDriver(Id::PortDriver65));
    EXPECT_TRUE(UsesMakersDriver(Id::KernelDriver));
    EXPECT_FALSE(UsesMakersDriver(Id::Aspi));
    EXPECT_FALSE(UsesMakersDriver(Id::PassThrough));
    EXPECT_FALSE(UsesMakersDriver(Id::None));
}

}  // namespace
}  // namespace usbisp

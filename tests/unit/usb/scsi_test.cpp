// The bulk-only wrappers and SCSI answers a stick sends, decoded.
#include <gtest/gtest.h>

#include <vector>

#include "drivers/usb/scsi.h"

using namespace tarn::drivers::usb;

TEST(Scsi, ReadAndWriteCommandsTakeTenBytesUntilTheDiskOutgrowsThem) {
    scsi::Command r = scsi::read(0x12345678, 8, 512);
    EXPECT_EQ(r.cdb_length, 10);
    EXPECT_TRUE(r.data_in);
    EXPECT_EQ(r.data_length, 4096u);
    EXPECT_EQ(std::vector<u8>(r.cdb, r.cdb + 10),
              (std::vector<u8>{0x28, 0, 0x12, 0x34, 0x56, 0x78, 0, 0, 8, 0}));
    scsi::Command w = scsi::write(0x100000000ull, 2, 4096);
    EXPECT_EQ(w.cdb_length, 16);
    EXPECT_FALSE(w.data_in);
    EXPECT_EQ(std::vector<u8>(w.cdb, w.cdb + 16),
              (std::vector<u8>{0x8A, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0}));

    u8 cbw[scsi::kCbwBytes];
    scsi::build_cbw(r, 7, 0, cbw);
    EXPECT_EQ(std::vector<u8>(cbw, cbw + 15),
              (std::vector<u8>{'U', 'S', 'B', 'C', 7, 0, 0, 0, 0x00, 0x10, 0, 0, 0x80, 0, 10}));
    EXPECT_EQ(cbw[15], 0x28);
}

TEST(Scsi, StatusWrappersAreCheckedForLengthSignatureAndTag) {
    u8 status;
    u32 residue;
    const u8 passed[13] = {'U', 'S', 'B', 'S', 7, 0, 0, 0, 0x00, 0x02, 0, 0, 0};
    ASSERT_TRUE(scsi::parse_csw(passed, 13, 7, &status, &residue));
    EXPECT_EQ(status, scsi::kCswPassed);
    EXPECT_EQ(residue, 0x200u);
    EXPECT_FALSE(scsi::parse_csw(passed, 13, 8, &status, &residue));   // another command's
    EXPECT_FALSE(scsi::parse_csw(passed, 12, 7, &status, &residue));   // short
    u8 garbage[13] = {'U', 'S', 'B', 'C', 7, 0, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_FALSE(scsi::parse_csw(garbage, 13, 7, &status, &residue));
    u8 unknown[13] = {'U', 'S', 'B', 'S', 7, 0, 0, 0, 0, 0, 0, 0, 3};
    EXPECT_FALSE(scsi::parse_csw(unknown, 13, 7, &status, &residue));
}

TEST(Scsi, InquiryCapacityAndSenseAnswersAreDecoded) {
    std::vector<u8> inquiry(36, ' ');
    inquiry[0] = 0x00;
    inquiry[1] = 0x80;
    const char vendor[] = "Kingston", product[] = "DataTraveler 3.0";
    for (int i = 0; i < 8; i++) inquiry[8 + i] = static_cast<u8>(vendor[i]);
    for (int i = 0; i < 16; i++) inquiry[16 + i] = static_cast<u8>(product[i]);
    inquiry[31] = 0x01;  // unprintable
    scsi::Inquiry q;
    ASSERT_TRUE(scsi::parse_inquiry(inquiry.data(), 36, &q));
    EXPECT_TRUE(q.removable);
    EXPECT_STREQ(q.vendor, "Kingston");
    EXPECT_STREQ(q.product, "DataTraveler 3.?");
    EXPECT_FALSE(scsi::parse_inquiry(inquiry.data(), 35, &q));

    scsi::Capacity c;
    const u8 small[8] = {0x00, 0x3B, 0xFF, 0xFF, 0x00, 0x00, 0x02, 0x00};
    ASSERT_TRUE(scsi::parse_capacity10(small, 8, &c));
    EXPECT_EQ(c.sectors, 0x3C0000u);
    EXPECT_EQ(c.sector_size, 512u);
    const u8 huge[8] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x10, 0x00};
    EXPECT_FALSE(scsi::parse_capacity10(huge, 8, &c));  // ask READ CAPACITY(16)
    const u8 huge16[12] = {0, 0, 0, 1, 0, 0, 0, 0, 0x00, 0x00, 0x10, 0x00};
    ASSERT_TRUE(scsi::parse_capacity16(huge16, 12, &c));
    EXPECT_EQ(c.sectors, 0x100000001ull);
    EXPECT_EQ(c.sector_size, 4096u);

    scsi::Sense s;
    u8 fixed[18] = {0x70, 0, 0x02, 0, 0, 0, 0, 10, 0, 0, 0, 0, 0x3A, 0x00};
    ASSERT_TRUE(scsi::parse_sense(fixed, 18, &s));
    EXPECT_EQ(s.key, scsi::kSenseNotReady);
    EXPECT_EQ(s.asc, scsi::kAscMediumNotPresent);
    EXPECT_FALSE(scsi::transient(s));
    const u8 descriptor[8] = {0x72, 0x06, 0x28, 0x00};
    ASSERT_TRUE(scsi::parse_sense(descriptor, 8, &s));
    EXPECT_TRUE(scsi::transient(s));  // unit attention: medium changed
    fixed[12] = 0x04;
    fixed[13] = 0x01;  // becoming ready
    ASSERT_TRUE(scsi::parse_sense(fixed, 18, &s));
    EXPECT_TRUE(scsi::transient(s));
    EXPECT_FALSE(scsi::parse_sense(fixed, 13, &s));
}

// AHCI and NVMe on simulated controllers, for what QEMU cannot show: a
// firmware that holds the HBA, commands that never complete, a controller
// that never becomes ready. The device works between the driver's polls:
// the millisecond clock the drivers read steps the model, one ms a call.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drivers/ahci/ahci.h"
#include "drivers/nvme/nvme.h"

namespace {

using tarn::drivers::BlockDevice;

// Register space in host memory, as the controller's BAR would be.
struct Registers {
    explicit Registers(size_t bytes) : mem(static_cast<uint8_t*>(std::aligned_alloc(4096, bytes))), size(bytes) {
        std::memset(mem, 0, bytes);
    }
    ~Registers() { std::free(mem); }
    uint32_t& r32(uint32_t offset) { return *reinterpret_cast<uint32_t*>(mem + offset); }
    uintptr_t base() const { return reinterpret_cast<uintptr_t>(mem); }
    uint8_t* mem;
    size_t size;
};

template <typename T>
T* At(uint64_t address) { return reinterpret_cast<T*>(static_cast<uintptr_t>(address)); }

uint32_t g_ms = 0;
void (*g_tick)() = nullptr;
u32 Clock() {
    if (g_tick) g_tick();
    return ++g_ms;
}

// ---- AHCI: one HBA, port 0 a disk, port 1 without a link ---------------------

struct AhciModel {
    Registers regs{0x200};
    std::vector<uint8_t> disk = std::vector<uint8_t>(2048 * 512);
    bool biosHolds = true;     // BOHC.BOS until the OS asks and a few ticks pass
    int releaseIn = 3;
    bool hang = false;         // commands are taken and never finished
    uint32_t port(uint32_t reg) { return 0x100 + reg; }

    AhciModel() {
        regs.r32(0x00) = 1u << 31;       // CAP: 64-bit addressing
        regs.r32(0x0C) = 0x3;            // PI: ports 0 and 1
        regs.r32(0x24) = 1;              // CAP2: BIOS/OS hand-off
        regs.r32(0x28) = 1;              // BOHC: BIOS owned
        regs.r32(port(0x28)) = 3;        // PxSSTS: link up
        regs.r32(port(0x24)) = 0x101;    // PxSIG: ATA disk
        regs.r32(port(0x20)) = 0x50;     // PxTFD: ready
    }

    void Tick() {
        uint32_t& bohc = regs.r32(0x28);
        if ((bohc & 2) && (bohc & 1) && biosHolds && --releaseIn <= 0) bohc &= ~1u;
        regs.r32(0x04) &= ~1u;                               // GHC.HR: reset done at once
        uint32_t& cmd = regs.r32(port(0x18));
        cmd = (cmd & ~((1u << 14) | (1u << 15))) | ((cmd & 0x10) ? 1u << 14 : 0) | ((cmd & 1) ? 1u << 15 : 0);
        regs.r32(port(0x10)) = 0;                            // PxIS: nothing pending
        uint32_t& ci = regs.r32(port(0x38));
        if (!(ci & 1) || !(cmd & 1) || hang) return;
        uint8_t* list = At<uint8_t>(regs.r32(port(0x00)) | (uint64_t)regs.r32(port(0x04)) << 32);
        uint32_t dw0;
        std::memcpy(&dw0, list, 4);
        uint32_t lo, hi;
        std::memcpy(&lo, list + 8, 4);
        std::memcpy(&hi, list + 12, 4);
        uint8_t* table = At<uint8_t>(lo | (uint64_t)hi << 32);
        std::memcpy(&lo, table + 0x80, 4);
        std::memcpy(&hi, table + 0x84, 4);
        uint8_t* data = At<uint8_t>(lo | (uint64_t)hi << 32);
        uint8_t command = table[2];
        uint64_t lba = 0;
        for (int i = 0; i < 3; i++) lba |= (uint64_t)table[4 + i] << (8 * i) | (uint64_t)table[8 + i] << (24 + 8 * i);
        uint32_t count = table[12] | table[13] << 8;
        if (command == 0xEC) {
            std::memset(data, 0, 512);
            uint32_t sectors = (uint32_t)(disk.size() / 512);
            std::memcpy(data + 200, &sectors, 4);
        } else if (command == 0x25) {
            std::memcpy(data, disk.data() + lba * 512, count * 512);
        } else if (command == 0x35) {
            std::memcpy(disk.data() + lba * 512, data, count * 512);
        }
        ci &= ~1u;
    }
};

AhciModel* g_ahci = nullptr;

class AhciTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_ahci = &model;
        g_tick = [] { g_ahci->Tick(); };
    }
    void TearDown() override { g_tick = nullptr; }
    AhciModel model;
    tarn::drivers::AhciController hba;
};

TEST_F(AhciTest, TakesTheHbaFromTheFirmwareAndStartsThePortWithALink) {
    ASSERT_TRUE(hba.Start(model.regs.base(), 0, Clock));
    EXPECT_EQ(model.regs.r32(0x28) & 3, 2u);   // OS owned, BIOS let go
    ASSERT_EQ(hba.DiskCount(), 1u);
    EXPECT_STREQ(hba.Disk(0)->Name(), "AHCI 0 port 0");
    EXPECT_EQ(hba.Disk(0)->SectorCount(), 2048u);

    // A firmware that never lets go: the HBA is left to it, in bounded time.
    AhciModel held;
    held.biosHolds = false;
    held.releaseIn = 1 << 30;
    g_ahci = &held;
    held.regs.r32(0x28) = 1;
    uint32_t before = g_ms;
    tarn::drivers::AhciController other;
    EXPECT_FALSE(other.Start(held.regs.base(), 1, Clock));
    EXPECT_LT(g_ms - before, 10000u);
}

TEST_F(AhciTest, TransfersAcrossChunksAndACommandThatNeverEndsTimesOut) {
    ASSERT_TRUE(hba.Start(model.regs.base(), 0, Clock));
    BlockDevice* disk = hba.Disk(0);
    std::vector<uint8_t> out(300 * 512), in(300 * 512);
    for (size_t i = 0; i < out.size(); i++) out[i] = static_cast<uint8_t>(i * 13 + (i >> 9));
    ASSERT_EQ(disk->WriteSectors(100, 300, out.data()), BlockDevice::kOk);
    EXPECT_EQ(std::memcmp(model.disk.data() + 100 * 512, out.data(), out.size()), 0);
    ASSERT_EQ(disk->ReadSectors(100, 300, in.data()), BlockDevice::kOk);
    EXPECT_EQ(in, out);
    EXPECT_EQ(disk->ReadSectors(2000, 49, in.data()), BlockDevice::kOutOfRange);

    model.hang = true;
    uint32_t before = g_ms;
    std::vector<uint8_t> keep(512, 0xA5), buffer = keep;
    EXPECT_EQ(disk->ReadSectors(5, 1, buffer.data()), BlockDevice::kTimeout);
    EXPECT_GE(g_ms - before, 5000u);
    EXPECT_EQ(buffer, keep);
    EXPECT_EQ(disk->WriteSectors(5, 1, out.data()), BlockDevice::kTimeout);
    // The port is started again: once the device answers, so does the disk.
    model.hang = false;
    model.regs.r32(0x100 + 0x38) = 0;
    EXPECT_EQ(disk->ReadSectors(100, 1, buffer.data()), BlockDevice::kOk);
    EXPECT_EQ(std::memcmp(buffer.data(), out.data(), 512), 0);
}

// ---- NVMe: admin queue, one I/O queue, namespaces 1 (512) and 2 (4096) ----------

struct NvmeModel {
    Registers regs{0x2000};
    std::vector<uint8_t> disk = std::vector<uint8_t>(256 * 4096);
    bool neverReady = false;
    bool hang = false;
    struct Queue { uint64_t sq = 0, cq = 0; uint32_t size = 0, head = 0, cqTail = 0; bool phase = true; };
    Queue q[2];

    NvmeModel() {
        uint64_t cap = 63 | (uint64_t)2 << 24 | (uint64_t)1 << 37;  // 64 entries, 1 s, NVM set
        std::memcpy(regs.mem, &cap, 8);
    }

    void Complete(Queue& queue, uint16_t cid, uint16_t status) {
        uint8_t* e = At<uint8_t>(queue.cq) + queue.cqTail * 16;
        std::memset(e, 0, 16);
        uint32_t dw3 = cid | (queue.phase ? 1u << 16 : 0) | (uint32_t)status << 17;
        std::memcpy(e + 12, &dw3, 4);
        if (++queue.cqTail == queue.size) {
            queue.cqTail = 0;
            queue.phase = !queue.phase;
        }
    }

    uint8_t* Page(const uint8_t* c, uint32_t page) {
        uint64_t prp1, prp2;
        std::memcpy(&prp1, c + 24, 8);
        std::memcpy(&prp2, c + 32, 8);
        if (page == 0) return At<uint8_t>(prp1);
        uint16_t nlb = (uint16_t)(c[48] | c[49] << 8);
        uint32_t pages = (nlb + 1) * BlockBytes(c[4]) / 4096;
        if (pages <= 2) return At<uint8_t>(prp2);
        uint64_t entry;
        std::memcpy(&entry, At<uint8_t>(prp2) + 8 * (page - 1), 8);
        return At<uint8_t>(entry);
    }
    static uint32_t BlockBytes(uint8_t nsid) { return nsid == 2 ? 4096 : 512; }

    void Admin(const uint8_t* c, uint16_t cid) {
        uint8_t* out = Page(c, 0);
        uint32_t cns = c[40];
        switch (c[0]) {
        case 0x06:
            std::memset(out, 0, 4096);
            if (cns == 2) {
                out[0] = 1;
                out[4] = 2;
            } else if (cns == 0) {
                uint64_t blocks = disk.size() / BlockBytes(c[4]);
                std::memcpy(out, &blocks, 8);
                out[128 + 2] = c[4] == 2 ? 12 : 9;
            }
            break;
        case 0x05: std::memcpy(&q[1].cq, c + 24, 8); q[1].size = (c[42] | c[43] << 8) + 1u; break;
        case 0x01: std::memcpy(&q[1].sq, c + 24, 8); break;
        }
        Complete(q[0], cid, 0);
    }

    void Io(const uint8_t* c, uint16_t cid) {
        uint32_t bytes = BlockBytes(c[4]);
        uint64_t lba;
        std::memcpy(&lba, c + 40, 8);
        uint32_t n = (c[48] | c[49] << 8) + 1u;
        uint64_t at = lba * bytes;
        for (uint32_t page = 0; page * 4096 < n * bytes && (c[0] == 1 || c[0] == 2); page++) {
            uint32_t len = std::min<uint32_t>(4096, n * bytes - page * 4096);
            if (c[0] == 2) std::memcpy(Page(c, page), disk.data() + at + page * 4096, len);
            else std::memcpy(disk.data() + at + page * 4096, Page(c, page), len);
        }
        Complete(q[1], cid, 0);
    }

    void Tick() {
        uint32_t cc = regs.r32(0x14), &csts = regs.r32(0x1C);
        if (!(cc & 1)) csts = 0;
        else if (!neverReady && !(csts & 1)) {
            csts = 1;
            uint64_t asq, acq;
            std::memcpy(&asq, regs.mem + 0x28, 8);
            std::memcpy(&acq, regs.mem + 0x30, 8);
            q[0] = Queue{asq, acq, (regs.r32(0x24) & 0xFFF) + 1u, 0, 0, true};
        }
        if (!(csts & 1) || hang) return;
        for (int id = 0; id < 2; id++) {
            uint32_t tail = regs.r32(0x1000 + 8 * id);
            while (q[id].sq && q[id].head != tail) {
                const uint8_t* c = At<uint8_t>(q[id].sq) + q[id].head * 64;
                uint16_t cid = (uint16_t)(c[2] | c[3] << 8);
                if (id == 0) Admin(c, cid);
                else Io(c, cid);
                q[id].head = (q[id].head + 1) % q[id].size;
            }
        }
    }
};

NvmeModel* g_nvme = nullptr;

class NvmeTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_nvme = &model;
        g_tick = [] { g_nvme->Tick(); };
    }
    void TearDown() override { g_tick = nullptr; }
    NvmeModel model;
    tarn::drivers::NvmeController nvme;
};

TEST_F(NvmeTest, NamespacesOfBothBlockSizesTransferThroughPrpLists) {
    ASSERT_TRUE(nvme.Start(model.regs.base(), 0, Clock));
    ASSERT_EQ(nvme.DiskCount(), 2u);
    BlockDevice* small = nvme.Disk(0);
    BlockDevice* large = nvme.Disk(1);
    EXPECT_STREQ(large->Name(), "NVMe 0 ns 2");
    EXPECT_EQ(small->SectorSize(), 512u);
    EXPECT_EQ(large->SectorSize(), 4096u);
    EXPECT_EQ(large->SectorCount(), 256u);
    // 20 blocks of 4 KiB: a 64 KiB transfer (PRP list of 15) and a 16 KiB one.
    std::vector<uint8_t> out(20 * 4096), in(20 * 4096);
    for (size_t i = 0; i < out.size(); i++) out[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
    ASSERT_EQ(large->WriteSectors(3, 20, out.data()), BlockDevice::kOk);
    EXPECT_EQ(std::memcmp(model.disk.data() + 3 * 4096, out.data(), out.size()), 0);
    ASSERT_EQ(large->ReadSectors(3, 20, in.data()), BlockDevice::kOk);
    EXPECT_EQ(in, out);
    ASSERT_EQ(small->ReadSectors(24, 8, in.data()), BlockDevice::kOk);
    EXPECT_EQ(std::memcmp(in.data(), out.data(), 4096), 0);
}

TEST_F(NvmeTest, AControllerThatStopsAnsweringTimesOutAndIsNotUsedAgain) {
    ASSERT_TRUE(nvme.Start(model.regs.base(), 0, Clock));
    model.hang = true;
    std::vector<uint8_t> buffer(4096, 0x3C), keep = buffer;
    uint32_t before = g_ms;
    EXPECT_EQ(nvme.Disk(1)->ReadSectors(0, 1, buffer.data()), BlockDevice::kTimeout);
    EXPECT_GE(g_ms - before, 5000u);
    EXPECT_EQ(buffer, keep);
    // Its queue may still be finished later: nothing more is sent to it.
    model.hang = false;
    EXPECT_NE(nvme.Disk(1)->WriteSectors(0, 1, buffer.data()), BlockDevice::kOk);

    NvmeModel stuck;
    stuck.neverReady = true;
    g_nvme = &stuck;
    tarn::drivers::NvmeController other;
    before = g_ms;
    EXPECT_FALSE(other.Start(stuck.regs.base(), 1, Clock));
    EXPECT_LT(g_ms - before, 5000u);  // CAP.TO: 1 s
}

}  // namespace

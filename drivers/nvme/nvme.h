// NVMe controller: reset and enabled with an admin queue pair, one I/O
// queue pair created, the controller and its namespaces identified; reads,
// writes and flushes through PRP lists, each completion's phase and status
// checked, every wait bounded. Polled, no interrupts.
#ifndef TARN_DRIVERS_NVME_NVME_H
#define TARN_DRIVERS_NVME_NVME_H

#include "drivers/block_device.h"
#include "drivers/deadline.h"
#include "hardwarecommunication/mmio.h"
#include "lib/types.h"

namespace tarn {
namespace drivers {

class NvmeController;

// One namespace: a disk of 512- or 4096-byte logical blocks.
class NvmeNamespace : public BlockDevice {
public:
    NvmeNamespace() = default;

    u32 SectorSize() const override { return blockBytes_; }
    u64 SectorCount() const override { return blocks_; }
    Status ReadSectors(u64 lba, u32 count, u8* data) override;
    Status WriteSectors(u64 lba, u32 count, const u8* data) override;
    const char* Name() const override { return name_; }

private:
    friend class NvmeController;
    Status Transfer(u64 lba, u32 count, u8* in, const u8* out);

    NvmeController* controller_ = nullptr;
    u32 id_ = 0;
    u32 blockBytes_ = 0;
    u64 blocks_ = 0;
    char name_[24] = {0};
};

class NvmeController {
public:
    static constexpr u32 kMostNamespaces = 4;
    static constexpr u32 kBufferBytes = 64 * 1024;  // one transfer at most

    NvmeController() = default;

    // Takes the controller at its register block (BAR 0); number names its
    // namespaces ("NVMe 0 ns 1"); clock times every wait.
    bool Start(uintptr_t bar, u32 number, MillisecondClock clock);
    u32 DiskCount() const { return count_; }
    NvmeNamespace* Disk(u32 i) { return &namespaces_[i]; }

private:
    friend class NvmeNamespace;
    struct Queue {
        u8* submissions = nullptr;
        u8* completions = nullptr;
        u32 size = 0;
        u32 tail = 0;     // next submission slot
        u32 head = 0;     // next completion slot
        bool phase = true;
        u32 id = 0;
    };

    bool Disable();
    bool Enable();
    bool CreateIoQueues();
    bool IdentifyNamespaces();
    // Builds a command in q's next slot, rings the doorbell and waits for
    // its completion: kOk, kError (status not zero) or kTimeout.
    BlockDevice::Status Submit(Queue& q, const u8* command);
    void Command(u8* c, u8 opcode, u32 nsid) const;
    // PRP 1 and 2 for bytes of the DMA buffer (a list past two pages).
    void Pointers(u8* c, u32 bytes);
    u32 Doorbell(u32 queue, bool completion) const;

    hardwarecommunication::MmioRegion regs_;
    u32 number_ = 0;
    u32 stride_ = 4;
    MillisecondClock clock_ = nullptr;
    u32 readyMs_ = 0;         // CAP.TO: how long enabling may take
    u16 nextId_ = 0;
    Queue admin_;
    Queue io_;
    u8* buffer_ = nullptr;    // DMA data buffer, page aligned
    u8* prpList_ = nullptr;   // one page of PRP entries
    u32 maxBytes_ = kBufferBytes;
    NvmeNamespace namespaces_[kMostNamespaces];
    u32 count_ = 0;
};

}  // namespace drivers
}  // namespace tarn

#endif

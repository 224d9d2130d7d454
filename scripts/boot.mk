# Boot targets: the default disk image, the GRUB CD image, the USB-stick
# image, and `run`.
#   make run               boot build/tarn.elf with build/disk.img in QEMU
#   make run DISK=my.img   boot with your own disk image instead
#   make run MODE=c64      start in full C64 mode
#   make run FIRMWARE=uefi boot build/tarn.iso through UEFI (OVMF), the disk beside it
#   make iso               build/tarn.iso (GRUB for BIOS and UEFI; a CD or a stick)
#   make stick             build/tarn-stick.img (BIOS and UEFI, FAT32 partition = drive 8)
#   make disk              build/disk.img with the sample programs

.PHONY: run iso disk stick

DEFAULT_DISK := $(BUILD)/disk.img
DISK ?= $(DEFAULT_DISK)
SAMPLES := $(sort $(wildcard tools/samples/*.bas))

disk: $(DEFAULT_DISK)

# Built fresh from the repository's own sources; never committed.
$(DEFAULT_DISK): $(SAMPLES) tools/tarndisk.py tools/bas2prg.py
	@mkdir -p $(dir $@)
	@rm -f $@.tmp
	python3 tools/tarndisk.py create $@.tmp $(SAMPLES) >/dev/null
	@mv $@.tmp $@

iso: $(BUILD)/tarn.iso

# grub-mkrescue takes every GRUB platform installed: i386-pc for BIOS,
# x86_64-efi (and i386-efi) for UEFI. Without the first two the image would
# boot on only some PCs, so their absence stops the build.
GRUB_PLATFORMS := /usr/lib/grub/i386-pc /usr/lib/grub/x86_64-efi

$(BUILD)/tarn.iso: $(BUILD)/tarn.elf tools/iso/grub.cfg
	@for d in $(GRUB_PLATFORMS); do [ -d $$d ] || { echo "iso: $$d is missing (make deps)" >&2; exit 1; }; done
	@rm -rf $(BUILD)/iso
	@mkdir -p $(BUILD)/iso/boot/grub
	cp $(BUILD)/tarn.elf $(BUILD)/iso/boot/tarn.elf
	cp tools/iso/grub.cfg $(BUILD)/iso/boot/grub/grub.cfg
	grub-mkrescue -o $@ $(BUILD)/iso 2>/dev/null

STICK := $(BUILD)/tarn-stick.img
stick: $(STICK)

$(STICK): $(BUILD)/tarn.elf $(SAMPLES) tools/mkstick.py tools/tarndisk.py tools/bas2prg.py
	@rm -f $@.tmp
	python3 tools/mkstick.py $@.tmp --kernel $(BUILD)/tarn.elf $(SAMPLES)
	@mv $@.tmp $@

FIRMWARE ?= bios

run: deps
	@$(MAKE) --no-print-directory kernel $(if $(filter uefi,$(FIRMWARE)),iso) \
		$(if $(filter $(DEFAULT_DISK),$(DISK)),disk)
	FIRMWARE=$(FIRMWARE) ISO=$(BUILD)/tarn.iso sh tools/run.sh $(BUILD)/tarn.elf $(DISK) $(MODE)

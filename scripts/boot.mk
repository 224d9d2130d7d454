# Boot targets: the default disk image, the GRUB CD/USB image, and `run`.
#   make run               boot build/tarn.elf with build/disk.img in QEMU
#   make run DISK=my.img   boot with your own disk image instead
#   make run MODE=c64      start in full C64 mode
#   make iso               build/tarn.iso (GRUB, for a real PC or USB stick)
#   make disk              build/disk.img with the sample programs

.PHONY: run iso disk

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

$(BUILD)/tarn.iso: $(BUILD)/tarn.elf tools/iso/grub.cfg
	@rm -rf $(BUILD)/iso
	@mkdir -p $(BUILD)/iso/boot/grub
	cp $(BUILD)/tarn.elf $(BUILD)/iso/boot/tarn.elf
	cp tools/iso/grub.cfg $(BUILD)/iso/boot/grub/grub.cfg
	grub-mkrescue -o $@ $(BUILD)/iso 2>/dev/null

run: deps
	@$(MAKE) --no-print-directory kernel $(if $(filter $(DEFAULT_DISK),$(DISK)),disk)
	sh tools/run.sh $(BUILD)/tarn.elf $(DISK) $(MODE)

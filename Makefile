# Tarn: one Makefile in front of two builds.
#   kernel: i386 freestanding objects linked into build/tarn.elf
#   host:   CMake build of the same sources with GoogleTest (build/host)

BUILD      := build
HOST_BUILD := $(BUILD)/host
KBUILD     := $(BUILD)/kernel
PRG_DIR    := $(BUILD)/programs

KCXX   := g++
KFLAGS := -m32 -march=i686 -std=c++17 -ffreestanding -fno-exceptions -fno-rtti -nostdlib \
          -fno-builtin -fno-pic -fno-stack-protector -fno-use-cxa-atexit \
          -fno-threadsafe-statics -fcheck-new -O2 -Wall -Wno-unused-parameter -I.
KASFLAGS := --32
LIBGCC := $(shell $(KCXX) -m32 -print-libgcc-file-name 2>/dev/null)

SUBSYSTEMS := kernel lib hardwarecommunication drivers filesystem host c64
KSRC_CPP := $(shell find $(SUBSYSTEMS) -name '*.cpp' 2>/dev/null | sort)
KSRC_ASM := $(shell find $(SUBSYSTEMS) -name '*.s' 2>/dev/null | sort)
KOBJ := $(KSRC_CPP:%.cpp=$(KBUILD)/%.o) $(KSRC_ASM:%.s=$(KBUILD)/%.o) $(KBUILD)/data/blobs.o

.PHONY: all deps host kernel test bench clean programs

all: deps host kernel

deps:
	@sh scripts/install-deps.sh

# ---- C64 program images -------------------------------------------------------
programs: $(PRG_DIR)/monitor.prg $(PRG_DIR)/program.prg

$(PRG_DIR)/%.prg: programs/%.cfg $(wildcard programs/*.s programs/*.inc programs/*.bas) scripts/build-program.sh tools/bas2prg.py
	@sh scripts/build-program.sh $(CURDIR) $* $(PRG_DIR)

# ---- kernel build ----------------------------------------------------------------
kernel: $(KOBJ)
# Linked once the image has both its layout and its entry (kernelMain).
ifeq ($(words $(wildcard kernel/linker.ld kernel/kernel.cpp)),2)
kernel: $(BUILD)/tarn.elf

$(BUILD)/tarn.elf: $(KOBJ) kernel/linker.ld
	ld -m elf_i386 -T kernel/linker.ld -o $@ $(KOBJ) $(LIBGCC)
endif

$(KBUILD)/%.o: %.cpp
	@mkdir -p $(dir $@)
	$(KCXX) $(KFLAGS) -MMD -MP -c $< -o $@

$(KBUILD)/%.o: %.s
	@mkdir -p $(dir $@)
	as $(KASFLAGS) $< -o $@

$(KBUILD)/data/blobs.o: data/blobs.S $(wildcard data/*.bin) $(PRG_DIR)/monitor.prg $(PRG_DIR)/program.prg
	@mkdir -p $(dir $@)
	$(KCXX) -m32 -c -Wa,-I,data -Wa,-I,$(PRG_DIR) $< -o $@

-include $(shell find $(KBUILD) -name '*.d' 2>/dev/null)

# ---- host build and tests -----------------------------------------------------------
host:
	@cmake -S . -B $(HOST_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(HOST_BUILD) -j2

test: deps
	@$(MAKE) --no-print-directory host kernel
	cd $(HOST_BUILD) && ctest --output-on-failure -j2 --timeout 900

clean:
	rm -rf $(BUILD)

# Subsystems add their own targets (run, iso, disk, bench, fuzz).
-include $(wildcard scripts/*.mk bench/*.mk tests/*/*.mk)
